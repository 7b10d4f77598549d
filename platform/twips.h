#pragma once

// Window geometry is designed in twips: 1/1440 inch, 15 twips per pixel at
// 96 dots per inch. Qt's device-independent pixels are 96-dpi pixels.
inline constexpr int kTwipsPerPixel = 15;

constexpr int TwipsToPixels(int twips) { return twips / kTwipsPerPixel; }
constexpr int PixelsToTwips(int pixels) { return pixels * kTwipsPerPixel; }
