#pragma once

#include <QtGlobal>

#include <algorithm>

// body(i) for each i of [begin, end) until it answers false, looking at
// stopped(n) before every `stride` of them, n being how many it begins: a long
// pass ends promptly when its work is no longer wanted, and tells how far it
// is. False when either ended it.
template <typename Stopped, typename Body>
bool InStrides(qsizetype begin, qsizetype end, qsizetype stride, const Stopped &stopped, Body body)
{
    for (qsizetype start = begin; start < end; start += stride) {
        const qsizetype last = std::min(end, start + stride);
        if (stopped(last - start))
            return false;
        for (qsizetype i = start; i < last; ++i)
            if (!body(i))
                return false;
    }
    return true;
}
