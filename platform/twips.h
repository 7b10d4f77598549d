#pragma once

#include <QRect>

#include <algorithm>

// Window geometry is designed in twips: 1/1440 inch, 15 twips per pixel at
// 96 dots per inch. Qt's device-independent pixels are 96-dpi pixels.
inline constexpr int kTwipsPerPixel = 15;

constexpr int TwipsToPixels(int twips)
{
    return twips / kTwipsPerPixel;
}
constexpr int PixelsToTwips(int pixels)
{
    return pixels * kTwipsPerPixel;
}

// A control's place in a window's design, in twips.
struct TwipsRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    friend bool operator==(const TwipsRect &, const TwipsRect &) = default;
};

// The same place in pixels. A layout squeezed below its design size can leave
// a width or height negative; the control is then shown empty.
inline QRect TwipsToPixels(const TwipsRect &r)
{
    return QRect(TwipsToPixels(r.left), TwipsToPixels(r.top), std::max(0, TwipsToPixels(r.width)),
                 std::max(0, TwipsToPixels(r.height)));
}
