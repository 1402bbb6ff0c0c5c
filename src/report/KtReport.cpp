#include "KtReport.h"

#include "DataFunctions.h"
#include "GroupTable.h"
#include "OutputPasses.h"

#include "common/DateTime.h"
#include "common/Exceptions.h"
#include "common/Format.h"
#include "common/SafeFile.h"
#include "common/Settings.h"
#include "common/Strings.h"
#include "common/TextFile.h"
#include "common/UserInterface.h"
#include "data/Fields.h"
#include "data/Query.h"
#include "script/BuiltinFunctions.h"
#include "script/ReportParser.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <cmath>
#include <cstdio>
#include <new>

namespace {

// The output's full name: a relative one, with or without folders, is
// taken against the program directory, where the viewer and the batch tool
// look for it too.
QString outputPath(const QString &name)
{
    return ExpandFileName(name);
}

} // namespace

TKtReport::TKtReport()
{
    // the report's own built-ins are there whatever program runs a report
    static const bool installed = (InstallGroupTableFunctions(), InstallDataFunctions(), true);
    (void)installed;
}

TKtReport::~TKtReport() = default;

TKtReport &TKtReport::Of(TReportHost &host)
{
    return dynamic_cast<TKtReport &>(host);
}
bool TKtReport::AcceptsTemplate(const QStringList &lines)
{
    static const QStringList mains = {QStringLiteral(".REPORTHEADER"), QStringLiteral(".PAGEHEADER"),
                                      QStringLiteral(".RECORDHEADER"), QStringLiteral(".PAGEFOOTER"),
                                      QStringLiteral(".DETAIL"),       QStringLiteral(".REPORTFOOTER")};
    for (const QString &line : lines)
        if (mains.contains(TrimCtl(line).toUpper()))
            return true;
    return ReportClasses().size() == 1;
}

TReportVar *TKtReport::FindVar(const QString &name)
{
    return m_vars.FindVar(name);
}

TReportVar &TKtReport::GetVar(const QString &name)
{
    return m_vars.GetVar(name);
}

TFunc *TKtReport::FindFunc(const QString &name)
{
    return m_funcs.FindFunc(name);
}

void TKtReport::AddFunc(std::unique_ptr<TFunc> func)
{
    m_funcs.AddFunc(std::move(func));
}

TReportVar &TKtReport::DeclareVar(const QString &name, const QString &description)
{
    TReportVar &var = GetVar(name);
    if (!description.isEmpty())
        var.SetDescription(description);
    return var;
}

void TKtReport::SetOrientation(TPageGeometry::Orientation o)
{
    TCustomReport::SetOrientation(o);
    if (!m_geometry)
        m_geometry = DefaultPageGeometry();
    m_pageHeight = m_geometry->PageHeight(o);
    m_pageWidth = m_geometry->PageWidth(o);
    m_writer.SetPageSize(m_pageWidth, m_pageHeight);
}

TDataSet *TKtReport::GetDataSet()
{
    return m_sqlQuery ? m_sqlQuery.get() : TCustomReport::GetDataSet();
}

TCommandList &TKtReport::commandList(int n)
{
    if (!m_commands[size_t(n)])
        m_commands[size_t(n)] = std::make_unique<TCommandList>();
    return *m_commands[size_t(n)];
}

void TKtReport::runCommands(int n)
{
    if (!m_commands[size_t(n)])
        return;
    // The error position belongs to a script that failed: once the script
    // has run, it is what it was before, so an error of the writer or the
    // dataset after it does not point at the script's last statement.
    const int before = ErrorPos();
    ExecuteCommands(*m_commands[size_t(n)], *this, m_stack);
    SetErrorPos(before);
}

// ---------------------------------------------------------------- Prepare

void TKtReport::reset()
{
    SetOrientation(Orientation());
    if (!m_measurer || m_measurer->Dpi() != m_geometry->Dpi()) {
        m_measurer = CreateMeasurer(m_geometry->Dpi());
    }
    m_writer.Reset(*m_measurer);
    m_totalFields.clear();
    m_totalFieldsFound = false;
    m_unknownFields.clear();

    // commands refer to variables: they go first
    for (auto &c : m_commands)
        c.reset();
    for (auto &l : m_main)
        l.reset();
    for (auto &l : m_headers)
        l.reset();
    for (auto &l : m_footers)
        l.reset();
    m_sqlQuery.reset();
    m_stack.Clear();
    m_params.Clear();
    m_funcs.Clear();
    m_aliases.clear();
    m_runObjects.clear();
    m_vars.Clear();
    m_fileName = m_pageNum = m_recNum = m_lineNum = m_invalid = m_filtr = nullptr;
    m_earlyLines.clear();
    m_firstDone = m_headerScriptDone = false;
    m_detailMode = m_footerMode = m_groupHeaderMode = m_endMode = false;
    m_pageFooterPrinted = false;
}

void TKtReport::declareStandardVars()
{
    auto declare = [this](const char *name, const QString &description) -> std::pair<TReportVar *, bool> {
        const QString n = QLatin1String(name);
        const bool isNew = !FindVar(n);
        return {&DeclareVar(n, description), isNew};
    };
    auto [fileName, newFile] = declare("FileName", QStringLiteral("Имя файла"));
    if (newFile)
        fileName->SetAsString(QString());
    auto [pageNum, newPage] = declare("PageNum", QStringLiteral("Номер страницы"));
    if (newPage)
        pageNum->SetAsNumber(1);
    auto [recNum, newRec] = declare("RecNum", QStringLiteral("Номер текущей записи"));
    if (newRec)
        recNum->SetAsNumber(0);
    auto [lineNum, newLine] = declare("LineNum", QStringLiteral("Номер текущей строки"));
    if (newLine)
        lineNum->SetAsNumber(0);
    m_fileName = fileName;
    m_pageNum = pageNum;
    m_recNum = recNum;
    m_lineNum = lineNum;
    m_invalid = declare("Invalid", QString()).first;
    declare("FormFeed", QString());
    auto [oneRecord, newOne] = declare("OneRecord", QString());
    if (newOne)
        oneRecord->SetAsBoolean(OneRecord());
    auto [oem, newOem] = declare("OEMConvert", QString());
    if (newOem)
        oem->SetAsBoolean(OEMConvert());
    auto [orientation, newOrientation] = declare("Orientation", QString());
    if (newOrientation)
        orientation->SetAsString(Orientation() == TPageGeometry::Landscape ? QStringLiteral("L")
                                                                           : QStringLiteral("P"));
    // the time of Prepare, so that a variables script sees a date; Execute
    // sets them again
    auto [curTime, newTime] = declare("CurTime", QStringLiteral("Текущее время"));
    if (newTime)
        curTime->SetAsDate(Now());
    auto [curDate, newDate] = declare("CurDate", QStringLiteral("Текущая дата"));
    if (newDate)
        curDate->SetAsDate(::Date());
    declare("Null", QString());

    TDataSet *ds = GetDataSet();
    if (ds && ds->Active())
        for (int i = 0; i < ds->FieldCount(); ++i)
            DeclareVar(ds->Fields(i)->FieldName(), ds->Fields(i)->DisplayLabel());
}

void TKtReport::Prepare()
{
    TCustomReport::Prepare();
    reset();
    declareStandardVars();
    if (OnSetNames)
        OnSetNames(*this);
    RegisterBuiltinFunctions(m_funcs);
    if (OnSetFuncs)
        OnSetFuncs(*this);
    m_fileName->SetAsString(outputPath(PrintName()));
    compileTemplate();
    m_filtr = FindVar(QStringLiteral("Filtr"));
}

// Sections of a template, as "." lines name them.
struct TKtReport::TSection {
    enum Kind { None, Main, Header, Footer, Vars, Filtr, Sql, PostDetail, Ignored };
    Kind kind = None;
    int n = 0;

    static TSection Recognise(const QString &line)
    {
        const QString name = TrimCtl(line).toUpper().mid(1);
        auto level = [&](int from) -> int {
            bool ok = false;
            const int n = name.mid(6).toInt(&ok);
            return ok && n >= from && n <= 16 ? n : 0;
        };
        if (name.startsWith(QLatin1String("FOOTER"))) {
            const int n = level(1);
            return n ? TSection{Footer, n} : TSection{Ignored, 0};
        }
        if (name.startsWith(QLatin1String("HEADER"))) {
            const int n = level(2);
            return n ? TSection{Header, n} : TSection{Ignored, 0};
        }
        if (name == u"SQL")
            return {Sql, 0};
        if (name == u"VARS")
            return {Vars, 0};
        if (name == u"FILTR")
            return {Filtr, 0};
        if (name == u"POSTDETAIL")
            return {PostDetail, 0};
        static const QStringList mains = {QStringLiteral("REPORTHEADER"), QStringLiteral("PAGEHEADER"),
                                          QStringLiteral("RECORDHEADER"), QStringLiteral("PAGEFOOTER"),
                                          QStringLiteral("DETAIL"),       QStringLiteral("REPORTFOOTER")};
        const int main = int(mains.indexOf(name));
        return main >= 0 ? TSection{Main, main} : TSection{Ignored, 0};
    }

    // The command list of the section's script blocks; 0 when they are
    // discarded.
    int CommandList() const
    {
        switch (kind) {
        case Main:
            return n == msReportHeader ? clReportHeader : n == msDetail ? clDetail : 0;
        case Footer:
            return n;
        case Vars:
            return clVars;
        case Filtr:
            return clDetail;
        case PostDetail:
            return clPostDetail;
        default:
            return 0;
        }
    }
};

QList<int> TKtReport::UnknownSectionLines(const QStringList &lines)
{
    QList<int> unknown;
    for (int i = 0; i < lines.size(); ++i)
        if (lines[i].startsWith(u'.') && TSection::Recognise(lines[i]).kind == TSection::Ignored)
            unknown << i;
    return unknown;
}

void TKtReport::compileTemplate()
{
    TSection current;
    QStringList block;
    int blockStart = 0;
    int offset = 0;
    bool varsRun = false;

    auto compileBlock = [&] {
        if (block.isEmpty())
            return;
        const int list = current.CommandList();
        if (list) {
            TKtReportParser parser(ScriptBlockText(block), blockStart - 1, m_params, commandList(list), *this);
            try {
                parser.Parse();
            } catch (...) {
                SetErrorPos(parser.Position() - 1);
                throw;
            }
        }
        block.clear();
    };
    auto closeSection = [&] {
        if (current.kind == TSection::Vars) {
            if (!varsRun) {
                varsRun = true;
                if (m_commands[clVars]) {
                    if (OnSetValues)
                        OnSetValues(*this);
                    runCommands(clVars);
                }
            }
            applyOptions();
        } else if (current.kind == TSection::Sql && m_sqlQuery) {
            openSqlQuery();
        }
    };
    auto lookup = [this](const QString &name) -> TReportVar & {
        if (TReportVar *v = FindVar(name))
            return *v;
        if (!m_unknownFields.contains(name, Qt::CaseInsensitive))
            m_unknownFields << name;
        return *m_invalid;
    };
    auto textLine = [&](const QString &source) {
        std::unique_ptr<TLineList> *list = nullptr;
        switch (current.kind) {
        case TSection::Main:
            list = &m_main[size_t(current.n)];
            break;
        case TSection::Header:
            list = &m_headers[size_t(current.n)];
            break;
        case TSection::Footer:
            list = &m_footers[size_t(current.n)];
            break;
        case TSection::Sql: {
            if (DataBaseName().isEmpty())
                return;
            if (!m_sqlQuery) {
                QString db = DataBaseName();
                if (TReportVar *v = FindVar(QStringLiteral("DatabaseName"))) {
                    db = v->GetAsString();
                    if (db.isEmpty())
                        db = ProgramDir();
                }
                m_sqlQuery = std::make_unique<TQuery>();
                m_sqlQuery->SetName(QStringLiteral("SQL"));
                m_sqlQuery->SetDatabaseName(db);
                m_sqlQuery->SetUniDirectional(true);
            }
            // field references take their values at once
            std::unique_ptr<TReportLine> line = CompileReportLine(source, lookup);
            QString text = line->Pieces().front();
            for (size_t i = 0; i < line->Fields.size(); ++i) {
                TReportField &f = *line->Fields[i];
                f.Index = 0;
                f.Remaining = 1;
                appendValueText(text, f);
                text += line->Pieces()[qsizetype(i) + 1];
            }
            m_sqlQuery->AddLine(text);
            return;
        }
        default:
            return;   // dropped
        }
        QString text = source;
        for (const auto &[alias, replacement] : m_aliases)
            if (!alias.isEmpty())
                text.replace(alias, replacement);   // one pass: never loops
        if (!*list)
            *list = std::make_unique<TLineList>();
        (*list)->push_back(CompileReportLine(text, lookup));
        if (current.kind == TSection::Main && current.n == msPageFooter) {
            // the page footer always fits below the last body line
            m_writer.ReserveFooterLine(text);
        }
    };

    for (const QString &line : FormatSource()) {
        const QChar first = line.isEmpty() ? QChar() : line.front();
        if (first == u'#') {
            if (block.isEmpty())
                blockStart = offset;
            block << u' ' + line.mid(1);   // positions stay
        } else if (first == u'.') {
            compileBlock();
            closeSection();
            current = TSection::Recognise(line);
        } else if (first == u';') {
            if (!block.isEmpty())
                block << QString(line.size(), u'\t');
        } else if (!first.isNull() && (current.kind == TSection::Vars || current.kind == TSection::Filtr)) {
            compileBlock();
            blockStart = offset;
            block << line;
        } else {
            compileBlock();
            textLine(line);
        }
        offset += int(line.size()) + 2;
    }
    compileBlock();
    closeSection();
}

void TKtReport::applyOptions()
{
    if (TReportVar *v = FindVar(QStringLiteral("OneRecord")); v && v->VarType() == vtBoolean)
        SetOneRecord(v->GetAsBoolean());
    if (TReportVar *v = FindVar(QStringLiteral("OEMConvert")); v && v->VarType() == vtBoolean)
        SetOEMConvert(v->GetAsBoolean());
    if (TReportVar *v = FindVar(QStringLiteral("Orientation")); v && v->VarType() == vtString) {
        const QString o = v->GetAsString().toUpper();
        if (o.startsWith(u'L'))
            SetOrientation(TPageGeometry::Landscape);
        else if (o.startsWith(u'P'))
            SetOrientation(TPageGeometry::Portrait);
    }
    moveGroupPairs();
}

// A group expression written among the variables ("GROUP2 := NAME") must be
// evaluated for every record: its pair of assignments moves to the detail
// script.
void TKtReport::moveGroupPairs()
{
    if (!m_commands[clVars])
        return;
    TCommandList &vars = *m_commands[clVars];
    for (int i = 0; i + 1 < vars.Count();) {
        auto *first = dynamic_cast<TAssignCmd *>(vars[i]);
        auto *second = dynamic_cast<TAssignCmd *>(vars[i + 1]);
        if (first && second && second->Target().Name().startsWith(QLatin1String("GROUP"))
            && &second->Source() == &first->Target()) {
            TCommandList &detail = commandList(clDetail);
            detail.Add(vars.Extract(i));
            detail.Add(vars.Extract(i));
        } else {
            ++i;
        }
    }
}

void TKtReport::openSqlQuery()
{
    try {
        m_sqlQuery->Prepare();
        if (m_sqlQuery->ParamCount() > 0)
            BindQueryParams(*m_sqlQuery);
        m_sqlQuery->Open();
    } catch (...) {
        m_sqlQuery.reset();
        throw;
    }
    declareStandardVars();
}

void TKtReport::AddOutputAlias(const QString &alias, const QString &replacement)
{
    m_aliases.append({alias, replacement});
}

void TKtReport::BindQueryParams(TQuery &query)
{
    if (OnSetSQLParams)
        OnSetSQLParams(*this, &query);
    if (!query.DataSource())
        query.SetDataSource(DataSource());
    for (int i = 0; i < query.Params().Count(); ++i)
        BindParam(query.Params()[i]);
}

void TKtReport::BindProcParams(TStoredProc &proc)
{
    if (OnSetSQLParams)
        OnSetSQLParams(*this, nullptr);
    for (int i = 0; i < proc.ParamCount(); ++i)
        BindParam(proc.Params()[i]);
}

void TKtReport::BindParam(TParam &param)
{
    TReportVar *v = FindVar(param.Name());
    if (!v)
        return;
    switch (v->VarType()) {
    case vtNumber:
        param.SetAsFloat(v->GetAsNumber());
        break;
    case vtString:
        param.SetAsString(v->GetAsString());
        break;
    case vtDate:
        param.SetAsDateTime(v->GetAsDate());
        break;
    case vtMemo:
        param.SetDataType(ftString);
        if (!v->GetAsMemo().isEmpty())
            param.SetAsString(v->GetAsMemo().first());
        break;
    default:
        break;
    }
}

void TKtReport::CopyVarsTo(TCustomReport &other)
{
    auto *kt = dynamic_cast<TKtReport *>(&other);
    m_vars.ForEach([&](TReportVar &v) {
        if (v.Name().startsWith(u'@') || &v == m_fileName)
            return;
        TReportVar &target = other.GetVar(v.Name());
        if (!v.Description().isEmpty())
            target.SetDescription(v.Description());
        switch (v.VarType()) {
        case vtNumber:
        case vtString:
        case vtDate:
        case vtBoolean:
        case vtMemo:
            target.Clear();
            target.Assign(v);
            break;
        case vtObject:
            if (kt) {
                target.Clear();
                target.Assign(v);
            }
            break;
        default:
            break;
        }
    });
}

TNestedReport *TKtReport::RunSubReport(TReportVar &variable)
{
    if (variable.VarType() != vtObject)
        return nullptr;
    auto *nested = dynamic_cast<TNestedReport *>(variable.GetAsObject());
    if (!nested)
        return nullptr;
    TKtReport &sub = nested->Report;
    sub.Prepare();
    if (!sub.GetDataSet())
        sub.SetOneRecord(true);
    sub.Execute();
    const QString path = outputPath(sub.PrintName());
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        nested->Memo.clear();
    } else if (sub.OEMConvert()) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw Exception(QStringLiteral("Не могу открыть файл %1").arg(path));
        QString text = DecodeOem(file.readAll());
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        nested->Memo = text.split(u'\n');
        if (!nested->Memo.isEmpty() && nested->Memo.last().isEmpty())
            nested->Memo.removeLast();
    } else {
        nested->Memo = ReadTextLines(path);
    }
    return nested;
}

QList<QPair<QString, QString>> TKtReport::ListNames()
{
    QList<QPair<QString, QString>> names;
    m_vars.ForEach([&](TReportVar &v) { names.append({v.Name(), v.Description()}); });
    m_funcs.ForEach([&](TFunc &f) { names.append({f.Name() + QStringLiteral("()"), f.Description()}); });
    return names;
}

QStringList TKtReport::Listing() const
{
    static const char *const names[] = {"", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "",
                                        "VARS", "REPORTHEADER", "POSTDETAIL", "DETAIL"};
    QStringList out;
    for (int n : {int(clVars), int(clReportHeader), 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
                  int(clDetail), int(clPostDetail)}) {
        if (!m_commands[size_t(n)])
            continue;
        out << (n <= 16 ? QStringLiteral("[FOOTER%1]").arg(n) : QStringLiteral("[%1]").arg(QLatin1String(names[n])));
        out << CommandListing(*m_commands[size_t(n)]);
    }
    return out;
}

// ---------------------------------------------------------------- Execute

void TKtReport::Execute()
{
    if (!m_pageNum)
        throw ECustomReportError(QStringLiteral("Отчет не подготовлен"));
    SetErrorPos(-1);
    m_pageNum->SetAsNumber(1);
    m_recNum->SetAsNumber(0);
    m_lineNum->SetAsNumber(0);
    GetVar(QStringLiteral("CurDate")).SetAsDate(::Date());
    GetVar(QStringLiteral("CurTime")).SetAsDate(Now());

    SetPrintName(m_fileName->GetAsString());
    const QString path = outputPath(PrintName());
    if (path.isEmpty())
        return;
    const TReportVar *append = FindVar(QStringLiteral("FileAppendMode"));
    m_writer.Open(path, append && append->VarType() == vtBoolean && append->GetAsBoolean(), OEMConvert());

    TDataSet *ds = nullptr;
    TBookmark bookmark;
    bool walked = false;
    try {
        for (const QString &line : std::exchange(m_earlyLines, {}))
            m_writer.WriteLine(line);
        cacheLookups();
        const TReportVar *endReport = FindVar(QStringLiteral("EndReport"));
        const bool noWalk = endReport && endReport->VarType() == vtNumber && endReport->GetAsNumber() > 0;
        if (OneRecord()) {
            processRecord();
        } else if ((ds = GetDataSet()) && !noWalk) {
            if (ds->Active()) {
                bookmark = ds->GetBookmark();
                walked = true;
                ds->DisableControls();
                if (!ds->IsUniDirectional())
                    ds->First();
                int count = 0;
                while (!ds->Eof()) {
                    processRecord();
                    ds->Next();
                    if (++count % 1001 == 0)
                        CheckAbort(true);
                }
            }
        } else if (OnEndReport && OnSetValues) {
            while (!OnEndReport(*this))
                processRecord();
        }
        if (m_firstDone)
            endOfReport();
    } catch (...) {
        // the output of a failed run is dropped: the previous one stays
        m_writer.Discard();
        try {
            restoreDataSet(walked, ds, bookmark);
        } catch (...) {
            // the first error is the one to report
        }
        m_sqlQuery.reset();
        try {
            throw;
        } catch (const std::bad_alloc &) {
            // memory ran out in a script or a line: an error of the run
            throw ECustomReportError(QStringLiteral("Не хватает памяти для выполнения отчета"));
        }
    }
    finish(walked, ds, bookmark);
}

void TKtReport::restoreDataSet(bool walked, TDataSet *ds, TBookmark &bookmark)
{
    if (walked && ds) {
        ds->EnableControls();
        if (!ds->IsUniDirectional() && ds->Active() && ds->BookmarkValid(bookmark))
            ds->GotoBookmark(bookmark);
        ds->FreeBookmark(bookmark);
    }
}

void TKtReport::finish(bool walked, TDataSet *ds, TBookmark &bookmark)
{
    restoreDataSet(walked, ds, bookmark);
    const QString path = m_writer.Path();
    const QString target = m_writer.Target();
    m_sqlQuery.reset();
    // an empty output leaves no file, as an empty report always did; a
    // symbolic link stays, the file it leads to goes
    if (m_writer.Close() && !target.isEmpty())
        QFile::remove(target);
    if (!path.isEmpty() && QFileInfo::exists(path)) {
        const QString wanted = outputPath(m_fileName->GetAsString());
        if (!wanted.isEmpty() && QFileInfo(wanted).absoluteFilePath() != QFileInfo(path).absoluteFilePath()) {
            // rename replaces the file of that name in one step; the file
            // moved is the one written, and links on either side stay links
            const QString to = WriteTarget(wanted);
            if (std::rename(QFile::encodeName(target).constData(), QFile::encodeName(to).constData()) == 0)
                SetPrintName(wanted);
        }
    }
    postProcess();
    if (TReportVar *v = FindVar(QStringLiteral("Copies")); v && v->VarType() == vtNumber && v->GetAsNumber() > 0)
        SetCopies(int(std::trunc(std::min(v->GetAsNumber(), 1e6))));
    if (TReportVar *v = FindVar(QStringLiteral("CopyMode")); v && v->VarType() == vtBoolean)
        SetCopyMode(v->GetAsBoolean());
}

void TKtReport::postProcess()
{
    const QString path = outputPath(PrintName());
    const TReportVar *size = FindVar(QStringLiteral("PageSize"));
    const TReportVar *cols = FindVar(QStringLiteral("PageCols"));
    if (!size || path.isEmpty())
        return;
    auto number = [](const TReportVar *v) {
        return v->VarType() == vtNumber ? std::trunc(v->GetAsNumber()) : 0.0;
    };
    if (!cols && number(size) > 0) {
        const TReportVar *mode = FindVar(QStringLiteral("Break2Mode"));
        const bool strict = !(mode && mode->VarType() <= vtNumber && mode->GetAsNumber() == 0);
        TwoPagesPerSheet(path, int(std::min(number(size), 1e6)), strict);
    } else if (cols && number(size) > 0 && number(cols) > 0) {
        PageColumns(path, int(std::min(number(size), 1e6)), int(std::min(number(cols), 1e4)));
    }
}

void TKtReport::cacheLookups()
{
    for (int n = 2; n <= 16; ++n)
        m_groupVars[size_t(n)] = m_vars.FindVar(QStringLiteral("GROUP%1").arg(n));
    m_fieldVars.clear();
    if (TDataSet *ds = GetDataSet(); ds && ds->Active())
        for (int i = 0; i < ds->FieldCount(); ++i)
            if (TReportVar *v = FindVar(ds->Fields(i)->FieldName()))
                m_fieldVars.push_back({ds->Fields(i), v, VarTypeOf(ds->Fields(i)->DataType())});
}

void TKtReport::copyRecord()
{
    TDataSet *ds = GetDataSet();
    if (!ds || !ds->Active() || (ds->Eof() && ds->Bof()))
        return;
    // the record's values are looked up once, not once per field; without
    // a current record every field reads as NULL
    static const QVariant none;
    const QVariant *values = ds->CurrentValues();
    for (const auto &[f, v, type] : m_fieldVars) {
        const QVariant &value = values ? f->ValueIn(values) : none;
        switch (type) {
        case vtString:
            v->SetAsString(f->AsStringOf(value));
            break;
        case vtNumber:
            v->SetAsNumber(f->AsFloatOf(value));   // 0 for NULL
            break;
        case vtBoolean:
            v->SetAsBoolean(f->AsBooleanOf(value));
            break;
        case vtDate:
            v->SetAsDate(f->AsDateTimeOf(value));   // 0 for NULL
            break;
        case vtMemo: {
            static const QRegularExpression lineEnds(QStringLiteral("\r\n|\n|\r"));
            const QString text = f->AsStringOf(value);
            v->SetAsMemo(text.isEmpty() ? QStringList() : text.split(lineEnds));
            break;
        }
        default:
            break;
        }
    }
}

bool TKtReport::rejected() const
{
    return m_filtr && m_filtr->VarType() == vtBoolean && !m_filtr->GetAsBoolean();
}

void TKtReport::processRecord()
{
    copyRecord();
    if (OnSetValues)
        OnSetValues(*this);
    if (!m_firstDone) {
        if (!m_headerScriptDone) {
            m_headerScriptDone = true;
            runCommands(clReportHeader);
        }
        runCommands(clDetail);
        if (rejected())
            return;   // the next record is again the first
        printSection(m_main[msReportHeader].get(), msReportHeader);
        printGroupHeaders(2);
    } else {
        runCommands(clDetail);
        const bool reject = rejected();
        if (const int from = groupBreak()) {
            for (int n = from; n <= 16; ++n)
                runCommands(n);
            printFooters(from, 16);
            printGroupHeaders(from);
        }
        if (reject)
            return;
    }
    m_recNum->SetAsNumber(m_recNum->GetAsNumber() + 1);
    m_detailMode = true;
    if (m_writer.PageStart()) {
        m_writer.ClearPageStart();
    } else {
        m_detailMode = false;
        m_writer.SetNoBreak(true);
        const auto restore = qScopeGuard([this] { m_writer.SetNoBreak(false); });
        printSection(m_main[msRecordHeader].get());
        m_detailMode = true;
    }
    printSection(m_main[msDetail].get());
    m_detailMode = false;
    accumulate();
    runCommands(clPostDetail);
    m_firstDone = true;
}

int TKtReport::groupBreak() const
{
    for (int n = 2; n <= 16; ++n) {
        const TReportVar *v = m_groupVars[size_t(n)];
        if (v && v->Changed())
            return n;
    }
    return 0;
}

void TKtReport::printGroupHeaders(int from)
{
    const bool was = m_groupHeaderMode;
    m_groupHeaderMode = true;
    const auto restore = qScopeGuard([&] { m_groupHeaderMode = was; });
    for (int n = from; n <= 16; ++n)
        printSection(m_headers[size_t(n)].get());
}

void TKtReport::printFooters(int from, int to)
{
    const bool was = m_footerMode;
    m_footerMode = true;
    const auto restore = qScopeGuard([&] { m_footerMode = was; });
    for (int n = to; n >= from; --n) {
        TLineList *lines = m_footers[size_t(n)].get();
        if (!lines || lines->empty())
            continue;
        const TReportVar *need = m_vars.FindVar(QStringLiteral("NEEDFOOTER%1").arg(n));
        if (need && need->GetAsNumber() <= 0) {
            // a hidden footer still starts its totals afresh
            for (auto &line : *lines)
                for (auto &f : line->Fields)
                    if (f->Variable->VarType() == vtNumber)
                        f->Total = 0;
            continue;
        }
        printSection(lines);
    }
}

void TKtReport::endOfReport()
{
    m_endMode = true;
    for (int n = 1; n <= 16; ++n)
        runCommands(n);
    printFooters(1, 16);
    if (!m_pageFooterPrinted)
        printSection(m_main[msPageFooter].get(), msPageFooter);
    printSection(m_main[msReportFooter].get(), msReportFooter);
}

void TKtReport::accumulate()
{
    if (!m_totalFieldsFound) {
        // the fields of the group and page footers, gathered once a run
        auto gather = [this](TLineList *lines) {
            if (lines)
                for (auto &line : *lines)
                    for (auto &f : line->Fields)
                        if (!f->Has(ffPrevious) || f->Has(ffCount))
                            m_totalFields.push_back(f.get());
        };
        for (int n = 1; n <= 16; ++n)
            gather(m_footers[size_t(n)].get());
        gather(m_main[msPageFooter].get());
        m_totalFieldsFound = true;
    }
    for (TReportField *f : m_totalFields) {
        if (f->Variable->VarType() != vtNumber)
            continue;
        if (f->Has(ffCount))
            f->Total += 1;
        else
            f->Total += f->Variable->GetAsNumber();
    }
}

void TKtReport::printSection(TLineList *lines, int mainSection)
{
    if (mainSection == msReportHeader || mainSection == msPageHeader)
        m_pageFooterPrinted = false;
    const bool wasFooter = m_footerMode;
    if (mainSection == msPageFooter) {
        m_pageFooterPrinted = true;
        m_footerMode = true;
    }
    const auto restore = qScopeGuard([&] {
        if (mainSection == msPageFooter)
            m_footerMode = wasFooter;
    });
    if (!lines)
        return;
    for (auto &line : *lines)
        expandLine(*line);
}

// ---------------------------------------------------------------- lines

void TKtReport::countLine()
{
    if (m_detailMode || m_footerMode || m_groupHeaderMode)
        m_lineNum->SetAsNumber(m_lineNum->GetAsNumber() + 1);
}

bool TKtReport::footerModeFor(const TReportField &f) const
{
    return m_footerMode && !f.Has(ffPrevious) && !m_endMode;
}

int TKtReport::valueCount(TReportField &f)
{
    TReportVar &v = *f.Variable;
    const bool footer = footerModeFor(f);
    switch (v.VarType()) {
    case vtString: {
        const QString &text = footer ? v.PrevStr() : v.StringValue();
        if (f.Decimals() > 0) {
            const int n = int(WrapFieldText(text, f.Width()).size());
            return std::max(1, std::min(n, f.Decimals()));
        }
        // a text of several lines (a TEXT column's) prints one per line
        return HasLineBreak(text) ? int(TextLines(text).size()) : 1;
    }
    case vtMemo:
        return int((footer ? v.PrevMemo() : v.GetAsMemo()).size());
    case vtObject:
        if (auto *column = dynamic_cast<TGroupVar *>(v.GetAsObject()))
            return column->RowCount();
        if (TNestedReport *nested = RunSubReport(v))
            return int(nested->Memo.size());
        return 1;
    default:
        return 1;
    }
}

double TKtReport::numberValue(TReportField &f)
{
    TReportVar &v = *f.Variable;
    if (&v == m_lineNum || !m_footerMode || f.Has(ffCurrent))
        return v.GetAsNumber();
    if (f.Has(ffPrevious))
        return m_endMode ? v.GetAsNumber() : v.PrevNum();
    return std::exchange(f.Total, 0.0);
}

void TKtReport::appendValueText(QString &out, TReportField &f)
{
    const qsizetype start = out.size();
    if (f.Remaining < 1) {
        PadFieldTail(out, start, f.Spec, false);
        return;
    }
    TReportVar &v = *f.Variable;
    const bool footer = footerModeFor(f);
    switch (v.VarType()) {
    case vtUndefined:
    case vtString:
        if (&v == m_invalid) {
            out += QString(f.Width(), u'!');
        } else {
            const QString &text = footer ? v.PrevStr() : v.StringValue();
            if (f.Decimals() > 0)
                out += WrapFieldText(text, f.Width()).value(f.Index);
            else if (HasLineBreak(text))
                out += TextLines(text).value(f.Index);
            else
                AppendChars(out, text);
        }
        break;
    case vtNumber:
        AppendPaddedFieldNumber(out, numberValue(f), f.Spec);
        ++f.Index;
        --f.Remaining;
        return;
    case vtDate:
        AppendFieldDate(out, footer ? v.PrevNum() : v.GetAsDate());
        break;
    case vtMemo:
        out += (footer ? v.PrevMemo() : v.GetAsMemo()).value(f.Index);
        break;
    case vtObject:
        if (auto *column = dynamic_cast<TGroupVar *>(v.GetAsObject())) {
            // printing consumes the column
            if (std::unique_ptr<TReportVar> row = column->TakeRow(f.Index)) {
                if (row->VarType() == vtNumber)
                    AppendFieldNumber(out, row->GetAsNumber(), f.Spec);
                else if (row->VarType() == vtString)
                    out += row->GetAsString();
                else if (row->VarType() == vtDate)
                    AppendFieldDate(out, row->GetAsDate());
            }
        } else if (auto *nested = dynamic_cast<TNestedReport *>(v.GetAsObject())) {
            out += nested->Memo.value(f.Index);
        }
        break;
    default:
        break;
    }
    ++f.Index;
    --f.Remaining;
    PadFieldTail(out, start, f.Spec, true);
}

// The room a line reserves for a field without a width: enough for a date
// and time or any number.
constexpr qsizetype UnsizedFieldRoom = 32;

// A report line built in place. The buffer is made as long as the line
// should need and cut to the line's length at the end, so that its pieces
// and most values are written through a pointer: one resize of the string
// a line rather than one for each piece and field (calls into Qt that
// were a tenth of a detail line's cost).
class TKtReport::TLineBuilder {
public:
    TLineBuilder(QString &buffer, qsizetype room) : m_text(buffer), m_room(room) { m_text.resize(room); }

    // Where `n` more characters go, the buffer grown when they do not fit;
    // Advance moves the line's end past what was written there.
    char16_t *Room(qsizetype n)
    {
        if (m_at + n > m_text.size())
            m_text.resize(std::max(m_at + n, 2 * m_text.size()));
        return reinterpret_cast<char16_t *>(m_text.data()) + m_at;
    }
    void Advance(const char16_t *end) { m_at = end - reinterpret_cast<const char16_t *>(m_text.constData()); }
    void Put(QStringView piece) { Advance(std::copy_n(piece.utf16(), piece.size(), Room(piece.size()))); }

    // The line so far, to append to as a string; Resume takes it back.
    QString &Text()
    {
        m_text.resize(m_at);
        return m_text;
    }
    void Resume()
    {
        m_at = m_text.size();
        m_text.resize(m_at + m_room);
    }

    // The line, cut to its length.
    const QString &Finish()
    {
        m_text.resize(m_at);
        return m_text;
    }

private:
    QString &m_text;
    qsizetype m_room;
    qsizetype m_at = 0;
};

bool TKtReport::writeValueText(TLineBuilder &line, TReportField &f)
{
    if (f.Remaining < 1)
        return false;
    TReportVar &v = *f.Variable;
    if (v.VarType() == vtNumber) {
        // the value once: in a footer taking it starts the total afresh
        const double value = numberValue(f);
        if (char16_t *end = WritePaddedFieldNumber(line.Room(std::max<qsizetype>(f.Width(), QuickFixedRoom)),
                                                   value, f.Spec)) {
            line.Advance(end);
        } else {
            AppendPaddedFieldNumber(line.Text(), value, f.Spec);
            line.Resume();
        }
    } else if (v.VarType() == vtString && &v != m_invalid && f.Decimals() <= 0) {
        const QString &text = footerModeFor(f) ? v.PrevStr() : v.StringValue();
        if (HasLineBreak(text))
            return false;   // a line of the text at a time
        line.Advance(WritePaddedFieldText(line.Room(std::max<qsizetype>(f.Width(), text.size())), text, f.Spec));
    } else {
        return false;
    }
    ++f.Index;
    --f.Remaining;
    return true;
}

void TKtReport::expandLine(TReportLine &line)
{
    auto write = [&](const QString &text) {
        const bool pageStartBefore = m_writer.PageStart(), detailBefore = m_detailMode;
        const bool newPage = m_writer.WriteLine(text);
        if (!pageStartBefore && !detailBefore && newPage)
            m_writer.ClearPageStart();
        return newPage;
    };
    if (line.Fields.empty()) {
        countLine();
        write(line.Text);
        return;
    }
    int repeats = 0;
    qsizetype capacity = line.Text.size();
    for (auto &f : line.Fields) {
        f->Index = 0;
        f->Remaining = valueCount(*f);
        repeats = std::max(repeats, f->Remaining);
        // a field without a width still needs room: a date, a number or a
        // short text, which would otherwise make the line grow once more
        capacity += f->Width() > 0 ? f->Width() : UnsizedFieldRoom;
    }
    if (repeats == 0) {
        if (line.BlankWithoutValues())
            return;
        repeats = 1;
    }
    const QStringList &pieces = line.Pieces();
    // One buffer per depth of expansion (a page break prints the page
    // footer and header from within a line), kept from line to line. A line
    // still held elsewhere (a paragraph waiting) keeps its own copy.
    const size_t depth = m_expandDepth++;
    const auto leave = qScopeGuard([this] { --m_expandDepth; });
    if (m_lineBuffers.size() <= depth)
        m_lineBuffers.emplace_back();
    QString &out = m_lineBuffers[depth];
    for (int r = 0; r < repeats; ++r) {
        countLine();
        TLineBuilder text(out, capacity);
        text.Put(pieces.front());
        bool formFeed = false;
        for (size_t i = 0; i < line.Fields.size(); ++i) {
            TReportField &f = *line.Fields[i];
            if (f.FormFeed) {
                formFeed = true;
                break;
            }
            // plain numbers and texts in place, any other value appended
            if (!writeValueText(text, f)) {
                appendValueText(text.Text(), f);
                text.Resume();
            }
            text.Put(pieces[qsizetype(i) + 1]);
        }
        if (!formFeed && line.NeverWritten())
            continue;   // such a line is never written
        const bool newPage = write(text.Finish());
        if (formFeed && !newPage)
            m_writer.ForceBreak();
    }
}

void TKtReport::PutLine(const QString &line)
{
    if (!m_writer.IsOpen()) {
        m_earlyLines << line;   // written first when the output opens
        return;
    }
    countLine();
    m_writer.WriteLine(line);
}

// ---------------------------------------------------------------- pages

// The page footer and the next page's header print neither as detail nor as
// footer lines of a group.
void TKtReport::PrintPageFooter()
{
    const bool detail = std::exchange(m_detailMode, false), footer = std::exchange(m_footerMode, false);
    if (!m_endMode)
        printSection(m_main[msPageFooter].get(), msPageFooter);
    m_pageNum->SetAsNumber(m_pageNum->GetAsNumber() + 1);
    // the new page has no footer yet, whether or not a header follows: the
    // last page of the report gets its own
    m_pageFooterPrinted = false;
    m_detailMode = detail;
    m_footerMode = footer;
}

void TKtReport::PrintPageHeader()
{
    const bool detail = std::exchange(m_detailMode, false), footer = std::exchange(m_footerMode, false);
    if (!m_endMode)
        printSection(m_main[msPageHeader].get(), msPageHeader);
    m_detailMode = detail;
    m_footerMode = footer;
}

void TKtReport::UncountLine()
{
    if (m_detailMode || m_footerMode || m_groupHeaderMode)
        m_lineNum->SetAsNumber(m_lineNum->GetAsNumber() - 1);
}
