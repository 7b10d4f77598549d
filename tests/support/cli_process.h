#pragma once

#include <QByteArray>
#include <QStringList>

#include <functional>

// gramisola-cli as a subprocess: the program named by the environment
// variable GRAMISOLA_CLI (CTest sets it), run to its end.

struct CliOutcome {
    int status = -1; // the exit code; -1 for a crash or a program that did not start
    QByteArray out;
    QByteArray err; // for a program that did not start, why
};

// Runs gramisola-cli with `arguments` and `input` as its whole standard input,
// after `inChild` (when given) has run in the child process before the program
// starts; one that does not end within five minutes ends the test program.
// With `midway`, the first half of `input` is written, then `midway` runs,
// then the rest is written.
CliOutcome RunCli(const QStringList &arguments, const QByteArray &input = {},
                  const std::function<void()> &inChild = {},
                  const std::function<void()> &midway = {});
