#pragma once

#include <QString>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

// The child of `window` with object name `name`, as a user's tools find it;
// ends the test program when there is none, since every later check would
// only repeat that.
template <typename T> T *Control(const QWidget &window, const QString &name)
{
    T *control = window.findChild<T *>(name);
    if (!control) {
        std::fprintf(stderr, "no control named %s\n", qPrintable(name));
        std::abort();
    }
    return control;
}
