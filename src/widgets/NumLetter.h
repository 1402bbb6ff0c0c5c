#pragma once

#include <QString>

#include <functional>

// Amounts of money in Russian words, as payment documents print them beside
// the figures: 21.05 becomes "Двадцать один рубль 05 копеек".
//
// TNumLetter does the grammar: the feminine numerals of kopecks and thousands
// ("Одна", "Две") and the three forms of every unit word (after 1, after 2 to
// 4, after 5 to 20 and round numbers). The words themselves come from three
// virtual functions, so a descendant can change the vocabulary (another
// currency, another word for zero) and keep the grammar.
class TNumLetter {
public:
    // The largest amount that has words; 10^16 itself is still accepted.
    static constexpr double MaxAmount = 1e16;

    // Scales of the amount, from the right. Each scale is one group of up to
    // three digits (the kopecks: two) with its own unit word.
    enum TScale { scKopecks, scRoubles, scThousands, scMillions, scMilliards, scTrillions, scBillions };
    static constexpr int ScaleCount = 7;

    explicit TNumLetter(bool withKopecks = true, bool kopeikaAsDigit = true, bool onlyValue = false);
    virtual ~TNumLetter() = default;

    // The word for a zero: kind 1 when the kopecks are zero and written as
    // digits, kind 2 when they are zero and written as words, kind 3 when
    // the whole amount is zero. Any other kind gives an empty text.
    virtual QString ZeroWord(int kind) const;
    // Number words, 1 to 38: "Один", "Одна", "Два", "Две", "Три" ...
    // "Девятнадцать", "Двадцать" ... "Девяносто", "Сто" ... "Девятьсот".
    // Any other index gives an empty text.
    virtual QString NumberWord(int index) const;
    // Unit words, 1 to 21, three per scale from kopecks to billions: forms
    // 1, 2, 3 for kopecks, roubles and thousands, forms 1, 3, 2 for millions
    // and above (form 1 after 1, form 2 after 2 to 4, form 3 otherwise).
    // With OnlyValue the kopeck and rouble words (1 to 6) are empty.
    virtual QString UnitWord(int index) const;

    // Converts the amount (already rounded to kopecks by the caller) into
    // Text(). Returns false, and leaves the words of the largest amount,
    // when it is too large; returns false with an empty text when it is
    // negative and too large, or not a number.
    bool Convert(double amount);

    const QString &Text() const { return m_text; }
    bool TooLarge() const { return m_tooLarge; }
    bool Negative() const { return m_negative; }

    bool WithKopecks() const { return !m_noKopecks; }
    void SetWithKopecks(bool on) { m_noKopecks = !on; }
    bool KopeikaAsDigit() const { return m_kopeikaAsDigit; }
    void SetKopeikaAsDigit(bool on) { m_kopeikaAsDigit = on; }
    bool OnlyValue() const { return m_onlyValue; }
    void SetOnlyValue(bool on) { m_onlyValue = on; }

private:
    struct TNumeral;
    static const TNumeral *findNumeral(int key);
    bool writeGroup(int value, TScale scale);
    void writeNumeral(const TNumeral &numeral, TScale scale);

    // options
    bool m_onlyValue = false;
    bool m_kopeikaAsDigit = true;
    bool m_noKopecks = false;
    // state of a conversion
    bool m_tooLarge = false;
    bool m_negative = false;
    bool m_needsUnit = false;
    QString m_text;
    int m_groups[ScaleCount] = {};
};

// Rounds `amount` in place to whole kopecks, half away from zero, and puts
// its words into `text`. Returns false when the amount is too large: `text`
// then holds the words of the largest amount, or nothing when the amount is
// negative.
bool AmountInWords(double &amount, QString &text, bool withKopecks, bool kopecksAsDigits, bool onlyValue);

// Letter case of the amount in words.
enum TUpDnSet {
    udAllDn,      // двадцать один рубль 05 копеек
    udAllUp,      // ДВАДЦАТЬ ОДИН РУБЛЬ 05 КОПЕЕК
    udFirstChUp,  // Двадцать один рубль 05 копеек
    udEachWordUp  // Двадцать Один Рубль 05 Копеек
};

// Sets the letter case of `text`. With udEachWordUp every character that
// starts the text or follows a blank or a punctuation mark is upper-cased.
QString ApplyUpDnStyle(const QString &text, TUpDnSet style);

// The amount-in-words component: assign Value() with SetValue() and read
// the words, in the letter case and with the parts that the options ask for,
// from Text(). A failed conversion leaves an error text in Text() and
// Valid() false, and raises an Exception with that text when ExcRaise is on.
class TUlmCoder {
public:
    // Fired after every assignment of the value, also after a failure that
    // raised no error.
    std::function<void()> OnChange;

    // Rounds the amount to kopecks, keeps the rounded amount and converts it.
    void SetValue(double value);
    double Value() const { return m_value; }
    const QString &Text() const { return m_text; }
    bool Valid() const { return m_valid; }

    // The options apply from the next SetValue().
    const QString &ErrorCmt() const { return m_errorCmt; }
    void SetErrorCmt(const QString &text) { m_errorCmt = text; }
    bool ErrorDef() const { return m_errorDef; }
    void SetErrorDef(bool on) { m_errorDef = on; }
    TUpDnSet UpDnStyle() const { return m_upDnStyle; }
    void SetUpDnStyle(TUpDnSet style) { m_upDnStyle = style; }
    bool ExcRaise() const { return m_excRaise; }
    void SetExcRaise(bool on) { m_excRaise = on; }
    bool TrailCmt() const { return m_trailCmt; }
    void SetTrailCmt(bool on) { m_trailCmt = on; }
    bool OnlyValue() const { return m_onlyValue; }
    void SetOnlyValue(bool on) { m_onlyValue = on; }
    bool TrailPoint() const { return m_trailPoint; }
    void SetTrailPoint(bool on) { m_trailPoint = on; }
    bool KopeikaAsDigit() const { return m_kopeikaAsDigit; }
    void SetKopeikaAsDigit(bool on) { m_kopeikaAsDigit = on; }

private:
    QString m_errorCmt;                 // used when ErrorDef is off
    bool m_errorDef = true;             // the standard error text on failure
    TUpDnSet m_upDnStyle = udFirstChUp;
    bool m_excRaise = false;            // raise the error text on failure
    bool m_trailCmt = true;             // with the kopeck part
    bool m_onlyValue = false;           // no words for kopecks and roubles
    bool m_trailPoint = true;           // end the text with "."
    bool m_kopeikaAsDigit = true;       // kopecks as two digits

    double m_value = 0;
    QString m_text;
    bool m_valid = false;
};
