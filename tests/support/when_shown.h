#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>

// Calls `act` with the first visible window of type T once one shows up (from
// inside its modal loop); gives up after about ten seconds or when `scope` goes.
template <typename T>
void WhenShown(QObject *scope, std::function<void(T *)> act, int triesLeft = 500)
{
    QTimer::singleShot(20, scope, [scope, act, triesLeft] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *found = qobject_cast<T *>(w); found && found->isVisible())
                return act(found);
        if (triesLeft > 0)
            WhenShown<T>(scope, act, triesLeft - 1);
    });
}
