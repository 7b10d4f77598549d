#include "cli_process.h"

#include <QProcess>

CliOutcome RunCli(const QStringList &arguments, const QByteArray &input,
                  const std::function<void()> &inChild)
{
    QProcess process;
    if (inChild)
        process.setChildProcessModifier(inChild);
    process.start(qEnvironmentVariable("GRAMISOLA_CLI"), arguments);
    if (!process.waitForStarted(60'000))
        return {-1, {}, process.errorString().toUtf8()};
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(300'000)) {
        process.kill();
        qFatal("gramisola-cli did not finish: %s", qPrintable(arguments.join(u' ')));
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}
