#pragma once

#include "twips.h"

#include <array>

// The geometry of every control of the main window, in twips: the one table the
// window lays itself out from.
struct MainWindowGeometry {
    TwipsRect cmdLoad;
    TwipsRect txtFilename;
    TwipsRect cmdExec;
    TwipsRect lblLevel;
    std::array<TwipsRect, 10> optLevel;
    TwipsRect cmdOptions;
    TwipsRect txtResult;
    TwipsRect cmdClear;
    TwipsRect cmdInfo;
    TwipsRect cmdClose;

    // The geometry the window is created with (client area 11175 x 6855).
    static MainWindowGeometry design();

    friend bool operator==(const MainWindowGeometry &, const MainWindowGeometry &) = default;
};

// Round to the nearest whole number, an exact half going to the even neighbour.
int RoundHalfToEven(double value);

// The resize rule: given the client size in twips and the geometry as it now
// stands, returns the new geometry. txtFilename, cmdOptions, txtResult, cmdInfo
// and cmdClose follow the right edge by one common difference, txtResult,
// cmdClear, cmdInfo and cmdClose the bottom edge by another; nothing else moves.
// Widths and heights come out negative when the client area is smaller than the
// fixed parts; they are kept so, so that the next call catches up exactly.
MainWindowGeometry ApplyResizeRule(double clientWidth, double clientHeight,
                                   MainWindowGeometry geometry);
