// Odd and hostile input files through gramisola-cli, as a subprocess. Each
// ends either with generated text made of the source's characters (exit 0)
// or with one Italian line on standard error (exit 1), never with a crash.
//
// GRAMISOLA_TEST_BIG_FILE=1 adds a 100 MB file that must be accepted (slow,
// about a gigabyte of memory).

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype kMiB = 1024 * 1024;

struct Outcome {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// Runs gramisola-cli, as nobody when asNobody is set: a root test run can
// then still meet a file it may not read.
Outcome runCli(const QStringList &arguments, bool asNobody = false)
{
    QProcess process;
    if (asNobody)
        process.setChildProcessModifier([] {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(99);
        });
    process.start(qEnvironmentVariable("GRAMISOLA_CLI"), arguments);
    // As nobody the program may not even be reachable (a build tree inside a
    // private folder); the caller then skips, as for the exit code 99.
    if (!process.waitForStarted(60'000))
        return {asNobody ? 99 : -1, {}, process.errorString().toUtf8()};
    if (!process.waitForFinished(300'000))
        qFatal("gramisola-cli did not finish");
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

QByteArray utf16le(const QString &text, bool withMark)
{
    QByteArray bytes = withMark ? QByteArray("\xFF\xFE") : QByteArray();
    for (QChar c : text)
        bytes.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    return bytes;
}

QByteArray repeated(const QByteArray &unit, qsizetype totalBytes)
{
    return unit.repeated(totalBytes / unit.size());
}

} // namespace

class HostileFilesTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void accepted_data();
    void accepted();
    void refused_data();
    void refused();
    void hundredMegabytes();

private:
    QString writeFile(const QString &name, const QByteArray &bytes);
    QTemporaryDir m_dir;
};

QString HostileFilesTest::writeFile(const QString &name, const QByteArray &bytes)
{
    QFile file(m_dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write the fixture %s", qPrintable(name));
    return file.fileName();
}

void HostileFilesTest::initTestCase()
{
    QVERIFY(!qEnvironmentVariable("GRAMISOLA_CLI").isEmpty());
    QVERIFY(m_dir.isValid() && QDir(m_dir.path()).mkpath(QStringLiteral("x.txt")));
    // Sparse: the size is refused before anything is read.
    QVERIFY(QFile::resize(writeFile(QStringLiteral("enorme.txt"), {}), 200 * kMiB));
    writeFile(QStringLiteral("vuoto.txt"), {});
    writeFile(QStringLiteral("punti.txt"), repeated(".,;:!?-()\"'", 100'000));
    writeFile(QStringLiteral("righe.txt"), repeated("\r\n", 2 * kMiB));
    // Others may reach the folder, not read the file (root runs the program as nobody).
    QVERIFY(QFile::setPermissions(writeFile(QStringLiteral("segreto.txt"), "testo"), {}));
    QVERIFY(QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                    QFileDevice::ExeOwner | QFileDevice::ExeOther));
}

void HostileFilesTest::accepted_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("options");
    // Text the prepared source must hold (UTF-8): the file was read the way
    // its encoding says.
    QTest::addColumn<QByteArray>("preparedHolds");

    QByteArray controls;
    for (char c = 0; c < 32; ++c)
        controls.append(c);
    controls = (controls + QByteArray("casa\0gatto\x7F ", 12)).repeated(200);
    const QString sentence = u"La città è bella, perché il gatto dorme.\r\n"_s.repeated(200);
    const QStringList none;

    QTest::newRow("several MB of one character")
        << repeated("a", 4 * kMiB) << none << "aaaaaaaaaa"_ba;
    QTest::newRow("several MB of bare LF only") << repeated("\n", 4 * kMiB) << none << "\n"_ba;
    // Every LF is read as CR LF, so the whole file is one run of pairs: one space.
    QTest::newRow("line breaks only, line breaks ignored, keep spaces")
        << repeated("\r\n\n", 3 * kMiB) << QStringList{"--ignore-line-breaks", "--keep-spaces"}
        << " "_ba;
    QTest::newRow("punctuation only") << repeated(".,;:!?-()\"'", 100'000) << none << ".,;:!?"_ba;
    QTest::newRow("no word as long as the context")
        << "a b c, d e. f g\r\nh i"_ba << none << "a b c, d e."_ba;
    QTest::newRow("NUL bytes and other control characters")
        << controls << none << QByteArray("casa\0gatto", 10);
    QTest::newRow("invalid UTF-8 read as Windows-1252")
        << "citt\xE0 \xFF\xC3( perch\xE9 \x80 ok\r\n"_ba.repeated(500) << none
        << "città ÿÃ( perché € ok"_ba;
    QTest::newRow("UTF-16 with byte-order mark")
        << utf16le(sentence, true) << none << "La città è bella, perché"_ba;
    // Without a mark the bytes are valid UTF-8 (ASCII and NULs): read as such.
    QTest::newRow("UTF-16 without byte-order mark")
        << utf16le(sentence, false) << none << QByteArray("L\0a\0 \0c\0i\0t\0t\0", 14);
    const QString surrogates =
        u"ab"_s + QChar(0xD800) + u"cd"_s + QChar(0xDC00) + u"ef "_s + QChar(0xDBFF);
    QTest::newRow("lone surrogates in UTF-16")
        << utf16le(surrogates, true).repeated(300) << none << u"ab\uFFFDcd\uFFFDef"_s.toUtf8();
    QTest::newRow("one line of 10 MB, line breaks and punctuation ignored")
        << repeated("ciao, mondo! ", 10 * kMiB)
        << QStringList{"--ignore-line-breaks", "--ignore-punctuation"} << "ciao mondo ciao"_ba;
}

// Order 1 draws single characters, 2 the shortest context, 10 the longest
// (and restarts when no word is that long).
void HostileFilesTest::accepted()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, options);
    QFETCH(QByteArray, preparedHolds);
    const QString path = writeFile(QStringLiteral("accepted.txt"), content);

    const Outcome prepared = runCli(QStringList(options) << "--prepare-only" << path);
    QCOMPARE(prepared.status, 0);
    QVERIFY2(prepared.err.isEmpty(), prepared.err.constData());
    QVERIFY(prepared.out.contains(preparedHolds));
    const QList<uint> sourceList = QString::fromUtf8(prepared.out).toUcs4();
    const QSet<uint> source(sourceList.begin(), sourceList.end());

    for (const char *order : {"1", "2", "10"}) {
        const Outcome run = runCli(options + QStringList{"--seed", "7", "-n", "300", "-o", order,
                                                         "--engine", "indexed", path});
        QCOMPARE(run.status, 0);
        QVERIFY2(run.err.isEmpty(), run.err.constData());
        const QString text = QString::fromUtf8(run.out);
        QVERIFY2(text.size() >= 300, order);
        // Generated characters come from the source; a line break may also
        // be the separator at a restart, and two lone surrogates of the
        // source drawn one after the other are written as the pair they form.
        for (uint c : text.toUcs4())
            QVERIFY2(source.contains(c) || c == '\n' || c == ' ' ||
                         (c > 0xFFFF && source.contains(0xFFFD)),
                     qPrintable(QStringLiteral("order %1: U+%2").arg(order).arg(c, 4, 16)));
    }
}

void HostileFilesTest::refused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("message");

    QTest::newRow("a directory named x.txt")
        << "x.txt" << QStringList() << "x.txt\": Il percorso indica una cartella, non un file";
    QTest::newRow("a file above 128 MiB")
        << "enorme.txt" << QStringList()
        << "enorme.txt\": Il file è troppo grande (200,0 MB): il limite è 128,0 MB.";
    QTest::newRow("a missing file")
        << "manca.txt" << QStringList() << "manca.txt\": Il file non esiste";
    QTest::newRow("an unreadable file") << "segreto.txt" << QStringList()
                                        << "segreto.txt\": Non si ha il permesso di leggere il file";
    QTest::newRow("an empty file") << "vuoto.txt" << QStringList() << "vuoto.txt\" è vuoto";
    QTest::newRow("punctuation only, punctuation ignored, order 1")
        << "punti.txt" << QStringList{"--ignore-punctuation", "-o", "1"}
        << "il testo preparato è vuoto";
    QTest::newRow("line breaks only, line breaks ignored, order 1")
        << "righe.txt" << QStringList{"--ignore-line-breaks", "-o", "1"}
        << "il testo preparato è vuoto";
}

void HostileFilesTest::refused()
{
    QFETCH(QString, name);
    QFETCH(QStringList, options);
    QFETCH(QString, message);

    const bool asNobody = ::geteuid() == 0 && name == u"segreto.txt";
    const Outcome run =
        runCli(options + QStringList{"--seed", "1", "-n", "50", m_dir.filePath(name)}, asNobody);
    if (asNobody && (run.status == 99 || run.err.contains("Permission denied")))
        QSKIP("the program cannot run as another user here");
    QCOMPARE(run.status, 1);
    QVERIFY(run.out.isEmpty());
    const QString err = QString::fromUtf8(run.err);
    QVERIFY2(err.startsWith(u"gramisola-cli: ") && err.count(u'\n') == 1 && err.endsWith(u'\n') &&
                 err.contains(message),
             qPrintable(err));
}

void HostileFilesTest::hundredMegabytes()
{
    if (qEnvironmentVariable("GRAMISOLA_TEST_BIG_FILE") != u"1")
        QSKIP("set GRAMISOLA_TEST_BIG_FILE=1 to read a 100 MB file (slow, about 1 GB of memory)");
    const QString path = writeFile(
        QStringLiteral("grande.txt"),
        repeated("il gatto della città dorme perché la luna è alta, 42 volte.\r\n", 100'000'000));
    for (const char *engine : {"indexed", "reference"}) {
        const Outcome run =
            runCli({"--seed", "3", "-n", "40", "-o", "4", "--engine", engine, path});
        QCOMPARE(run.status, 0);
        QVERIFY2(run.err.isEmpty() && QString::fromUtf8(run.out).size() >= 40, run.err.constData());
    }
}

QTEST_GUILESS_MAIN(HostileFilesTest)
#include "tst_hostile_files.moc"
