#include "NumLetter.h"

#include "common/Exceptions.h"
#include "common/Rounding.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

const char *const numberWords[] = {
    "Один", "Одна", "Два", "Две", "Три", "Четыре", "Пять", "Шесть", "Семь", "Восемь", "Девять",
    "Десять", "Одиннадцать", "Двенадцать", "Тринадцать", "Четырнадцать", "Пятнадцать",
    "Шестнадцать", "Семнадцать", "Восемнадцать", "Девятнадцать",
    "Двадцать", "Тридцать", "Сорок", "Пятьдесят", "Шестьдесят", "Семьдесят", "Восемьдесят",
    "Девяносто",
    "Сто", "Двести", "Триста", "Четыреста", "Пятьсот", "Шестьсот", "Семьсот", "Восемьсот",
    "Девятьсот",
};

// Three per scale. Millions and above are kept in the order 1, 3, 2 of the
// forms; unitIndex() knows it.
const char *const unitWords[] = {
    "копейка", "копейки", "копеек",
    "рубль", "рубля", "рублей",
    "тысяча", "тысячи", "тысяч",
    "миллион", "миллионов", "миллиона",
    "миллиард", "миллиардов", "миллиарда",
    "триллион", "триллионов", "триллиона",
    "биллион", "биллионов", "биллиона",
};

constexpr int numberWordCount = int(std::size(numberWords));
constexpr int unitWordCount = int(std::size(unitWords));
static_assert(numberWordCount == 38 && unitWordCount == 21);

// The index of UnitWord() for a scale and a form (1: after 1, 2: after 2
// to 4, 3: after 5 to 20, the tens and the hundreds).
int unitIndex(TNumLetter::TScale scale, int form)
{
    const int base = 3 * scale;
    if (scale <= TNumLetter::scThousands)
        return base + form;
    return base + (form == 1 ? 1 : form == 2 ? 3 : 2);
}

// Kopecks and thousands are feminine: "Одна копейка", "Две тысячи".
bool isFeminine(TNumLetter::TScale scale)
{
    return scale == TNumLetter::scKopecks || scale == TNumLetter::scThousands;
}

QString upFirst(const QString &s)
{
    return s.left(1).toUpper() + s.mid(1);
}

QString trimBlanks(const QString &s)
{
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && s.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && s.at(end - 1) == QLatin1Char(' '))
        --end;
    return s.mid(begin, end - begin);
}

// Rd2 corrects the binary representation error of decimal fractions by
// moving the value in kopecks 10^(e-15) away from zero, e being its number of
// integer digits. From 10^14 kopecks (10^12 roubles) on that move is a whole
// kopeck or more -- at the limit of 10^16 roubles it would add a hundred
// roubles and push the limit itself over. A double of that size cannot hold
// its kopecks exactly anyway, so there the amount is rounded without the
// correction.
double roundToKopecks(double amount)
{
    if (std::isnan(amount))
        return amount;
    const double kopecks = std::fabs(amount) * 100 + 0.5;
    double rounded;
    if (kopecks < 1e14) {
        rounded = Rd2(amount);
    } else {
        rounded = std::trunc(kopecks) / 100;
        if (amount < 0)
            rounded = -rounded;
    }
    return rounded == 0 ? 0.0 : rounded; // no negative zero
}

} // namespace

// An entry of the numeral table: a value that has words of its own, the
// indexes of its number word for the masculine and the feminine scales, and
// the form of the unit word that follows it.
struct TNumLetter::TNumeral {
    int key;
    int masculine;
    int feminine;
    int form;
};

const TNumLetter::TNumeral *TNumLetter::findNumeral(int key)
{
    // 1 to 20, the tens and the hundreds; 0 has no words.
    static const TNumeral table[] = {
        {1, 1, 2, 1},     {2, 3, 4, 2},     {3, 5, 5, 2},     {4, 6, 6, 2},
        {5, 7, 7, 3},     {6, 8, 8, 3},     {7, 9, 9, 3},     {8, 10, 10, 3},
        {9, 11, 11, 3},   {10, 12, 12, 3},  {11, 13, 13, 3},  {12, 14, 14, 3},
        {13, 15, 15, 3},  {14, 16, 16, 3},  {15, 17, 17, 3},  {16, 18, 18, 3},
        {17, 19, 19, 3},  {18, 20, 20, 3},  {19, 21, 21, 3},  {20, 22, 22, 3},
        {30, 23, 23, 3},  {40, 24, 24, 3},  {50, 25, 25, 3},  {60, 26, 26, 3},
        {70, 27, 27, 3},  {80, 28, 28, 3},  {90, 29, 29, 3},
        {100, 30, 30, 3}, {200, 31, 31, 3}, {300, 32, 32, 3}, {400, 33, 33, 3},
        {500, 34, 34, 3}, {600, 35, 35, 3}, {700, 36, 36, 3}, {800, 37, 37, 3},
        {900, 38, 38, 3},
    };
    static_assert(std::size(table) == 36);
    for (const TNumeral &n : table) {
        if (n.key == key)
            return &n;
    }
    return nullptr;
}

TNumLetter::TNumLetter(bool withKopecks, bool kopeikaAsDigit, bool onlyValue)
    : m_onlyValue(onlyValue), m_kopeikaAsDigit(kopeikaAsDigit), m_noKopecks(!withKopecks)
{
}

QString TNumLetter::ZeroWord(int kind) const
{
    switch (kind) {
    case 1:
        return m_onlyValue ? QStringLiteral("00") : QStringLiteral("00 копеек");
    case 2:
        return m_onlyValue ? QStringLiteral("ноль") : QStringLiteral("ноль копеек");
    case 3:
        return QStringLiteral("ноль");
    default:
        return {};
    }
}

QString TNumLetter::NumberWord(int index) const
{
    if (index < 1 || index > numberWordCount)
        return {};
    return QString::fromUtf8(numberWords[index - 1]);
}

QString TNumLetter::UnitWord(int index) const
{
    if (index < 1 || index > unitWordCount)
        return {};
    if (m_onlyValue && index <= 6)
        return {};
    return QString::fromUtf8(unitWords[index - 1]);
}

// Writes one numeral of a group. The words are prepended, so the unit word
// comes from the numeral written first -- the last one in reading order,
// which is the one the unit agrees with ("Двадцать Один рубль").
void TNumLetter::writeNumeral(const TNumeral &numeral, TScale scale)
{
    if (m_needsUnit) {
        m_text.prepend(QLatin1Char(' ') + UnitWord(unitIndex(scale, numeral.form)));
        m_needsUnit = false;
    }
    if (scale == scKopecks && m_kopeikaAsDigit)
        return;
    m_text.prepend(QLatin1Char(' ') + NumberWord(isFeminine(scale) ? numeral.feminine : numeral.masculine));
}

// Writes the words of one group (0 to 999) from the right: the units (or
// 11 to 19 as one numeral), the tens, the hundreds. A zero group writes
// nothing, not even its unit word. Returns whether anything was written.
bool TNumLetter::writeGroup(int value, TScale scale)
{
    m_needsUnit = true;
    if (const TNumeral *whole = findNumeral(value)) {
        writeNumeral(*whole, scale);
        return true;
    }
    bool written = false;
    const int hundreds = value / 100 * 100;
    int lastTwo = value % 100;
    const int tens = lastTwo / 10 * 10;
    const int units = value % 10;
    if (lastTwo < 11 || lastTwo > 19) {
        if (const TNumeral *n = findNumeral(units)) {
            writeNumeral(*n, scale);
            written = true;
        }
        lastTwo = tens;
    }
    if (const TNumeral *n = findNumeral(lastTwo)) {
        writeNumeral(*n, scale);
        written = true;
    }
    if (const TNumeral *n = findNumeral(hundreds)) {
        writeNumeral(*n, scale);
        written = true;
    }
    return written;
}

bool TNumLetter::Convert(double amount)
{
    m_tooLarge = false;
    m_negative = false;
    m_text.clear();
    std::fill(std::begin(m_groups), std::end(m_groups), 0);
    if (std::isnan(amount))
        return false;

    double x = amount;
    if (x > MaxAmount) {
        // In double precision 10^16 - 1 is 10^16 again: the words name the
        // limit itself.
        m_tooLarge = true;
        x = MaxAmount - 1;
    }
    if (x < 0) {
        m_negative = true;
        x = -x;
        if (x > MaxAmount)
            return false;
    }
    if (x == 0)
        x = 0; // a negative zero would be written "-0.00"

    // Fixed notation, right-aligned in 21 characters: six groups of three
    // integer digits from the billions down to the roubles, the point, two
    // digits of kopecks. Blanks count as 0.
    const QString fixed = QString::number(x, 'f', 2).rightJustified(21, QLatin1Char(' '));
    for (int s = scRoubles; s <= scBillions; ++s)
        m_groups[s] = fixed.mid(3 * (scBillions - s), 3).trimmed().toInt();
    m_groups[scKopecks] = fixed.mid(19, 2).trimmed().toInt();

    bool allZero = true;
    if (!m_noKopecks) {
        if (!writeGroup(m_groups[scKopecks], scKopecks)) {
            m_text.prepend(QLatin1Char(' ') + ZeroWord(m_kopeikaAsDigit ? 1 : 2));
        } else if (m_kopeikaAsDigit) {
            // only the unit word is there yet: " копеек" becomes " 05 копеек"
            m_text.prepend(QLatin1Char(' ')
                           + QString::number(m_groups[scKopecks]).rightJustified(2, QLatin1Char('0')));
        }
    }
    if (writeGroup(m_groups[scRoubles], scRoubles))
        allZero = false;
    else // "Одна тысяча рублей"; empty with OnlyValue, which leaves the blank
        m_text.prepend(QLatin1Char(' ') + UnitWord(unitIndex(scRoubles, 3)));
    for (int s = scThousands; s <= scBillions; ++s) {
        if (writeGroup(m_groups[s], TScale(s)))
            allZero = false;
    }
    if (allZero)
        m_text.prepend(ZeroWord(3));
    if (m_negative)
        m_text.prepend(QStringLiteral("Минус")); // the text begins with a blank already

    m_text = upFirst(trimBlanks(m_text).toLower());
    return !m_text.isEmpty() && !m_tooLarge;
}

bool AmountInWords(double &amount, QString &text, bool withKopecks, bool kopecksAsDigits, bool onlyValue)
{
    amount = roundToKopecks(amount);
    TNumLetter letter(withKopecks, kopecksAsDigits, onlyValue);
    const bool ok = letter.Convert(amount);
    text = letter.Text();
    return ok;
}

QString ApplyUpDnStyle(const QString &text, TUpDnSet style)
{
    switch (style) {
    case udAllDn:
        return text.toLower();
    case udAllUp:
        return text.toUpper();
    case udFirstChUp:
        return upFirst(text.toLower());
    case udEachWordUp: {
        static const QString separators = QStringLiteral(" !\"#$'()*+,-./:;<=>?[]^{}~");
        const QString lower = text.toLower();
        QString result;
        result.reserve(lower.size());
        for (qsizetype i = 0; i < lower.size(); ++i) {
            const QString ch = lower.mid(i, 1);
            const bool startsWord = i == 0 || separators.contains(lower.at(i - 1));
            result += startsWord ? ch.toUpper() : ch;
        }
        return result;
    }
    }
    return text;
}

void TUlmCoder::SetValue(double value)
{
    QString words;
    const bool ok = AmountInWords(value, words, m_trailCmt, m_kopeikaAsDigit, m_onlyValue);
    m_value = value;
    if (ok) {
        m_text = ApplyUpDnStyle(words, m_upDnStyle);
        if (m_trailPoint)
            m_text += QLatin1Char('.');
        m_valid = true;
    } else {
        m_text = m_errorDef ? QStringLiteral("Не допустимы суммы, большие чем ") + words : m_errorCmt;
        m_valid = false;
        if (m_excRaise)
            throw Exception(m_text);
    }
    if (OnChange)
        OnChange();
}
