#pragma once

#include "report/PageGeometry.h"

// A page of `lines` lines of 10-point fixed-pitch text at 300 DPI (42 pixels
// each) and 80 characters of 25 pixels, for tests that count lines rather
// than measure fonts.
struct TTestPage : TPageGeometry {
    int height;
    explicit TTestPage(int lines) : height(lines * 42) {}
    int Dpi() const override { return 300; }
    int PageWidth(Orientation) const override { return 2000; }
    int PageHeight(Orientation) const override { return height; }
};
