// The report expert: templates written from a dataset's fields.

#include "KtReport.h"

#include "common/Format.h"
#include "common/FormatSettings.h"
#include "common/Strings.h"

namespace {

// The label's n-th "|" part; empty when it has fewer.
QString labelPart(const QString &label, int n)
{
    return label.section(u'|', n, n);
}

bool isMoney(const TField *f)
{
    return (f->DataType() == ftFloat || f->DataType() == ftCurrency || f->DataType() == ftBCD) && f->Currency();
}

// The column width of a field: its display width, a long string field
// wrapped into at most nine lines of 50.
double columnWidth(const TField *f)
{
    const double width = f->DisplayWidth();
    return f->DataType() == ftString && width > 50.9 ? 50.9 : width;
}

// " @NAME:flag width", the reference of a field in the detail line, the
// column `columnChars` wide. A number column with a scale prints that many
// decimals (NUMERIC(10,2) gives "-12.2"), one of floating point without a
// scale in the general format; only whole-number columns print as whole
// numbers.
QString fieldReference(const TField *f, double columnChars)
{
    QString flag;
    QString width = QString::number(columnChars, 'g', 15);
    if (isMoney(f)) {
        flag = QStringLiteral("$");
        width = QString::number(columnChars + FormatSettings().CurrencyDecimals * 0.1, 'g', 15);
    } else {
        if (f->Alignment() == taRightJustify)
            flag = QStringLiteral("-");
        else if (f->Alignment() == taCenter)
            flag = QStringLiteral("+");
        const bool fraction = f->DataType() == ftFloat || f->DataType() == ftCurrency || f->DataType() == ftBCD;
        if (fraction && f->Scale() > 0)
            width = QStringLiteral("%1.%2").arg(int(columnChars)).arg(f->Scale());
        else if (fraction)
            flag += u'G';
    }
    return QStringLiteral(" @%1:%2%3").arg(f->FieldName(), flag, width);
}

QString section(const QString &name)
{
    return u'.' + name;
}

QString script(const QString &statement)
{
    return QStringLiteral("# ") + statement;
}

// The chosen fields in dataset order: the list's names, or every field that
// passes `all` when there is no list.
QList<TField *> chosenFields(TDataSet &ds, const std::optional<QStringList> &names,
                             const std::function<bool(const TField *)> &all)
{
    QList<TField *> fields;
    for (int i = 0; i < ds.FieldCount(); ++i) {
        TField *f = ds.Fields(i);
        if (names ? names->contains(f->FieldName()) : all(f))
            fields << f;
    }
    return fields;
}

// Restores the process-wide decimal separator however the generation ends.
class TDecimalPoint {
public:
    TDecimalPoint() : m_saved(FormatSettings().DecimalSeparator) { FormatSettings().DecimalSeparator = u'.'; }
    ~TDecimalPoint() { FormatSettings().DecimalSeparator = m_saved; }

private:
    QChar m_saved;
};

} // namespace

void TKtReport::BuildExpertTemplate(const TExpertParams &params)
{
    TDataSet *ds = GetDataSet();
    if (!ds)
        return;
    TDecimalPoint point;
    QStringList lines;

    if (params.Kind == TExpertParams::ekReport) {
        QList<TField *> columns;
        QList<bool> totalled;
        for (int i = 0; i < ds->FieldCount(); ++i) {
            TField *f = ds->Fields(i);
            if (!f->Visible())
                continue;
            const bool inFields = params.Fields ? params.Fields->contains(f->FieldName()) : true;
            const bool inTotals = params.Totals ? params.Totals->contains(f->FieldName()) : !params.Fields && isMoney(f);
            if (!inFields && !inTotals)
                continue;
            columns << f;
            totalled << inTotals;
        }
        int width = 0, depth = 1;
        bool totals = false;
        QList<double> widths;
        for (int i = 0; i < columns.size(); ++i) {
            widths << columnWidth(columns[i]);
            width += int(widths[i]) + 1;
            depth = std::max(depth, int(columns[i]->DisplayLabel().count(u'|')) + 1);
            totals = totals || totalled[i];
        }

        // portrait unless the line is wider than the page in the report font
        SetOrientation(TPageGeometry::Portrait);
        if (!m_measurer || m_measurer->Dpi() != m_geometry->Dpi())
            m_measurer = CreateMeasurer(m_geometry->Dpi());
        m_measurer->SetFont(TFontSpec::Default());
        const int charWidth = std::max(1, m_measurer->CharWidth(u'M'));
        if (PageWidth() < width * charWidth)
            SetOrientation(TPageGeometry::Landscape);
        // no column is lost off the page's edge: while the line is wider
        // than the landscape page, the widest text column is narrowed (to 10
        // characters at least) and wraps into up to nine lines
        for (const int room = PageWidth() / charWidth; width > room;) {
            qsizetype widest = -1;
            for (qsizetype i = 0; i < columns.size(); ++i)
                if (columns[i]->DataType() == ftString && int(widths[i]) > 10
                    && (widest < 0 || int(widths[i]) > int(widths[widest])))
                    widest = i;
            if (widest < 0)
                break;
            const int chars = int(widths[widest]);
            const int cut = std::min(width - room, chars - 10);
            widths[widest] = chars - cut + 0.9;
            width -= cut;
        }

        QStringList heading;
        for (int r = 0; r < depth; ++r) {
            QString line;
            for (qsizetype i = 0; i < columns.size(); ++i) {
                const int chars = int(widths[i]);
                line += u' ' + labelPart(columns[i]->DisplayLabel(), r).left(chars).leftJustified(chars, u' ');
            }
            heading << line;
        }
        lines << section(QStringLiteral("REPORTHEADER"));
        if (!params.Title.isEmpty()) {
            lines << QString() << PadCenter(params.Title, width) << QString();
        }
        lines << heading << section(QStringLiteral("PAGEHEADER")) << heading << section(QStringLiteral("DETAIL"));
        QString detail;
        for (qsizetype i = 0; i < columns.size(); ++i)
            detail += fieldReference(columns[i], widths[i]);
        lines << detail;
        if (totals) {
            QString total;
            for (int i = 0; i < columns.size(); ++i)
                total += totalled[i] ? fieldReference(columns[i], widths[i])
                                     : QStringLiteral(" @Null:%1").arg(QString::number(widths[i], 'g', 15));
            lines << section(QStringLiteral("FOOTER1")) << QString(width, u'=') << total;
        }
    } else if (params.Kind == TExpertParams::ekTable) {
        const QList<TField *> fields = chosenFields(*ds, params.Fields, [](const TField *) { return true; });
        QStringList texts;
        for (int i = 0; i < fields.size(); ++i) {
            const TField *f = fields[i];
            QString type, size;
            switch (f->DataType()) {
            case ftString:
                type = QStringLiteral("Char");
                size = QStringLiteral("(%1)").arg(std::min(f->Size(), 254));
                break;
            case ftSmallint: case ftInteger: case ftWord: case ftFloat: case ftCurrency: case ftBCD:
                type = QStringLiteral("Numeric");
                size = f->Scale() != 0 ? QStringLiteral("(%1,%2)").arg(f->Precision()).arg(f->Scale())
                                       : QStringLiteral("(%1)").arg(f->DataSize());
                break;
            case ftBoolean: type = QStringLiteral("Boolean"); break;
            case ftDate: case ftDateTime: type = QStringLiteral("Date"); break;
            case ftTime: type = QStringLiteral("Time"); break;
            default: type = QStringLiteral("Blob"); break;
            }
            texts << QStringLiteral("%1 %2%3%4").arg(f->FieldName(), type, size,
                                                     i + 1 == fields.size() ? QStringLiteral(")") : QStringLiteral(", "));
        }
        lines << section(QStringLiteral("REPORTHEADER")) << script(QStringLiteral("TName = '%1'").arg(params.TableName))
              << script(QStringLiteral("TName1 = Format('\"%s\"', TName)"))
              << script(QStringLiteral("Res = ExecLocal('drop table ' + TName1)"))
              << script(QStringLiteral("S = Format('create table %s (', TName1) +"));
        // four columns a line; the statement goes on over the lines
        for (qsizetype i = 0; i < texts.size(); i += 4) {
            const bool last = i + 4 >= texts.size();
            lines << script(QStringLiteral("  '%1'%2").arg(texts.mid(i, 4).join(QString()), last ? QString() : QStringLiteral(" +")));
        }
        lines << script(QStringLiteral("Res = ExecLocal(S)")) << script(QStringLiteral("T = OpenTable(TName)"))
              << QStringLiteral("\\F17:14  ") + Format(QStringLiteral("Создан файл с именем %s"), {QStringLiteral("@TName1")})
              << section(QStringLiteral("DETAIL")) << script(QStringLiteral("Res = AddRecord(T)"))
              << section(QStringLiteral("FOOTER1")) << script(QStringLiteral("Res = CloseTable(T)"));
    } else {
        const QString application = params.Kind == TExpertParams::ekWord ? QStringLiteral("Word") : QStringLiteral("Excel");
        QString names;
        for (const TField *f : chosenFields(*ds, params.Fields, [](const TField *) { return true; }))
            names += QStringLiteral(", ") + f->FieldName();
        lines << section(QStringLiteral("REPORTHEADER")) << script(QStringLiteral("W = OpenOLE('%1')").arg(application))
              << script(QStringLiteral("Res = AddVarsOLE(W%1)").arg(names)) << section(QStringLiteral("DETAIL"))
              << script(QStringLiteral("Res = AddRecordOLE(W)")) << section(QStringLiteral("FOOTER1"))
              << script(QStringLiteral("Res = CloseOLE(W)")) << script(QStringLiteral("Res = Abort"));
    }
    SetFormatSource(lines);
}
