#include "ReportFiles.h"

#include "StoredReports.h"

#include "common/AppName.h"
#include "common/Exceptions.h"
#include "common/Format.h"
#include "common/Strings.h"
#include "common/TextFile.h"
#include "common/UserInterface.h"
#include "data/Fields.h"
#include "data/Query.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

namespace {

const QString kAppNam = QStringLiteral("AppNam");
const QString kGrpNam = QStringLiteral("GrpNam");
const QString kRptNam = QStringLiteral("RptNam");

QString reportMessage(const QString &pattern, const QString &name, const QString &group, const QString &file)
{
    return Format(pattern, {name, group, file});
}

// The memo text of a template kept as lines: every line ended by CR LF.
QString templateText(const QStringList &lines)
{
    QString text;
    for (const QString &line : lines) {
        text += line;
        text += QStringLiteral("\r\n");
    }
    return text;
}

bool isHeaderLine(const QString &line)
{
    return line.isEmpty() || line.startsWith(u';');
}

// A value that the column cannot hold is refused here, the same way on
// every engine (SQLite would keep a longer text, PostgreSQL refuse it; both
// would keep an empty key).
void setChecked(TField *field, const QString &value, bool required = false)
{
    if (value.isEmpty() && (required || field->Required()))
        throw Exception(Format(QStringLiteral("Поле '%s' должно иметь значение"), {field->DisplayName()}));
    if (field->Size() > 0 && value.size() > field->Size())
        throw Exception(Format(QStringLiteral("Значение поля '%s' длиннее %d символов"),
                               {field->DisplayName(), field->Size()}));
    field->SetAsString(value);
}

} // namespace

int TFmtResult::Count(TFmtAction action) const
{
    int n = 0;
    for (const TFmtEntry &e : Entries)
        n += e.Action == action;
    return n;
}

bool TFmtResult::Changed() const
{
    return Count(TFmtAction::Added) + Count(TFmtAction::Replaced) + Count(TFmtAction::Deleted) > 0;
}

QStringList FmtHeader(const QString &group, const QString &name, const QString &orientation,
                      const QString &appName)
{
    return {u';' + group, u';' + name, u';' + orientation, u';' + appName};
}

QStringList FmtFileLines(const QStringList &header, const QStringList &templateLines)
{
    QStringList lines = templateLines;
    for (int i = 0; i < header.size(); ++i) {
        if (i < lines.size() && isHeaderLine(lines[i]))
            lines[i] = header[i];
        else
            lines.insert(i, header[i]);
    }
    return lines;
}

QString FmtFileName(const QString &printName)
{
    QString name = QFileInfo(QString(printName).replace(u'\\', u'/')).fileName();
    if (name.isEmpty())
        name = QStringLiteral("REPORT.PRN");
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot > 0)
        name.truncate(dot);
    return FileNameOfText(name) + QStringLiteral(".FMT");
}

QString FmtPrintName(const QString &fileName)
{
    QString name = QFileInfo(fileName).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot > 0)
        name.truncate(dot);
    return (name + QStringLiteral(".PRN")).toLower();
}

TFmtResult ExportReportFiles(const QString &databaseName, const QString &folder,
                             const std::optional<QString> &group)
{
    TQuery rows;
    rows.SetName(QStringLiteral("ReportExport"));
    rows.SetDatabaseName(databaseName);
    QStringList sql{QStringLiteral("SELECT * FROM SYS_REPORT"), QStringLiteral("WHERE"),
                    QStringLiteral("RE_APP_NAM = :AppNam")};
    // A group is compared as it is: a LIKE pattern would take "_" in a
    // group name ("TSQLForm_SQLGrid") for any character.
    if (group)
        sql << QStringLiteral("AND RE_GRP_NAM = :GrpNam");
    sql << QStringLiteral("ORDER BY RE_GRP_NAM, RE_RPT_NAM");
    rows.SetSQL(sql);
    rows.ParamByName(kAppNam).SetAsString(AppName());
    if (group)
        rows.ParamByName(kGrpNam).SetAsString(*group);
    rows.SetUniDirectional(true);
    rows.Open();
    if (!QDir().mkpath(folder))
        throw Exception(QStringLiteral("Не могу создать папку %1").arg(folder));
    const QDir dir(folder);

    TFmtResult result;
    // the report each file was last written for, to tell overwriting
    QHash<QString, QPair<QString, QString>> written;
    for (; !rows.Eof(); rows.Next()) {
        TFmtEntry entry;
        entry.Group = rows.FieldByName(QStringLiteral("RE_GRP_NAM"))->AsString();
        entry.Name = rows.FieldByName(QStringLiteral("RE_RPT_NAM"))->AsString();
        const QStringList templateLines = TemplateLines(rows.FieldByName(QStringLiteral("RE_RPT_FMT"))->AsString());
        if (templateLines.isEmpty()) {
            entry.Action = TFmtAction::EmptyTemplate;
            result.Entries.append(entry);
            continue;
        }
        entry.File = dir.absoluteFilePath(FmtFileName(rows.FieldByName(QStringLiteral("RE_RPT_PRN"))->AsString()));
        // the letter the run goes by: landscape only for "L"
        const QString orientation =
            rows.FieldByName(QStringLiteral("RE_RPT_ORI"))->AsString() == u"L" ? QStringLiteral("L") : QStringLiteral("P");
        const QStringList lines =
            FmtFileLines(FmtHeader(entry.Group, entry.Name, orientation, AppName()), templateLines);
        try {
            WriteTextLines(entry.File, lines);
            const QString text = templateText(lines);
            entry.LostCharacters = DecodeText(EncodeText(text)) != text;
            const auto earlier = written.constFind(entry.File);
            if (earlier != written.cend()) {
                entry.Action = TFmtAction::Overwritten;
                entry.Message = reportMessage(QStringLiteral("Файл отчета \"%s\" в группе \"%s\" перезаписан (файл \"%s\")"),
                                              earlier->second, earlier->first, entry.File);
            } else {
                entry.Action = TFmtAction::Written;
            }
            written.insert(entry.File, {entry.Group, entry.Name});
        } catch (const Exception &e) {
            entry.Action = TFmtAction::Failed;
            entry.Message = reportMessage(QStringLiteral("Ошибка записи отчета \"%s\" в группе \"%s\" (файл \"%s\")"),
                                          entry.Name, entry.Group, entry.File);
            entry.Error = e.Message();
        }
        result.Entries.append(entry);
    }
    return result;
}

namespace {

// Handles one file with the report lookup `report` (query of one report,
// editable); fills `entry` with what was done.
void importFile(TQuery &report, const QString &path, const std::optional<QString> &onlyGroup, TFmtEntry &entry)
{
    const QStringList lines = ReadTextLines(path);
    if (lines.size() < 4) {
        entry.Action = TFmtAction::TooShort;
        return;
    }
    if (!isHeaderLine(lines[0]) || !isHeaderLine(lines[1]) || !isHeaderLine(lines[2])) {
        entry.Action = TFmtAction::BadHeader;
        return;
    }
    entry.Group = lines[0].mid(1);
    entry.Name = lines[1].mid(1);
    if (lines[3].startsWith(u';') && lines[3].mid(1) != AppName()) {
        entry.Action = TFmtAction::OtherApplication;
        return;
    }
    if (onlyGroup && entry.Group != *onlyGroup) {
        entry.Action = TFmtAction::OtherGroup;
        return;
    }
    QString orientation = lines[2].mid(1);
    if (orientation.isEmpty())
        orientation = QStringLiteral("P");
    const QString printName = FmtPrintName(path);
    // blanks after the word (a hand-edited file) still ask for deletion;
    // otherwise the request would be stored as the report's template
    const bool deletion = lines.size() >= 5 && lines[4].trimmed().compare(u";DELETE", Qt::CaseInsensitive) == 0;
    const QString text = templateText(lines);

    report.Close();
    report.ParamByName(kAppNam).SetAsString(AppName());
    report.ParamByName(kGrpNam).SetAsString(entry.Group);
    report.ParamByName(kRptNam).SetAsString(entry.Name);
    report.Open();
    const bool found = !report.IsEmpty();

    if (!found && deletion) {
        entry.Action = TFmtAction::NothingToDelete;
        return;
    }
    QString failure;
    try {
        if (!found) {
            failure = QStringLiteral("Ошибка добавления отчета \"%s\" в группе \"%s\" (файл \"%s\")");
            report.Append();
            setChecked(report.FieldByName(QStringLiteral("RE_GRP_NAM")), entry.Group, true);
            setChecked(report.FieldByName(QStringLiteral("RE_RPT_NAM")), entry.Name, true);
            setChecked(report.FieldByName(QStringLiteral("RE_APP_NAM")), AppName(), true);
            report.FieldByName(QStringLiteral("RE_RPT_FMT"))->SetAsString(text);
            report.FieldByName(QStringLiteral("RE_RPT_PRV"))->SetAsString(QStringLiteral("Д"));
            report.FieldByName(QStringLiteral("RE_RPT_ORI"))->SetAsString(orientation.left(1));
            report.FieldByName(QStringLiteral("RE_RPT_ONE"))->SetAsString(QStringLiteral("Н"));
            setChecked(report.FieldByName(QStringLiteral("RE_RPT_PRN")), printName);
            report.Post();
            entry.Action = TFmtAction::Added;
        } else if (deletion) {
            failure = QStringLiteral("Ошибка удаления отчета \"%s\" в группе \"%s\" (файл \"%s\")");
            report.Delete();
            entry.Action = TFmtAction::Deleted;
        } else if (TemplateLines(report.FieldByName(QStringLiteral("RE_RPT_FMT"))->AsString()) != lines) {
            failure = QStringLiteral("Ошибка изменения отчета \"%s\" в группе \"%s\" (файл \"%s\")");
            report.Edit();
            report.FieldByName(QStringLiteral("RE_RPT_FMT"))->SetAsString(text);
            report.Post();
            entry.Action = TFmtAction::Replaced;
        } else {
            entry.Action = TFmtAction::Unchanged;
        }
    } catch (const Exception &e) {
        report.Cancel();
        entry.Action = TFmtAction::Failed;
        entry.Message = reportMessage(failure, entry.Name, entry.Group, printName);
        entry.Error = e.Message();
    }
}

} // namespace

TFmtResult ImportReportFiles(const QString &databaseName, const QString &folder,
                             const std::optional<QString> &group, const TFmtProgress &progress)
{
    const QDir dir(folder);
    if (folder.isEmpty() || !dir.exists())
        throw Exception(QStringLiteral("Папка %1 не найдена").arg(folder));
    // the name filter ignores letter case: "*.FMT" finds "a.fmt" as well
    const QStringList files = dir.entryList({QStringLiteral("*.FMT")}, QDir::Files, QDir::Name);
    const int total = int(files.size());
    TFmtResult result;
    if (progress)
        progress(0, total, QString());
    if (files.isEmpty())
        return result;

    TQuery report;
    report.SetName(QStringLiteral("ReportImport"));
    report.SetDatabaseName(databaseName);
    report.SetSQL(ReportRecordSql());
    report.SetRequestLive(true);
    // a missing table or database stops here, before any file
    report.ParamByName(kAppNam).SetAsString(AppName());
    report.ParamByName(kGrpNam).SetAsString(QString());
    report.ParamByName(kRptNam).SetAsString(QString());
    report.Open();

    for (int i = 0; i < total; ++i) {
        try {
            CheckAbort();
        } catch (const Exception &) {
            result.Aborted = true;
            break;
        }
        TFmtEntry entry;
        entry.File = dir.absoluteFilePath(files[i]);
        try {
            importFile(report, entry.File, group, entry);
        } catch (const Exception &e) {
            // the file could not be read, or the lookup failed
            entry.Action = TFmtAction::Failed;
            entry.Message = entry.File;
            entry.Error = e.Message();
        }
        result.Entries.append(entry);
        if (progress)
            progress(i + 1, total, entry.File);
    }
    report.Close();
    return result;
}
