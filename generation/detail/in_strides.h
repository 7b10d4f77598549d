#pragma once

#include <QtGlobal>

#include <algorithm>

// body(i) for each i of [begin, end) until it answers false, looking at
// stopped() before every `stride` of them: a long pass ends promptly when its
// work is no longer wanted. False when either ended it.
template <typename Stopped, typename Body>
bool InStrides(qsizetype begin, qsizetype end, qsizetype stride, const Stopped &stopped, Body body)
{
    for (qsizetype start = begin; start < end; start += stride) {
        if (stopped())
            return false;
        for (qsizetype i = start, last = std::min(end, start + stride); i < last; ++i)
            if (!body(i))
                return false;
    }
    return true;
}
