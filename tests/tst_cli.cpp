// gramisola-cli end to end, as a subprocess: prepared text, seeded
// generation, and the errors a script can rely on.

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Outcome {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

Outcome runCli(const QStringList &arguments)
{
    QProcess process;
    process.start(qEnvironmentVariable("GRAMISOLA_CLI"), arguments);
    if (!process.waitForFinished(60'000))
        qFatal("gramisola-cli did not finish");
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

} // namespace

class CliTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void prepareOnly_data();
    void prepareOnly();
    void seededGenerationIsReproducible();
    void generatedTextComesFromTheSource();
    void errors_data();
    void errors();

private:
    QString writeFile(const QString &name, const QByteArray &bytes);
    QTemporaryDir m_dir;
};

void CliTest::initTestCase()
{
    QVERIFY(!qEnvironmentVariable("GRAMISOLA_CLI").isEmpty());
    QVERIFY(m_dir.isValid());
}

QString CliTest::writeFile(const QString &name, const QByteArray &bytes)
{
    QFile file(m_dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write the fixture");
    return file.fileName();
}

void CliTest::prepareOnly_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("raw keeps CR") << QStringList{"--raw"} << QByteArray("a  b\r\n\r\nc ")
                                  << QByteArray("a b\rc");
    QTest::newRow("CR written as newline") << QStringList{} << QByteArray("a  b\r\n\r\nc ")
                                           << QByteArray("a b\nc");
    QTest::newRow("Linux line breaks read as CR LF")
        << QStringList{"--raw", "--ignore-line-breaks"} << QByteArray("uno\n\ndue\n")
        << QByteArray("uno due");
    QTest::newRow("all options")
        << QStringList{"--raw", "--ignore-digits", "--ignore-punctuation", "--lower-case",
                       "--keep-spaces"}
        << QByteArray("Così, 42 volte!") << QByteArray("così    volte ");
    QTest::newRow("Windows-1252 accented letters")
        << QStringList{"--raw", "--ignore-punctuation"} << QByteArray("perch\xe8 \xc8") // 1252
        << QByteArray("perch\xc3\xa8 \xc3\x88");
}

void CliTest::prepareOnly()
{
    QFETCH(QStringList, options);
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, expected);
    const QString file = writeFile(QStringLiteral("prep.txt"), content);
    const Outcome result = runCli(QStringList{"--prepare-only"} + options + QStringList{file});
    QCOMPARE(result.status, 0);
    QCOMPARE(result.out, expected);
}

void CliTest::seededGenerationIsReproducible()
{
    const QString file = writeFile(
        QStringLiteral("seed.txt"),
        QByteArray("Nel mezzo del paese c'era una piazza con una fontana antica.\n"
                   "Intorno alla fontana giocavano i bambini, e le madri parlavano.\n")
            .repeated(20));
    const QStringList args{"--seed", "12345", "-o", "3", "-n", "2000", file};
    const Outcome first = runCli(args);
    const Outcome second = runCli(args);
    QCOMPARE(first.status, 0);
    QCOMPARE(first.out, second.out);
    QVERIFY(first.out.size() >= 2000);
    QCOMPARE(runCli(args + QStringList{"--engine", "reference"}).out, first.out);
    QVERIFY(runCli({"--seed", "54321", "-o", "3", "-n", "2000", file}).out != first.out);
}

void CliTest::generatedTextComesFromTheSource()
{
    // One line without repeated words: every four-character window of the
    // output (order 4) occurs in the source, since no restart can happen
    // before the context reaches the source's last characters.
    const QByteArray source("la casa sul mare aveva una porta verde e una finestra grande");
    const QString file = writeFile(QStringLiteral("window.txt"), source);
    const Outcome result = runCli({"--seed", "3", "-o", "4", "-n", "40", "--raw", file});
    QCOMPARE(result.status, 0);
    const QByteArray out = result.out.split('\r').first();
    QVERIFY(out.size() >= 4);
    for (qsizetype i = 0; i + 4 <= out.size(); ++i)
        QVERIFY2(source.contains(out.mid(i, 4)), out.mid(i, 4).constData());
}

void CliTest::errors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");

    QTest::newRow("order too high") << QStringList{"-o", "11", "FILE"} << 2 << "ordine";
    QTest::newRow("order not a number") << QStringList{"--order=x", "FILE"} << 2 << "ordine";
    QTest::newRow("unknown option") << QStringList{"--loud", "FILE"} << 2 << "sconosciuta";
    QTest::newRow("unknown engine") << QStringList{"--engine", "fast", "FILE"} << 2 << "motore";
    QTest::newRow("no file named") << QStringList{} << 2 << "file";
    QTest::newRow("missing file") << QStringList{"nessuno.txt"} << 1 << "non esiste";
    QTest::newRow("empty file") << QStringList{"EMPTY"} << 1 << "vuoto";
    QTest::newRow("directory") << QStringList{"DIR"} << 1 << "cartella";
}

void CliTest::errors()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, message);
    const QString good = writeFile(QStringLiteral("good.txt"), "testo qualsiasi");
    const QString empty = writeFile(QStringLiteral("empty.txt"), QByteArray());
    for (QString &arg : arguments) {
        if (arg == u"FILE")
            arg = good;
        else if (arg == u"EMPTY")
            arg = empty;
        else if (arg == u"DIR")
            arg = m_dir.path();
        else if (arg == u"nessuno.txt")
            arg = m_dir.filePath(arg);
    }
    const Outcome result = runCli(arguments);
    QCOMPARE(result.status, status);
    QVERIFY(result.out.isEmpty());
    const QString err = QString::fromLocal8Bit(result.err);
    QVERIFY2(err.contains(message, Qt::CaseInsensitive), qPrintable(err));
    QVERIFY2(err.startsWith(u"gramisola-cli: "), qPrintable(err));
}

QTEST_APPLESS_MAIN(CliTest)
#include "tst_cli.moc"
