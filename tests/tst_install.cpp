// `cmake --install` into a temporary prefix: the programs, the sample text and
// the desktop files land where a desktop looks for them, the desktop entry and
// the AppStream metadata pass their validators, and the installed programs run.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kAppId = QStringLiteral("io.gramisola.Gramisola");

struct Outcome {
    int status = -1;
    QByteArray out;
};

Outcome run(const QString &program, const QStringList &arguments,
            const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(120'000)) {
        process.kill();
        process.waitForFinished();
        return {-1, "did not finish: " + process.readAll()};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAll()};
}

} // namespace

class InstallTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void installedFiles_data();
    void installedFiles();
    void validators_data();
    void validators();
    void desktopEntryLaunchesTheInstalledProgram();
    void installedCommandLineRuns();
    void installedProgramStarts();

private:
    QString installed(const QString &relative) const { return m_prefix.filePath(relative); }
    QTemporaryDir m_prefix;
    QByteArray m_savedManifest;
    bool m_hadManifest = false;
};

void InstallTest::initTestCase()
{
    QVERIFY(m_prefix.isValid());
    // Installing writes the build's install_manifest.txt; keep the one of a
    // real installation so that uninstalling it still removes the right files.
    QFile manifest(QStringLiteral(GRAMISOLA_BUILD_DIR "/install_manifest.txt"));
    m_hadManifest = manifest.open(QIODevice::ReadOnly);
    if (m_hadManifest)
        m_savedManifest = manifest.readAll();

    const Outcome install = run(QStringLiteral(GRAMISOLA_CMAKE),
                                {"--install", GRAMISOLA_BUILD_DIR, "--prefix", m_prefix.path()});
    QVERIFY2(install.status == 0, install.out.constData());
}

void InstallTest::cleanupTestCase()
{
    QFile manifest(QStringLiteral(GRAMISOLA_BUILD_DIR "/install_manifest.txt"));
    if (!m_hadManifest)
        manifest.remove();
    else if (!manifest.open(QIODevice::WriteOnly) || manifest.write(m_savedManifest) < 0)
        qWarning("could not restore install_manifest.txt");
}

void InstallTest::installedFiles_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("executable");
    QTest::addColumn<int>("iconSize"); // 0: not an image
    QTest::newRow("the program") << QStringLiteral("bin/gramisola") << true << 0;
    QTest::newRow("the command line") << QStringLiteral("bin/gramisola-cli") << true << 0;
    QTest::newRow("the sample text") << QStringLiteral("share/gramisola/esempio.txt") << false << 0;
    QTest::newRow("the desktop entry")
        << QStringLiteral("share/applications/%1.desktop").arg(kAppId) << false << 0;
    QTest::newRow("the AppStream metadata")
        << QStringLiteral("share/metainfo/%1.metainfo.xml").arg(kAppId) << false << 0;
    for (const int size : {32, 256})
        QTest::addRow("%dx%d icon", size, size)
            << QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(kAppId)
            << false << size;
}

void InstallTest::installedFiles()
{
    QFETCH(QString, path);
    QFETCH(bool, executable);
    QFETCH(int, iconSize);
    const QFileInfo info(installed(path));
    QVERIFY2(info.isFile() && info.size() > 0, qPrintable(path));
    QCOMPARE(info.isExecutable(), executable);
    if (iconSize > 0)
        QCOMPARE(QImage(info.filePath()).size(), QSize(iconSize, iconSize));
}

void InstallTest::validators_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("desktop-file-validate")
        << QStringLiteral("desktop-file-validate")
        << QStringList{installed(QStringLiteral("share/applications/%1.desktop").arg(kAppId))};
    QTest::newRow("appstreamcli validate")
        << QStringLiteral("appstreamcli")
        << QStringList{"validate", "--no-net",
                       installed(QStringLiteral("share/metainfo/%1.metainfo.xml").arg(kAppId))};
}

void InstallTest::validators()
{
    QFETCH(QString, tool);
    QFETCH(QStringList, arguments);
    const QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty())
        QSKIP(qPrintable(tool + QStringLiteral(" is not installed (scripts/packages.txt)")));
    const Outcome check = run(program, arguments);
    QVERIFY2(check.status == 0, check.out.constData());
}

void InstallTest::desktopEntryLaunchesTheInstalledProgram()
{
    QSettings entry(installed(QStringLiteral("share/applications/%1.desktop").arg(kAppId)),
                    QSettings::IniFormat);
    entry.beginGroup(QStringLiteral("Desktop Entry"));
    QCOMPARE(entry.value("Exec").toString(), QStringLiteral("gramisola"));
    QCOMPARE(entry.value("Icon").toString(), kAppId);
    QCOMPARE(entry.value("Name").toString(), QStringLiteral("Gramisola"));
}

void InstallTest::installedCommandLineRuns()
{
    const Outcome generated = run(installed(QStringLiteral("bin/gramisola-cli")),
                                  {"--seed", "1", "-n", "200", "-o", "4",
                                   installed(QStringLiteral("share/gramisola/esempio.txt"))});
    QVERIFY2(generated.status == 0, generated.out.constData());
    QVERIFY(QString::fromUtf8(generated.out).size() >= 200);
}

// The installed program brings its window up and keeps running until it is
// told to end: proof that the binary starts (it has no command line).
void InstallTest::installedProgramStarts()
{
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(environment);
    program.start(installed(QStringLiteral("bin/gramisola")), {});
    QVERIFY(program.waitForStarted());
    QVERIFY2(!program.waitForFinished(2000), program.readAllStandardError().constData());
    program.terminate();
    QVERIFY(program.waitForFinished(10'000));
}

QTEST_GUILESS_MAIN(InstallTest)
#include "tst_install.moc"
