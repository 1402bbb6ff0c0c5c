#include "CurrencyText.h"

#include "common/Convert.h"
#include "common/Format.h"
#include "common/FormatSettings.h"

namespace {

QString withoutThousands(const QString &text)
{
    QString out = text;
    out.remove(FormatSettings().ThousandSeparator);
    return out;
}

// The position in `text` after `count` characters that are not thousands
// separators.
int positionAfter(const QString &text, int count)
{
    const QChar thousands = FormatSettings().ThousandSeparator;
    int seen = 0, i = 0;
    for (; i < text.size() && seen < count; ++i)
        if (text.at(i) != thousands)
            ++seen;
    return i;
}

} // namespace

double AmountOfText(const QString &text)
{
    double value = 0;
    return TryStrToFloat(withoutThousands(text).trimmed(), value) ? value : 0;
}

TRegroupedAmount RegroupAmount(const QString &text, int caret, QString &lastGood)
{
    const TFormatSettings &fs = FormatSettings();
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        lastGood.clear();
        return {text, caret};
    }
    // the caret in the trimmed text
    const int lead = int(text.indexOf(trimmed.at(0)));
    caret = qBound(0, caret - lead, int(trimmed.size()));

    TRegroupedAmount result;
    if (trimmed == QString(fs.DecimalSeparator)) {
        result.Text = QStringLiteral("0") + fs.DecimalSeparator;
        result.Caret = int(result.Text.size());
    } else if (trimmed == u"-") {
        result = {trimmed, caret};
    } else {
        double value = 0;
        if (!TryStrToFloat(withoutThousands(trimmed), value)) {
            // not a number: back to the last good text, which was made by
            // this same rule and so stays as it is
            result.Text = lastGood;
        } else {
            const qsizetype point = trimmed.indexOf(fs.DecimalSeparator);
            const int decimals = point < 0 ? 0 : int(trimmed.size() - point - 1);
            TFormatSettings plain = fs;
            plain.CurrencyString.clear();
            result.Text = FloatToStrF(value, TFloatFormat::ffCurrency, 19, decimals, plain).trimmed();
            // "-0" and "-0.5" on their way: the sign typed stays
            if (trimmed.startsWith(u'-') && !result.Text.startsWith(u'-'))
                result.Text.prepend(u'-');
            if (point >= 0 && point == trimmed.size() - 1)
                result.Text += fs.DecimalSeparator;
        }
        // after as many characters other than thousands separators as
        // stood before the caret
        int count = 0;
        for (int i = 0; i < caret; ++i)
            if (trimmed.at(i) != fs.ThousandSeparator)
                ++count;
        result.Caret = positionAfter(result.Text, count);
    }
    lastGood = result.Text;
    return result;
}
