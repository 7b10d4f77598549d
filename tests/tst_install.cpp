// `cmake --install` into a temporary prefix: the programs, their manual pages,
// the sample text and the desktop files land where a desktop looks for them,
// each passes its validator, every file that states the version states
// project()'s, and the installed programs run.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
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
    void versionIsProjects_data();
    void versionIsProjects();
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
    QTest::newRow("the program") << QStringLiteral("bin/gramisola") << true;
    QTest::newRow("the command line") << QStringLiteral("bin/gramisola-cli") << true;
    QTest::newRow("the sample text") << QStringLiteral("share/gramisola/esempio.txt") << false;
    for (const char *page : {"gramisola.1", "gramisola-cli.1"})
        QTest::addRow("manual page %s", page) << QStringLiteral("share/man/man1/") + page << false;
}

void InstallTest::installedFiles()
{
    QFETCH(QString, path);
    QFETCH(bool, executable);
    const QFileInfo info(installed(path));
    QVERIFY2(info.isFile() && info.size() > 0, qPrintable(path));
    QCOMPARE(info.isExecutable(), executable);
}

void InstallTest::validators_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("desktop-file-validate")
        << QStringLiteral("desktop-file-validate")
        << QStringList{installed(QStringLiteral("share/applications/%1.desktop").arg(kAppId))};
    QTest::newRow("appstreamcli validate --pedantic")
        << QStringLiteral("appstreamcli")
        << QStringList{"validate", "--pedantic", "--no-net",
                       installed(QStringLiteral("share/metainfo/%1.metainfo.xml").arg(kAppId))};
    for (const char *page : {"gramisola.1", "gramisola-cli.1"}) // a warning is a failure
        QTest::addRow("mandoc -T lint %s", page)
            << QStringLiteral("mandoc")
            << QStringList{"-T", "lint", installed(QStringLiteral("share/man/man1/") + page)};
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

// The newest entry (the first) names project()'s version; gramisola-cli
// --version is held to it by tst_cli.
void InstallTest::versionIsProjects_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("entry");
    QTest::addColumn<QByteArray>("version");
    QTest::newRow("metainfo release")
        << installed(QStringLiteral("share/metainfo/%1.metainfo.xml").arg(kAppId))
        << QByteArray("<release ") << QByteArray("<release version=\"" GRAMISOLA_VERSION "\"");
    QTest::newRow("Debian changelog, upstream part")
        << QStringLiteral(GRAMISOLA_SOURCE_DIR "/debian/changelog") << QByteArray("gramisola (")
        << QByteArray("gramisola (" GRAMISOLA_VERSION "-");
}

void InstallTest::versionIsProjects()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, entry);
    QFETCH(QByteArray, version);
    QFile text(file);
    QVERIFY2(text.open(QIODevice::ReadOnly), qPrintable(file));
    const QByteArray all = text.readAll();
    QVERIFY2(all.indexOf(version) >= 0 && all.indexOf(version) == all.indexOf(entry),
             version.constData());
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
