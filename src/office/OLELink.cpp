#include "OLELink.h"

#include "Automation.h"
#include "OfficeFiles.h"
#include "ProgIdRegistry.h"

#include "script/ReportHost.h"
#include "script/ReportVar.h"

#include "common/Exceptions.h"
#include "common/UserInterface.h"

#include <array>

namespace {

const std::array<QString, 2> ProgIds = {QStringLiteral("Excel.Application"),
                                        QStringLiteral("Word.Application")};

TDispatchRef &applicationSlot(TOLELink::TKind kind)
{
    static std::array<TDispatchRef, 2> applications;
    static const bool released = [] {
        ReleaseAtExit([] {
            for (TDispatchRef &application : applications)
                application.reset();
        });
        return true;
    }();
    (void)released;
    return applications[size_t(kind)];
}

// The face name of a report font, as the word processor knows it.
QString faceName(TFontFace face)
{
    switch (face) {
    case TFontFace::Arial: return QStringLiteral("Arial Cyr");
    case TFontFace::Times: return QStringLiteral("Times New Roman Cyr");
    case TFontFace::Courier: break;
    }
    return QStringLiteral("Courier New Cyr");
}

// Word's Booleans.
TDispValue wordBool(bool on)
{
    return TDispValue::FromInteger(on ? -1 : 0);
}

TDispValue integer(qint64 v)
{
    return TDispValue::FromInteger(v);
}

// No print-code font is pending. (Font code 0, Arial, is a font like any
// other, so "none" cannot be 0.)
constexpr int NoFont = -1;

} // namespace

TDispatchRef OfficeApplication(TOLELink::TKind kind)
{
    return applicationSlot(kind);
}

void ResetOfficeApplication(TOLELink::TKind kind)
{
    applicationSlot(kind).reset();
}

template <class F>
void TOLELink::guarded(F &&f)
{
    try {
        f();
    } catch (const EOleError &e) {
        ResetOfficeApplication(m_kind);
        UserInterface().MessageDlg(QStringLiteral("Ошибка в OLE приложении: ") + e.Message(), QString(),
                                   TUserInterface::mtError, {TUserInterface::mbOK});
        if (m_report)
            m_report->Abort();
        Abort();
    }
}

TOLELink::TOLELink(const QString &kind, TReportHost *report) : m_report(report), m_fontCode(NoFont)
{
    const QString upper = kind.toUpper();
    if (upper == QLatin1String("EXCEL"))
        m_kind = okExcel;
    else if (upper == QLatin1String("WORD"))
        m_kind = okWord;
    else
        throw Exception(QStringLiteral("Неверный тип OLE приложения"));

    guarded([&] {
        TDispatchRef &instance = applicationSlot(m_kind);
        if (!instance) {
            try {
                instance = GetActiveOleObject(ProgIds[m_kind]);
            } catch (const EOleError &) {
                // none running: start one
            }
            if (!instance)
                instance = CreateOleObject(ProgIds[m_kind]);
        }
        m_application = OleGetObject(instance, QStringLiteral("Application"));
        if (m_kind == okWord) {
            OlePut(m_application, QStringLiteral("ScreenUpdating"), TDispValue::FromBoolean(false));
            OlePut(OleCallObject(instance, QStringLiteral("Options")), QStringLiteral("Pagination"),
                   TDispValue::FromBoolean(false));
        }
    });
    m_row = 1;
}

TOLELink::~TOLELink() = default;

void TOLELink::NewDocument()
{
    if (m_kind == okExcel) {
        m_document = OleCallObject(OleGetObject(m_application, QStringLiteral("Workbooks")),
                                   QStringLiteral("Add"), {integer(1)});
    } else {
        m_document = OleCallObject(OleGetObject(m_application, QStringLiteral("Documents")),
                                   QStringLiteral("Add"));
        guarded([&] { acquireRange(); });
    }
}

void TOLELink::acquireRange()
{
    const qint64 end = VarToInt(OleGet(OleGetObject(m_document, QStringLiteral("Content")), QStringLiteral("End")));
    m_range = OleCallObject(m_document, QStringLiteral("Range"), {integer(end - 1), integer(end)});
    m_rangeFont = OleGetObject(m_range, QStringLiteral("Font"));
}

void TOLELink::AddVars(std::span<TReportVar *const> vars)
{
    // Every call makes a new document: its header goes into its first row
    // and only these variables are bound, however often the script asks.
    m_columns.clear();
    m_row = 1;
    NewDocument();
    if (m_kind == okExcel) {
        const TDispatchRef sheets = OleGetObject(m_document, QStringLiteral("Sheets"));
        if (VarToInt(OleGet(sheets, QStringLiteral("Count"))) == 0)
            m_sheet = OleCallObject(sheets, QStringLiteral("Add"));
        else
            m_sheet = OleGetObject(m_document, QStringLiteral("Sheets"), {integer(1)});
    } else {
        m_sheet = OleCallObject(OleGetObject(m_document, QStringLiteral("Tables")), QStringLiteral("Add"),
                                {TDispValue::FromDispatch(m_range), integer(1), integer(qint64(vars.size()))});
    }
    for (TReportVar *var : vars) {
        m_columns << var;
        QString header = var->GetDescription();
        if (header.isEmpty())
            header = var->Name();
        writeCell(int(m_columns.size()) - 1, TDispValue::FromString(header));
    }
    ++m_row;
}

void TOLELink::writeCell(int column, const TDispValue &value)
{
    guarded([&] {
        if (m_kind == okExcel) {
            const TDispatchRef cell = OleGetObject(m_sheet, QStringLiteral("Cells"), {integer(m_row), integer(column + 1)});
            if (value.Type == TDispValue::String)
                OlePut(cell, QStringLiteral("NumberFormat"), TDispValue::FromString(QStringLiteral("@")));
            OlePut(cell, QStringLiteral("Value"), value);
        } else {
            const TDispatchRef cell = OleCallObject(m_sheet, QStringLiteral("Cell"), {integer(m_row), integer(column + 1)});
            OlePut(OleGetObject(cell, QStringLiteral("Range")), QStringLiteral("Text"), value);
        }
    });
}

void TOLELink::AddRecord()
{
    // Before AddVarsOLE there is no document and nothing is bound.
    if (!m_document || m_columns.isEmpty())
        return;
    if (m_kind == okWord) {
        OleCall(m_document, QStringLiteral("UndoClear"));
        OleCall(OleGetObject(m_sheet, QStringLiteral("Rows")), QStringLiteral("Add"));
    }
    for (int i = 0; i < m_columns.size(); ++i) {
        const TReportVar &var = *m_columns[i];
        TDispValue value;
        switch (var.VarType()) {
        case vtNumber: value = TDispValue::FromDouble(var.GetAsNumber()); break;
        case vtString: {
            // a text of several lines (a TEXT column's) as a memo's: line
            // feeds alone
            QString text = var.GetAsString();
            if (text.contains(u'\r'))
                text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
            value = TDispValue::FromString(text);
            break;
        }
        case vtDate: value = TDispValue::FromDate(var.GetAsDate()); break;
        case vtBoolean: value = TDispValue::FromBoolean(var.GetAsBoolean()); break;
        case vtMemo: {
            // Lines separated by line feeds alone, with no line feed after
            // the last one (that would only add an empty line to the cell).
            QString text = var.GetAsMemo().join(u'\n');
            text.remove(u'\r');
            value = TDispValue::FromString(text);
            break;
        }
        default: continue;
        }
        writeCell(i, value);
    }
    ++m_row;
}

void TOLELink::Finish()
{
    guarded([&] {
        if (m_kind == okWord) {
            if (m_sheet) {
                OleCall(OleGetObject(m_sheet, QStringLiteral("Columns")), QStringLiteral("AutoFit"));
                OleCall(m_document, QStringLiteral("UndoClear"));
                OlePut(OleGetObject(m_document, QStringLiteral("ActiveWindow")), QStringLiteral("WindowState"),
                       integer(1));
            }
            // The link switched pagination off; it is the person's setting,
            // so it is switched on again whether or not a table was made.
            const TDispatchRef instance = applicationSlot(m_kind) ? applicationSlot(m_kind) : m_application;
            OlePut(OleCallObject(instance, QStringLiteral("Options")), QStringLiteral("Pagination"),
                   TDispValue::FromBoolean(true));
            OleCall(m_application, QStringLiteral("ScreenRefresh"));
        }
        OlePut(m_application, QStringLiteral("ScreenUpdating"), TDispValue::FromBoolean(true));
        OlePut(m_application, QStringLiteral("Visible"), TDispValue::FromBoolean(true));
    });
}

void TOLELink::PageSetup(int orientation)
{
    if (m_kind != okWord)
        return;
    const bool landscape = orientation == 1;
    guarded([&] {
        const TDispatchRef ps = OleGetObject(m_document, QStringLiteral("PageSetup"));
        OlePut(ps, QStringLiteral("Orientation"), integer(landscape ? 1 : 0));
        OlePut(ps, QStringLiteral("LeftMargin"), TDispValue::FromDouble(landscape ? 14.4 : 18.0));
        OlePut(ps, QStringLiteral("RightMargin"), TDispValue::FromDouble(landscape ? 16.55 : 19.8));
        OlePut(ps, QStringLiteral("TopMargin"), TDispValue::FromDouble(landscape ? 13.2 : 18.0));
        OlePut(ps, QStringLiteral("BottomMargin"), TDispValue::FromDouble(landscape ? 14.25 : 21.35));
    });
}

void TOLELink::SetFont(int code, int size)
{
    if (m_kind != okWord)
        return;
    if (m_fontCode != NoFont) {
        guarded([&] {
            if (!m_font)
                m_font = TFontSpec::Default();
            *m_font = FontForCode(m_fontCode, m_fontSize, *m_font);
            OlePut(m_rangeFont, QStringLiteral("Name"), TDispValue::FromString(faceName(m_font->face)));
            OlePut(m_rangeFont, QStringLiteral("Size"), integer(m_font->size));
            OlePut(m_rangeFont, QStringLiteral("Bold"), wordBool(m_font->style & fsBold));
            OlePut(m_rangeFont, QStringLiteral("Italic"), wordBool(m_font->style & fsItalic));
            OlePut(m_rangeFont, QStringLiteral("Underline"), wordBool(m_font->style & fsUnderline));
            OlePut(m_rangeFont, QStringLiteral("StrikeThrough"), wordBool(m_font->style & fsStrikeOut));
            acquireRange();
        });
    }
    m_fontCode = code < 0 ? NoFont : code & 0xFF;
    m_fontSize = size;
}

void TOLELink::newParagraph()
{
    // The first line of the document needs no paragraph, nor the first line
    // of a page: the page break opened one.
    if (m_lines > 0 && !m_pageStart) {
        guarded([&] {
            OleCall(m_document, QStringLiteral("UndoClear"));
            OleCall(m_range, QStringLiteral("MoveEnd"));
            OleCall(m_range, QStringLiteral("InsertParagraphAfter"));
        });
        SetFont(m_fontCode, m_fontSize);
    }
    m_pageStart = false;
    ++m_lines;
}

void TOLELink::insertText(const QString &text)
{
    guarded([&] { OleCall(m_range, QStringLiteral("InsertAfter"), {TDispValue::FromString(text)}); });
}

void TOLELink::WriteLine(const QString &text, int code, int size)
{
    if (m_kind != okWord)
        return;
    if (code >= 0 && ((code & 0xFF) != m_fontCode || size != m_fontSize))
        SetFont(code, size);
    // A page mark is the viewer's business, not text.
    const qsizetype from = text.startsWith(u'^') ? 1 : 0;
    if (text.size() == from) {
        newParagraph();
        return;
    }
    bool first = true;
    qsizetype start = from;
    auto piece = [&](qsizetype end) {
        if (end <= start)
            return;
        if (first) {
            newParagraph();
            first = false;
        }
        insertText(text.mid(start, end - start));
    };
    for (qsizetype i = from; i < text.size();) {
        if (text[i] == u'\\') {
            const TPrintCode printCode = ParsePrintCode(text, i);
            if (printCode.kind != TPrintCode::None) {
                piece(i);
                if (printCode.kind == TPrintCode::Font)
                    SetFont(printCode.fontCode, printCode.fontSize);
                i += printCode.length;
                start = i;
                continue;
            }
            // A backslash that starts no code is text.
        }
        ++i;
    }
    piece(text.size());
}

void TOLELink::PageBreak()
{
    if (m_kind != okWord)
        return;
    // The font of the page's last text is put before the break: after it the
    // range no longer covers that text.
    if (m_fontCode != NoFont)
        SetFont(m_fontCode, m_fontSize);
    guarded([&] {
        OleCall(m_range, QStringLiteral("Collapse"), {integer(0)});
        OleCall(m_range, QStringLiteral("InsertBreak"));
    });
    m_pageStart = true;
}

void ExportToWord(const QList<TExportPage> &pages, int orientation)
{
    TOLELink link(QStringLiteral("WORD"), nullptr);
    link.NewDocument();
    link.PageSetup(orientation);
    for (qsizetype p = 0; p < pages.size(); ++p) {
        if (p > 0)
            link.PageBreak();
        for (qsizetype i = 0; i < pages[p].size(); ++i) {
            const TExportLine &line = pages[p][i];
            if (i == 0)
                link.SetFont(line.FontCode, line.FontSize);
            link.WriteLine(line.Text, line.FontCode, line.FontSize);
        }
    }
    link.SetFont(0, 0);
    link.Finish();
}
