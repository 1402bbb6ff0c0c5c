#include "TextMeasurer.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <algorithm>
#include <array>
#include <cmath>

void TTextMeasurer::SetFont(const TFontSpec &font)
{
    if (font == m_font)
        return;
    m_font = font;
    fontChanged();
}

struct TFontMeasurer::TMetrics {
    explicit TMetrics(const QFont &f) : fm(f), height(int(std::ceil(fm.height())))
    {
        lowWidths.fill(-1);
    }
    QFontMetricsF fm;
    int height;
    // Latin and Cyrillic in a table, the rest by character
    std::array<int, 0x500> lowWidths;
    QHash<char16_t, int> widths;
};

TFontMeasurer::TFontMeasurer(int dpi) : TTextMeasurer(dpi) {}

TFontMeasurer::~TFontMeasurer() = default;

QFont TFontMeasurer::QtFont(const TFontSpec &font, int dpi)
{
    QFont f;
    switch (font.face) {
    case TFontFace::Arial:
        f.setFamily(QStringLiteral("Liberation Sans"));
        break;
    case TFontFace::Courier:
        f.setFamily(QStringLiteral("Liberation Mono"));
        break;
    case TFontFace::Times:
        f.setFamily(QStringLiteral("Liberation Serif"));
        break;
    }
    f.setPixelSize(std::max(1, PointsToPixels(font.size, dpi)));
    f.setBold(font.style & fsBold);
    f.setItalic(font.style & fsItalic);
    f.setUnderline(font.style & fsUnderline);
    f.setStrikeOut(font.style & fsStrikeOut);
    // Metrics must not depend on the screen: no hinting, no kerning, so a
    // line's width is the sum of its characters' widths.
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setKerning(false);
    f.setStyleStrategy(QFont::PreferOutline);
    return f;
}

void TFontMeasurer::fontChanged()
{
    m_current = nullptr;
}

TFontMeasurer::TMetrics &TFontMeasurer::metrics()
{
    if (!m_current) {
        const TFontSpec &f = Font();
        const int key = (int(f.face) << 16) | (f.size << 4) | f.style;
        auto it = m_cache.find(key);
        if (it == m_cache.end())
            it = m_cache.insert(key, std::make_shared<TMetrics>(QtFont(f, Dpi())));
        m_current = it->get();
    }
    return *m_current;
}

int TFontMeasurer::TextHeight(QStringView text)
{
    return text.isEmpty() ? 0 : metrics().height;
}

int TFontMeasurer::CharWidth(QChar c)
{
    TMetrics &m = metrics();
    const char16_t u = c.unicode();
    if (u < m.lowWidths.size()) {
        int &w = m.lowWidths[u];
        if (w < 0)
            w = int(std::lround(m.fm.horizontalAdvance(c)));
        return w;
    }
    auto it = m.widths.constFind(u);
    if (it != m.widths.constEnd())
        return *it;
    const int w = int(std::lround(m.fm.horizontalAdvance(c)));
    m.widths.insert(u, w);
    return w;
}

int TFontMeasurer::TextWidth(QStringView text)
{
    int w = 0;
    for (QChar c : text)
        w += CharWidth(c);
    return w;
}

int TFixedPitchMeasurer::TextHeight(QStringView text)
{
    return text.isEmpty() ? 0 : int(std::lround(Font().size * Dpi() / 72.0));
}

int TFixedPitchMeasurer::CharWidth(QChar)
{
    return int(std::lround(Font().size * Dpi() / 120.0));
}

int TFixedPitchMeasurer::TextWidth(QStringView text)
{
    return int(text.size()) * CharWidth(u' ');
}

std::unique_ptr<TTextMeasurer> CreateMeasurer(int dpi)
{
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return std::make_unique<TFontMeasurer>(dpi);
    return std::make_unique<TFixedPitchMeasurer>(dpi);
}

void TOutputState::SetMargins(int leftMm, int rightMm, int dpi)
{
    paraLeftMm = leftMm;
    paraRightMm = rightMm;
    paraLeftPx = MmToPixels(leftMm, dpi);
    paraRightPx = MmToPixels(rightMm, dpi);
}

TLineMeasure MeasureOutputLine(TTextMeasurer &measurer, TOutputState &state, QStringView text,
                               bool wrap, int pageWidth)
{
    TLineMeasure m;
    if (wrap)
        while (!text.isEmpty() && text.back() == u' ')
            text.chop(1);
    qsizetype lastBlank = -1;
    bool hasText = false;
    for (qsizetype i = 0; i < text.size();) {
        if (text[i] == u'\\') {
            const TPrintCode code = ParsePrintCode(text, i);
            if (code.kind != TPrintCode::None) {
                if (code.kind == TPrintCode::Font) {
                    state.fontCode = code.fontCode;
                    measurer.SetFont(FontForCode(code.fontCode, code.fontSize, measurer.Font()));
                } else if (code.kind == TPrintCode::ParaBegin) {
                    state.SetMargins(code.left, code.right, measurer.Dpi());
                }
                i += code.length;
                continue;
            }
        }
        if (!wrap) {
            // the text up to the next backslash is one run in the current
            // font (a backslash that starts no code is text of the run)
            qsizetype next = text.indexOf(u'\\', i + 1);
            if (next < 0)
                next = text.size();
            m.height = std::max(m.height, measurer.TextHeight(text.mid(i, next - i)));
            i = next;
            continue;
        }
        const int w = measurer.CharWidth(text[i]);
        const int available = pageWidth - state.paraLeftPx - state.paraRightPx;
        if (m.width + w > available && hasText) {
            m.cut = lastBlank >= 0 ? lastBlank + 1 : i;
            break;
        }
        hasText = true;
        m.width += w;
        m.height = std::max(m.height, measurer.TextHeight(text.mid(i, 1)));
        if (text[i] == u' ')
            lastBlank = i;
        ++i;
    }
    return m;
}
