#include "ReportLine.h"

#include "common/Strings.h"
#include "script/ReportVar.h"

TReportField::TReportField(TReportVar &variable, const TFieldSpec &spec)
    : Variable(&variable), Spec(spec), FormFeed(variable.Name() == u"FORMFEED")
{
}

void TReportLine::SetText(const QString &text)
{
    Text = text;
    m_pieces = Text.split(u'@');
    m_neverWritten = m_pieces.back().endsWith(QLatin1String("\\N"), Qt::CaseInsensitive);
    m_blankWithoutValues = TrimCtl(QString(Text).remove(u'@')).isEmpty();
}

bool IsFieldNameChar(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z')
           || u == u'_' || u == u'|' || u == u'(' || u == u')' || (u >= 0x0410 && u <= 0x044F);
}

std::unique_ptr<TReportLine> CompileReportLine(const QString &source, const TFieldLookup &lookup)
{
    auto line = std::make_unique<TReportLine>();
    QString text = source;
    qsizetype at = 0;
    while ((at = text.indexOf(u'@', at)) >= 0) {
        qsizetype end = at + 1;
        while (end < text.size() && IsFieldNameChar(text[end]))
            ++end;
        if (end == at + 1) {
            text.remove(at, 1);   // a lone "@" never prints
            continue;
        }
        QString name = text.mid(at + 1, end - at - 1);
        for (QChar &c : name)
            if (c >= u'a' && c <= u'z')
                c = QChar(c.unicode() - 32);
        TFieldSpec spec;
        if (end < text.size() && text[end] == u':') {
            qsizetype pos = end + 1;
            spec = ParseFieldSpec(text, pos);
            end = pos;
        }
        line->Fields.push_back(std::make_unique<TReportField>(lookup(name), spec));
        text.remove(at + 1, end - at - 1);
        ++at;
    }
    line->SetText(text);
    return line;
}
