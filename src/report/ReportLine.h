#pragma once

#include "FieldFormat.h"

#include <QString>
#include <functional>
#include <memory>
#include <vector>

class TReportVar;

// One field reference of a template line ("@AMOUNT:-12.2").
class TReportField {
public:
    TReportField(TReportVar &variable, const TFieldSpec &spec);

    double Total = 0;        // running total or count in footer lines
    TReportVar *Variable;    // the variable named; Invalid for an unknown name
    TFieldSpec Spec;         // flags, width, decimals
    int Remaining = 0;       // values still to print in this expansion
    int Index = 0;           // the next value to print
    bool FormFeed;           // the variable FormFeed: the line ends here and breaks the page

    int Width() const { return Spec.width; }
    int Decimals() const { return Spec.decimals; }
    bool Has(int flag) const { return Spec.flags & flag; }
};

// A compiled template line: the literal text with one "@" per field
// reference, and the references in order.
class TReportLine {
public:
    QString Text;
    std::vector<std::unique_ptr<TReportField>> Fields;

    // The literal pieces around the placeholders: Pieces()[i] stands before
    // field i, the last one after the last field.
    const QStringList &Pieces() const { return m_pieces; }
    // A line ending in "\N" is expanded (its fields are consumed) but never
    // written.
    bool NeverWritten() const { return m_neverWritten; }
    // The literal text is blank once its placeholders are gone: without
    // values to print the line is not written.
    bool BlankWithoutValues() const { return m_blankWithoutValues; }
    // Sets Text and works out what the expansion needs from it.
    void SetText(const QString &text);

private:
    QStringList m_pieces;
    bool m_neverWritten = false;
    bool m_blankWithoutValues = false;
};

// Finds the variable for a field name (upper-cased for a-z only); returns
// Invalid when there is none.
using TFieldLookup = std::function<TReportVar &(const QString &name)>;

// Compiles a template line: every "@" followed by name characters ("(", ")",
// digits, Latin letters, "_", "|", Cyrillic А-я) and an optional format
// part after ":" becomes a placeholder with its field; an "@" followed by
// anything else disappears.
std::unique_ptr<TReportLine> CompileReportLine(const QString &text, const TFieldLookup &lookup);

// True for the characters a field name is made of.
bool IsFieldNameChar(QChar c);
