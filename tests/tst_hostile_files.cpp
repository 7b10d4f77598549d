// Odd and hostile input files through gramisola-cli, as a subprocess: huge
// runs of one character, nothing but line breaks or punctuation, control
// characters, broken encodings, lone surrogates, very long lines, files that
// cannot or must not be read. Each ends either with generated text made of
// the source's characters (exit 0) or with one Italian line on standard error
// (exit 1), never with a crash.
//
// GRAMISOLA_TEST_BIG_FILE=1 adds a 100 MB file that must be accepted (slow,
// about a gigabyte of memory).

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <sys/types.h>
#include <unistd.h>

namespace {

constexpr qsizetype kMiB = 1024 * 1024;
constexpr uid_t kNobody = 65534;

struct Outcome {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// Runs gramisola-cli; as `asUser` (a uid) when given, so that a root test
// run can still meet a file it may not read.
Outcome runCli(const QStringList &arguments, std::optional<uid_t> asUser = std::nullopt)
{
    QProcess process;
    if (asUser) {
        const uid_t uid = *asUser;
        process.setChildProcessModifier([uid] {
            if (::setgid(uid) != 0 || ::setuid(uid) != 0)
                ::_exit(99);
        });
    }
    process.start(qEnvironmentVariable("GRAMISOLA_CLI"), arguments);
    if (!process.waitForFinished(300'000))
        qFatal("gramisola-cli did not finish");
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

QByteArray utf16le(const QString &text, bool withMark)
{
    QByteArray bytes;
    if (withMark)
        bytes.append("\xFF\xFE", 2);
    for (QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes;
}

QByteArray repeated(const QByteArray &unit, qsizetype totalBytes)
{
    return unit.repeated(totalBytes / unit.size());
}

QByteArray everyControlCharacter()
{
    QByteArray bytes;
    for (int round = 0; round < 200; ++round) {
        for (char c = 0; c < 32; ++c)
            bytes.append(c);
        bytes.append("casa\0gatto\x7F ", 12);
    }
    return bytes;
}

// The characters of a UTF-8 text, as code points.
QSet<char32_t> characters(const QByteArray &utf8)
{
    QSet<char32_t> set;
    for (char32_t c : QString::fromUtf8(utf8).toUcs4())
        set.insert(c);
    return set;
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
    void unreadableFile();
    void hundredMegabytes();

private:
    QString writeFile(const QString &name, const QByteArray &bytes);
    QTemporaryDir m_dir;
};

void HostileFilesTest::initTestCase()
{
    QVERIFY(!qEnvironmentVariable("GRAMISOLA_CLI").isEmpty());
    QVERIFY(m_dir.isValid());
}

QString HostileFilesTest::writeFile(const QString &name, const QByteArray &bytes)
{
    QFile file(m_dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write the fixture %s", qPrintable(name));
    return file.fileName();
}

void HostileFilesTest::accepted_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("options");
    // Text the prepared source must hold (UTF-8), showing the file was read
    // the way its encoding says.
    QTest::addColumn<QByteArray>("preparedHolds");

    const QString sentence = QStringLiteral("La città è bella, perché il gatto dorme.\r\n");
    QTest::newRow("several MB of one character")
        << repeated("a", 4 * kMiB) << QStringList() << QByteArray("aaaaaaaaaa");
    QTest::newRow("several MB of CR LF only")
        << repeated("\r\n", 4 * kMiB) << QStringList() << QByteArray("\n");
    QTest::newRow("several MB of bare LF only")
        << repeated("\n", 4 * kMiB) << QStringList() << QByteArray("\n");
    // Every LF is read as CR LF, so the whole file is one run of pairs: one space.
    QTest::newRow("line breaks only, line breaks ignored, keep spaces")
        << repeated("\r\n\n", 3 * kMiB) << QStringList{"--ignore-line-breaks", "--keep-spaces"}
        << QByteArray(" ");
    QTest::newRow("punctuation only")
        << repeated(".,;:!?-()\"'", 100'000) << QStringList() << QByteArray(".,;:!?");
    QTest::newRow("no word as long as the context")
        << QByteArray("a b c, d e. f g\r\nh i") << QStringList() << QByteArray("a b c, d e.");
    QTest::newRow("NUL bytes and other control characters")
        << everyControlCharacter() << QStringList() << QByteArray("casa\0gatto", 10);
    QTest::newRow("invalid UTF-8 read as Windows-1252")
        << QByteArray("citt\xE0 \xFF\xC3( perch\xE9 \x80 ok\r\n").repeated(500) << QStringList()
        << QByteArray("città ÿÃ( perché € ok");
    QTest::newRow("UTF-16 with byte-order mark")
        << utf16le(sentence.repeated(200), true) << QStringList()
        << QByteArray("La città è bella, perché");
    // Without a mark the bytes are valid UTF-8 (ASCII and NULs): they are
    // read as such, every other character a NUL, and generation still works.
    QTest::newRow("UTF-16 without byte-order mark")
        << utf16le(sentence.repeated(200), false) << QStringList()
        << QByteArray("L\0a\0 \0c\0i\0t\0t\0", 14);
    QTest::newRow("lone surrogates in UTF-16")
        << utf16le(QStringLiteral("ab") + QChar(0xD800) + QStringLiteral("cd") + QChar(0xDC00) +
                       QStringLiteral("ef ") + QChar(0xDBFF),
                   true)
               .repeated(300)
        << QStringList() << QByteArray("ab\xEF\xBF\xBD" "cd\xEF\xBF\xBD" "ef");
    QTest::newRow("one line of 10 MB")
        << repeated("parola altra cosa ", 10 * kMiB) << QStringList()
        << QByteArray("parola altra cosa parola");
    QTest::newRow("one line of 10 MB, line breaks ignored, punctuation ignored")
        << repeated("ciao, mondo! ", 10 * kMiB)
        << QStringList{"--ignore-line-breaks", "--ignore-punctuation"}
        << QByteArray("ciao mondo ciao");
}

// Each order where it matters: 1 draws single characters, 2 the shortest
// context, 10 the longest (and restarts when no word is that long).
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
    const QSet<char32_t> sourceCharacters = characters(prepared.out);

    for (const int order : {1, 2, 10}) {
        const QStringList arguments = QStringList(options)
                                      << "--seed" << "7" << "-n" << "300" << "-o"
                                      << QString::number(order) << "--engine" << "indexed"
                                      << path;
        const Outcome run = runCli(arguments);
        QVERIFY2(run.status == 0, qPrintable(QStringLiteral("order %1: status %2, %3")
                                                 .arg(order)
                                                 .arg(run.status)
                                                 .arg(QString::fromUtf8(run.err))));
        QVERIFY2(run.err.isEmpty(), run.err.constData());
        const QString text = QString::fromUtf8(run.out);
        QVERIFY2(text.size() >= 300, qPrintable(QStringLiteral("order %1: %2 characters")
                                                    .arg(order)
                                                    .arg(text.size())));
        // Generated characters come from the source; a line break may also
        // be the separator at a restart, and two lone surrogates of the
        // source drawn one after the other are written as the pair they form.
        const bool loneSurrogates = sourceCharacters.contains(U'\uFFFD');
        for (char32_t c : text.toUcs4())
            QVERIFY2(sourceCharacters.contains(c) || c == U'\n' || c == U' ' ||
                         (c > 0xFFFF && loneSurrogates),
                     qPrintable(QStringLiteral("order %1: U+%2 is not in the source")
                                    .arg(order)
                                    .arg(uint(c), 4, 16, QLatin1Char('0'))));
    }
}

void HostileFilesTest::refused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("message");

    QTest::newRow("a directory named x.txt")
        << QStringLiteral("x.txt") << QStringList()
        << QStringLiteral("x.txt: Il percorso indica una cartella, non un file");
    QTest::newRow("a file above 128 MiB")
        << QStringLiteral("enorme.txt") << QStringList()
        << QStringLiteral("enorme.txt: Il file è troppo grande (200,0 MB): il limite è 128,0 MB.");
    QTest::newRow("just above the limit")
        << QStringLiteral("appena.txt") << QStringList()
        << QStringLiteral("Il file è troppo grande");
    QTest::newRow("a missing file") << QStringLiteral("manca.txt") << QStringList()
                                    << QStringLiteral("manca.txt: Il file non esiste");
    QTest::newRow("an empty file") << QStringLiteral("vuoto.txt") << QStringList()
                                   << QStringLiteral("vuoto.txt: il file è vuoto");
    QTest::newRow("punctuation only, punctuation ignored, order 1")
        << QStringLiteral("punti.txt") << QStringList{"--ignore-punctuation", "-o", "1"}
        << QStringLiteral("il testo preparato è vuoto");
    QTest::newRow("line breaks only, line breaks ignored, order 1")
        << QStringLiteral("righe.txt") << QStringList{"--ignore-line-breaks", "-o", "1"}
        << QStringLiteral("il testo preparato è vuoto");
}

void HostileFilesTest::refused()
{
    QFETCH(QString, name);
    QFETCH(QStringList, options);
    QFETCH(QString, message);

    QDir(m_dir.path()).mkpath(QStringLiteral("x.txt"));
    // Sparse files: the size is refused before anything is read.
    for (const auto &[file, size] : {std::pair{"enorme.txt", 200 * kMiB},
                                     std::pair{"appena.txt", 128 * kMiB + 1}}) {
        QFile sparse(m_dir.filePath(QString::fromLatin1(file)));
        QVERIFY(sparse.open(QIODevice::WriteOnly) && sparse.resize(size));
    }
    writeFile(QStringLiteral("vuoto.txt"), QByteArray());
    writeFile(QStringLiteral("punti.txt"), repeated(".,;:!?-()\"'", 100'000));
    writeFile(QStringLiteral("righe.txt"), repeated("\r\n", 2 * kMiB));

    const Outcome run = runCli(QStringList(options) << "--seed" << "1" << "-n" << "50"
                                                    << m_dir.filePath(name));
    QCOMPARE(run.status, 1);
    QVERIFY(run.out.isEmpty());
    const QString err = QString::fromUtf8(run.err);
    QVERIFY2(err.startsWith(QStringLiteral("gramisola-cli: ")) && err.count(u'\n') == 1 &&
                 err.endsWith(u'\n'),
             qPrintable(err));
    QVERIFY2(err.contains(message), qPrintable(err));
}

void HostileFilesTest::unreadableFile()
{
    const QString path = writeFile(QStringLiteral("segreto.txt"), "testo segreto\r\n");
    QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
    QVERIFY(QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                    QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                    QFileDevice::ExeOther));
    // Root reads everything: the program then runs as nobody.
    const std::optional<uid_t> user =
        ::geteuid() == 0 ? std::optional<uid_t>(kNobody) : std::nullopt;
    const Outcome run = runCli({"--seed", "1", "-n", "20", path}, user);
    if (user && run.status == 99)
        QSKIP("cannot run the program as another user: denial cannot be produced");
    if (user && run.err.contains("Permission denied"))
        QSKIP("the program itself is not reachable by the unprivileged user");
    QCOMPARE(run.status, 1);
    QCOMPARE(QString::fromUtf8(run.err),
             QStringLiteral("gramisola-cli: %1: Non si ha il permesso di leggere il file\n")
                 .arg(path));
}

void HostileFilesTest::hundredMegabytes()
{
    if (qEnvironmentVariable("GRAMISOLA_TEST_BIG_FILE") != u"1")
        QSKIP("set GRAMISOLA_TEST_BIG_FILE=1 to read a 100 MB file (slow, about 1 GB of memory)");
    const QByteArray line = "il gatto della città dorme perché la luna è alta, 42 volte.\r\n";
    const QString path = writeFile(QStringLiteral("grande.txt"), repeated(line, 100 * 1000 * 1000));
    for (const char *engine : {"indexed", "reference"}) {
        const Outcome run =
            runCli({"--seed", "3", "-n", "40", "-o", "4", "--engine", engine, path});
        QCOMPARE(run.status, 0);
        QVERIFY2(run.err.isEmpty(), run.err.constData());
        QVERIFY(QString::fromUtf8(run.out).size() >= 40);
    }
}

QTEST_GUILESS_MAIN(HostileFilesTest)
#include "tst_hostile_files.moc"
