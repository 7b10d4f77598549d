#include "cli_process.h"

#include <QProcess>

CliOutcome RunCli(const QStringList &arguments, const QByteArray &input,
                  const std::function<void()> &inChild, const std::function<void()> &midway)
{
    QProcess process;
    if (inChild)
        process.setChildProcessModifier(inChild);
    process.start(qEnvironmentVariable("GRAMISOLA_CLI"), arguments);
    if (!process.waitForStarted(60'000))
        return {-1, {}, process.errorString().toUtf8()};
    const qsizetype half = midway ? input.size() / 2 : 0;
    process.write(input.left(half));
    process.waitForBytesWritten(60'000);
    if (midway)
        midway();
    process.write(input.mid(half));
    process.closeWriteChannel();
    if (!process.waitForFinished(300'000)) {
        process.kill();
        qFatal("gramisola-cli did not finish: %s", qPrintable(arguments.join(u' ')));
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}
