#pragma once

#include <QString>
#include <QWidget>

// The child of `window` with object name `name`, as a user's tools find it;
// ends the test program when there is none, since every later check would
// only repeat that.
template <typename T> T *Control(const QWidget &window, const QString &name)
{
    T *control = window.findChild<T *>(name);
    if (!control)
        qFatal("no control named %s", qPrintable(name));
    return control;
}
