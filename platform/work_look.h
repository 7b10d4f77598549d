#pragma once

#include <QtGlobal>

#include <functional>

// What a long piece of work looks at as it goes, between two blocks or
// strides: it is told how many units of work (bytes, characters, positions)
// were done or begun since the last look, which is how the work reports its
// progress at no extra cost, and answers true when the work is no longer
// wanted, which the work then gives up.
using WorkLook = std::function<bool(qint64 units)>;
