#pragma once

#include <QChar>

// The five clean-up options applied to the file before generation. All off
// unless the user sets them in the options dialog.
struct PreparationOptions {
    bool ignoreDigits = false;       // "Ignora i numeri"
    bool ignoreLineBreaks = false;   // "Ignora i ritorni a capo"
    bool ignorePunctuation = false;  // "Ignora la punteggiatura"
    bool lowerCase = false;          // "Imposta tutto minuscolo"
    bool keepMultipleSpaces = false; // "Non eliminare gli spazi multipli"

    friend bool operator==(const PreparationOptions &, const PreparationOptions &) = default;
};

// What separates two stretches of output that do not continue each other:
// a space when line breaks are ignored, otherwise a carriage return.
inline QChar SeparatorFor(const PreparationOptions &options)
{
    return options.ignoreLineBreaks ? QChar(u' ') : QChar(u'\r');
}
