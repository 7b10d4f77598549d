#include "layout_rule.h"

#include <cmath>

MainWindowGeometry MainWindowGeometry::design()
{
    MainWindowGeometry g;
    g.cmdLoad = {120, 120, 1695, 375};
    g.txtFilename = {1920, 120, 9135, 375};
    g.cmdExec = {120, 600, 1695, 375};
    g.lblLevel = {1920, 720, 510, 195};
    for (int i = 0; i < int(g.optLevel.size()); ++i)
        g.optLevel[i] = {2640 + 600 * i, 720, 615, 255};
    g.cmdOptions = {9360, 600, 1695, 375};
    g.txtResult = {120, 1080, 10935, 5175};
    g.cmdClear = {120, 6360, 1695, 375};
    g.cmdInfo = {7560, 6360, 1695, 375};
    g.cmdClose = {9360, 6360, 1695, 375};
    return g;
}

int RoundHalfToEven(double value)
{
    const double down = std::floor(value);
    const double fraction = value - down;
    if (fraction > 0.5)
        return int(down) + 1;
    if (fraction < 0.5)
        return int(down);
    return int(std::fmod(down, 2.0) == 0.0 ? down : down + 1);
}

MainWindowGeometry ApplyResizeRule(double clientWidth, double clientHeight, MainWindowGeometry g)
{
    const int m = g.txtResult.left;

    // Every right-following control changes by the same dx, so the rule never
    // needs the design values again: differences carry the layout along.
    const int dx = RoundHalfToEven(clientWidth - m - g.txtResult.width - m);
    g.txtFilename.width += dx;
    g.cmdOptions.left += dx;
    g.txtResult.width += dx;
    g.cmdInfo.left += dx;
    g.cmdClose.left += dx;

    const int dy = RoundHalfToEven(clientHeight - g.txtResult.top - g.txtResult.height - m -
                                   g.cmdClose.height - m);
    g.txtResult.height += dy;
    g.cmdClear.top += dy;
    g.cmdInfo.top += dy;
    g.cmdClose.top += dy;
    return g;
}
