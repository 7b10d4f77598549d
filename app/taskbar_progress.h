#pragma once

#include <QString>

// The progress shown on the program's entry in the taskbar or dock, where the
// desktop shows one: sent as the com.canonical.Unity.LauncherEntry signal on
// the session bus, which GNOME's and KDE's docks read and match to the
// program by its desktop entry. Without a session bus nothing is sent, and
// nothing else changes.
class TaskbarProgress {
public:
    explicit TaskbarProgress(const QString &desktopFileName);
    ~TaskbarProgress();
    TaskbarProgress(const TaskbarProgress &) = delete;
    TaskbarProgress &operator=(const TaskbarProgress &) = delete;

    // Shows `fraction` (0 to 1) done.
    void show(double fraction);
    // Takes the progress away, if shown.
    void hide();

private:
    void send(double fraction, bool visible);

    QString m_appUri;
    bool m_shown = false;
};
