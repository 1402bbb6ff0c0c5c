#pragma once

#include "PrintCodes.h"

#include <QFont>
#include <QHash>
#include <QStringView>
#include <memory>

// Measures text in printer pixels with the current report font. The report
// writer breaks pages with it and the viewer lays pages out with it, so the
// two always agree on where a page ends.
class TTextMeasurer {
public:
    virtual ~TTextMeasurer() = default;

    int Dpi() const { return m_dpi; }
    const TFontSpec &Font() const { return m_font; }
    void SetFont(const TFontSpec &font);

    // Height of a line of text in the current font (the same for any
    // non-empty text; 0 for an empty one).
    virtual int TextHeight(QStringView text) = 0;
    // Width of `text` in the current font.
    virtual int TextWidth(QStringView text) = 0;
    // Width of one character; the writer sums these when it wraps.
    virtual int CharWidth(QChar c) = 0;

protected:
    explicit TTextMeasurer(int dpi) : m_dpi(dpi) {}
    virtual void fontChanged() {}

private:
    int m_dpi;
    TFontSpec m_font;
};

// Measures with the real fonts: "Arial Cyr", "Courier New Cyr" and "Times
// New Roman Cyr" are drawn with the metric-compatible Liberation Sans, Mono
// and Serif, pixel-sized at the printer's resolution. Needs a
// QGuiApplication (the offscreen platform will do). Character widths are
// cached per font.
class TFontMeasurer : public TTextMeasurer {
public:
    explicit TFontMeasurer(int dpi);
    ~TFontMeasurer() override;

    int TextHeight(QStringView text) override;
    int TextWidth(QStringView text) override;
    int CharWidth(QChar c) override;

    // The Qt font that draws `font` at `dpi` (the viewer paints with it).
    static QFont QtFont(const TFontSpec &font, int dpi);

protected:
    void fontChanged() override;

private:
    struct TMetrics;
    TMetrics &metrics();
    QHash<int, std::shared_ptr<TMetrics>> m_cache;   // by font key
    TMetrics *m_current = nullptr;
};

// The real measurer when a QGuiApplication runs, else the fixed-pitch one.
std::unique_ptr<TTextMeasurer> CreateMeasurer(int dpi);

// What measuring a line of the output changes besides the measurer's font:
// the font code last applied, and the paragraph margins a "\PB" code gives
// (in millimetres as written and in printer pixels).
struct TOutputState {
    int fontCode = 255;
    int paraLeftMm = 0, paraRightMm = 0;
    int paraLeftPx = 0, paraRightPx = 0;

    void SetMargins(int leftMm, int rightMm, int dpi);
    void ClearMargins() { SetMargins(0, 0, 0); }
};

struct TLineMeasure {
    int height = 0;       // the tallest text of the line; 0 without text
    int width = 0;        // with wrapping: the text's width up to the cut
    qsizetype cut = -1;   // with wrapping: where the remainder starts, -1 when none
};

// Measures one line of the output file as the report writer and the viewer
// both do. The line's print codes are applied as they come: font codes
// change the measurer's font and `state`, "\PB" sets the margins. Without
// wrapping only the height counts (a run of text without codes is measured
// at once). With wrapping (inside a paragraph) trailing blanks are ignored
// and the characters' widths are summed; when they would exceed the page
// width less the margins, the line is cut after the last blank before that
// character, or at the character when there is none; a line keeps at least
// its first character.
TLineMeasure MeasureOutputLine(TTextMeasurer &measurer, TOutputState &state, QStringView line,
                               bool wrap, int pageWidth);

// A deterministic fixed-pitch measurer for tests: every character is
// (size x dpi / 120) pixels wide and a line is (size x dpi / 72) pixels high,
// rounded, whatever the face.
class TFixedPitchMeasurer : public TTextMeasurer {
public:
    explicit TFixedPitchMeasurer(int dpi) : TTextMeasurer(dpi) {}

    int TextHeight(QStringView text) override;
    int TextWidth(QStringView text) override;
    int CharWidth(QChar c) override;
};
