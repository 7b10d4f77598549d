#pragma once

#include "preparation_options.h"

// The five preparation options from the low five bits of `bits`: 1 digits,
// 2 line breaks, 4 punctuation, 8 lower case, 16 keep multiple spaces, so
// 0..31 walks every combination. Header only: the fuzz targets, which do not
// link testsupport, use it too.
inline PreparationOptions OptionsFromBits(unsigned bits)
{
    return {.ignoreDigits = bool(bits & 1),
            .ignoreLineBreaks = bool(bits & 2),
            .ignorePunctuation = bool(bits & 4),
            .lowerCase = bool(bits & 8),
            .keepMultipleSpaces = bool(bits & 16)};
}
