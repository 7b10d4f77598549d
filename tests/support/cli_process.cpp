#include "cli_process.h"

#include <QProcess>

#include <unistd.h>

namespace {

// The child's exit code when it could not become nobody before starting.
constexpr int kNoUserChange = 99;

} // namespace

CliOutcome RunCli(const QStringList &arguments, CliUser user)
{
    QProcess process;
    const bool asNobody = user == CliUser::Nobody && ::geteuid() == 0;
    if (asNobody)
        process.setChildProcessModifier([] {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(kNoUserChange);
        });
    process.start(qEnvironmentVariable("GRAMISOLA_CLI"), arguments);
    if (!process.waitForStarted(60'000))
        return {false, -1, {}, process.errorString().toUtf8()};
    if (!process.waitForFinished(300'000)) {
        process.kill();
        qFatal("gramisola-cli did not finish: %s", qPrintable(arguments.join(u' ')));
    }
    const int status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    if (asNobody && status == kNoUserChange)
        return {false, status, {}, "cannot run as nobody"};
    return {true, status, process.readAllStandardOutput(), process.readAllStandardError()};
}
