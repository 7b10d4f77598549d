#pragma once

#include <QByteArray>
#include <QStringList>

// gramisola-cli as a subprocess: the program named by the environment
// variable GRAMISOLA_CLI (CTest sets it), run to its end.

struct CliOutcome {
    bool started = false; // false: the program could not be started (see CliUser)
    int status = -1;      // the exit code; -1 for a crash
    QByteArray out;
    QByteArray err; // when not started, why
};

enum class CliUser {
    Caller,
    // User nobody when the test runs as root, so that a root test run still
    // meets a file it may not read; otherwise the caller. A build tree in a
    // folder nobody cannot enter gives started == false: skip then.
    Nobody,
};

// Runs gramisola-cli with `arguments`; one that does not end within five
// minutes ends the test program (qFatal).
CliOutcome RunCli(const QStringList &arguments, CliUser user = CliUser::Caller);
