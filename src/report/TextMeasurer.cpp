#include "TextMeasurer.h"

#include <QFontMetricsF>
#include <cmath>

void TTextMeasurer::SetFont(const TFontSpec &font)
{
    if (font == m_font)
        return;
    m_font = font;
    fontChanged();
}

struct TFontMeasurer::TMetrics {
    explicit TMetrics(const QFont &f) : fm(f), height(int(std::ceil(fm.height()))) {}
    QFontMetricsF fm;
    int height;
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
    auto it = m.widths.constFind(c.unicode());
    if (it != m.widths.constEnd())
        return *it;
    const int w = int(std::lround(m.fm.horizontalAdvance(c)));
    m.widths.insert(c.unicode(), w);
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
