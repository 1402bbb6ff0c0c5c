#include "PrintCodes.h"

#include "common/Limits.h"

#include <algorithm>
#include <cmath>

TFontSpec FontForCode(int code, int size, const TFontSpec &current)
{
    code &= 0xFF;
    if (code == 255)
        return TFontSpec::Default();
    TFontSpec font = current;
    if (code < 16)
        font.face = TFontFace::Arial;
    else if (code < 32)
        font.face = TFontFace::Courier;
    else if (code < 48)
        font.face = TFontFace::Times;
    else if (code >= 240)
        font.face = TFontFace::Courier;
    font.style = code % 16;
    if (size > 0)
        font.size = size;
    return font;
}

namespace {

// A small cursor over the code's characters.
struct TScan {
    QStringView s;
    qsizetype i;

    bool at(QChar c) const { return i < s.size() && s[i] == c; }
    bool digitAt() const { return i < s.size() && s[i] >= u'0' && s[i] <= u'9'; }
    void skipBlanks()
    {
        while (at(u' '))
            ++i;
    }
    // Up to `maxDigits` digits; false when there is none.
    bool digits(int &value, int maxDigits = 9)
    {
        if (!digitAt())
            return false;
        value = 0;
        for (int n = 0; n < maxDigits && digitAt(); ++n)
            value = value * 10 + (s[i++].unicode() - '0');
        return true;
    }
    // An integer ended by ":".
    bool field(int &value)
    {
        if (!digits(value) || !at(u':'))
            return false;
        ++i;
        return true;
    }
};

} // namespace

TPrintCode ParsePrintCode(QStringView line, qsizetype pos)
{
    TPrintCode code;
    if (pos + 1 >= line.size() || line[pos] != u'\\')
        return code;
    TScan sc{line, pos + 2};
    switch (line[pos + 1].unicode()) {
    case u'F': {
        sc.skipBlanks();
        int f;
        if (!sc.digits(f))
            return code;
        sc.skipBlanks();
        if (!sc.at(u':'))
            return code;
        ++sc.i;
        int size = 0;
        sc.digits(size, 2);
        code.kind = TPrintCode::Font;
        code.fontCode = f % 256;
        code.fontSize = size;
        break;
    }
    case u'L':
    case u'R':
        if (!sc.field(code.x1) || !sc.field(code.y1) || !sc.field(code.x2) || !sc.field(code.y2)
            || !sc.digits(code.width, 4))
            return code;
        code.kind = line[pos + 1] == u'L' ? TPrintCode::Line : TPrintCode::Rect;
        break;
    case u'P':
        if (sc.at(u'E')) {
            ++sc.i;
            code.kind = TPrintCode::ParaEnd;
        } else if (sc.at(u'B')) {
            ++sc.i;
            if (!sc.field(code.left))
                return code;
            sc.digits(code.right, 6);
            code.kind = TPrintCode::ParaBegin;
        } else {
            return code;
        }
        break;
    default:
        return code;
    }
    // millimetres beyond any page would overflow the pixel arithmetic
    for (int *mm : {&code.x1, &code.y1, &code.x2, &code.y2, &code.left, &code.right})
        *mm = std::min(*mm, MaxPrintCodeMm);
    code.length = int(sc.i - pos);
    return code;
}

namespace {

// The nearest int, held within what an int can carry.
int roundedPixels(double value)
{
    constexpr double limit = 1e9;
    return int(std::lround(std::clamp(value, -limit, limit)));
}

} // namespace

int MmToPixels(double mm, int dpi)
{
    return roundedPixels(mm * dpi / 25.4);
}

int PointsToPixels(double points, int dpi)
{
    return roundedPixels(points * dpi / 72.0);
}
