// Text-file reading (decoding, line breaks, failures) and the random source.

#include "corpus.h"
#include "random_source.h"
#include "text_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QtTest>

#include <initializer_list>
#include <set>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray hex(const char *digits)
{
    return QByteArray::fromHex(digits);
}

// Code units spelled one by one: for NULs and lone surrogates, which string
// literals cannot carry.
QString units(std::initializer_list<char16_t> list)
{
    QString text;
    for (char16_t unit : list)
        text += QChar(unit);
    return text;
}

const QString kTwelveLetters = QStringLiteral("ÀÈÉÌÒÙàèéìòù");
// The same letters as Windows-1252 bytes, written out from the code chart.
const QByteArray kTwelveLetters1252 = hex("c0c8c9ccd2d9e0e8e9ecf2f9");

// QCOMPARE on doubles is fuzzy; the random source promises exact values.
#define COMPARE_EXACTLY(actual, expected)                                                          \
    do {                                                                                           \
        const double a = (actual);                                                                 \
        const double e = (expected);                                                               \
        QVERIFY2(                                                                                  \
            a == e,                                                                                \
            qPrintable(QStringLiteral("%1 instead of %2").arg(a, 0, 'g', 17).arg(e, 0, 'g', 17))); \
    } while (false)

} // namespace

class TestPlatformIo : public QObject {
    Q_OBJECT

private slots:
    void decode_data();
    void decode();
    void accentedLetters_data();
    void accentedLetters();
    void windows1252MatchesSystemTable();
    void readFile_data();
    void readFile();
    void readFileWithUnknownSize();
    void sampleTextIsUtf8();
    void failures_data();
    void failures();
    void permissionDenied();
    void randomKnownSequence_data();
    void randomKnownSequence();
    void randomRanges_data();
    void randomRanges();
    void timeOfDaySeedsDiffer();
    void italianLikeText_data();
    void italianLikeText();
};

void TestPlatformIo::decode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty input is an empty text") << QByteArray() << QString();
    QTest::newRow("ASCII is kept") << QByteArray("Ciao, mondo") << QStringLiteral("Ciao, mondo");
    QTest::newRow("NUL is an ordinary character")
        << QByteArray("a\0b", 3) << units({u'a', 0, u'b'});

    // Byte-order marks decide and are removed.
    QTest::newRow("UTF-8 mark removed")
        << hex("efbbbf") + "citt\xc3\xa0" << QStringLiteral("città");
    QTest::newRow("UTF-8 mark alone is empty") << hex("efbbbf") << QString();
    QTest::newRow("UTF-16 LE mark") << hex("fffe 6300e0000a00") << QStringLiteral("cà\r\n");
    QTest::newRow("UTF-16 BE mark") << hex("feff 006300e0000a") << QStringLiteral("cà\r\n");
    QTest::newRow("UTF-16 mark alone is empty") << hex("fffe") << QString();
    QTest::newRow("UTF-16 keeps lone surrogates")
        << hex("fffe 00d86100 00dc") << units({0xD800, u'a', 0xDC00});
    QTest::newRow("UTF-16 keeps a pair as two units")
        << hex("feff d83dde00") << units({0xD83D, 0xDE00});
    QTest::newRow("UTF-16 odd last byte becomes U+FFFD")
        << hex("fffe 6100 62") << units({u'a', 0xFFFD});
    QTest::newRow("UTF-16 mark with one stray byte") << hex("feff 41") << units({0xFFFD});
    QTest::newRow("UTF-8 mark: invalid byte becomes U+FFFD, the rest stays UTF-8")
        << hex("efbbbf") + "a\xff\xc3\xa8" << units({u'a', 0xFFFD, u'è'});
    QTest::newRow("UTF-8 mark: truncated sequence is one U+FFFD")
        << hex("efbbbf e282") + "x" << units({0xFFFD, u'x'});
    QTest::newRow("UTF-8 mark: overlong pair is two U+FFFD")
        << hex("efbbbf c0af") << units({0xFFFD, 0xFFFD});

    // Without a mark: valid UTF-8 is UTF-8.
    QTest::newRow("valid UTF-8") << QByteArray("perch\xc3\xa9 pi\xc3\xb9")
                                 << QStringLiteral("perché più");
    QTest::newRow("euro sign in UTF-8") << hex("e282ac") << QStringLiteral("€");
    QTest::newRow("4-byte UTF-8 becomes a surrogate pair")
        << hex("f09f9880") << units({0xD83D, 0xDE00});
    QTest::newRow("U+10FFFF is valid") << hex("f48fbfbf") << units({0xDBFF, 0xDFFF});
    QTest::newRow("U+FEFF inside the text is kept") << hex("61efbbbf") << units({u'a', 0xFEFF});

    // Invalid UTF-8 anywhere: the whole file is Windows-1252.
    QTest::newRow("overlong 2-byte form is 1252") << hex("c0af") << QStringLiteral("À¯");
    QTest::newRow("overlong 3-byte form is 1252") << hex("e080af") << QStringLiteral("à€¯");
    QTest::newRow("overlong 4-byte form is 1252") << hex("f08f8080") << QStringLiteral("ð\u008F€€");
    QTest::newRow("UTF-8 encoded surrogate is 1252") << hex("eda080") << QStringLiteral("í\u00A0€");
    QTest::newRow("above U+10FFFF is 1252") << hex("f4908080") << QStringLiteral("ô\u0090€€");
    QTest::newRow("lead byte F5 is 1252") << hex("f5808080") << QStringLiteral("õ€€€");
    QTest::newRow("lone continuation byte is 1252") << hex("80") << QStringLiteral("€");
    QTest::newRow("sequence cut at the end is 1252") << hex("61c3") << QStringLiteral("aÃ");
    QTest::newRow("one bad byte makes a UTF-8 file 1252")
        << QByteArray("citt\xc3\xa0 \xe8") << QStringLiteral("cittÃ\u00A0 è");
    QTest::newRow("lone FF is 1252 ÿ, not half a mark") << hex("ff") << QStringLiteral("ÿ");
    QTest::newRow("lone FE is 1252 þ") << hex("fe") << QStringLiteral("þ");

    // Line breaks: every LF that does not follow a CR becomes CR LF.
    QTest::newRow("LF becomes CR LF") << QByteArray("a\nb") << QStringLiteral("a\r\nb");
    QTest::newRow("LF at the start becomes CR LF") << QByteArray("\nb") << QStringLiteral("\r\nb");
    QTest::newRow("LF at the end becomes CR LF") << QByteArray("a\n") << QStringLiteral("a\r\n");
    QTest::newRow("blank line of LFs") << QByteArray("a\n\nb") << QStringLiteral("a\r\n\r\nb");
    QTest::newRow("CR LF kept") << QByteArray("a\r\nb\r\n") << QStringLiteral("a\r\nb\r\n");
    QTest::newRow("lone CR kept") << QByteArray("a\rb\r") << QStringLiteral("a\rb\r");
    QTest::newRow("CR CR LF kept") << QByteArray("\r\r\n") << QStringLiteral("\r\r\n");
    QTest::newRow("LF CR: LF gains a CR, CR stays")
        << QByteArray("\n\r") << QStringLiteral("\r\n\r");
    QTest::newRow("LF in a 1252 file") << QByteArray("\xe8\n\xe0") << QStringLiteral("è\r\nà");
    QTest::newRow("LF after UTF-8 mark") << hex("efbbbf0a") << QStringLiteral("\r\n");
    QTest::newRow("LF after CR in UTF-16 BE kept") << hex("feff000d000a") << QStringLiteral("\r\n");
    QTest::newRow("LF in UTF-16 after a lone surrogate")
        << hex("fffe00d80a00") << units({0xD800, u'\r', u'\n'});
}

void TestPlatformIo::decode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QCOMPARE(DecodeText(bytes), expected);
}

void TestPlatformIo::accentedLetters_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");

    const QString mixed = QStringLiteral("È città, perché più\r\nÀÒ ù.");
    QTest::newRow("1252: the twelve letters in a row") << kTwelveLetters1252 << kTwelveLetters;
    QTest::newRow("1252: letters among words and line breaks")
        << QByteArray("\xc8 citt\xe0, perch\xe9 pi\xf9\n\xc0\xd2 \xf9.") << mixed;
    QTest::newRow("UTF-8: the twelve letters") << EncodeUtf8(kTwelveLetters) << kTwelveLetters;
    QTest::newRow("UTF-8 with mark") << hex("efbbbf") + EncodeUtf8(mixed) << mixed;
    QTest::newRow("UTF-16 LE") << EncodeUtf16(mixed, ByteOrder::LittleEndian, true) << mixed;
    QTest::newRow("UTF-16 BE") << EncodeUtf16(mixed, ByteOrder::BigEndian, true) << mixed;
    // The hardest case for detection: a 1252 file made of one letter only.
    for (qsizetype i = 0; i < kTwelveLetters.size(); ++i) {
        const QString letter = kTwelveLetters.mid(i, 1);
        QTest::addRow("1252: file of just %s", qPrintable(letter))
            << kTwelveLetters1252.mid(i, 1) << letter;
        QTest::addRow("1252: %s before an ASCII letter", qPrintable(letter))
            << kTwelveLetters1252.mid(i, 1) + 'a' << letter + u'a';
    }
}

void TestPlatformIo::accentedLetters()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QCOMPARE(DecodeText(bytes), expected);
}

void TestPlatformIo::windows1252MatchesSystemTable()
{
    // Rows that matter for Italian text, written out from the code chart.
    const struct {
        uchar byte;
        char16_t unit;
    } chart[] = {
        {0x80, u'€'},
        {0x85, u'…'},
        {0x91, u'‘'},
        {0x92, u'’'},
        {0x93, u'“'},
        {0x94, u'”'},
        {0x96, u'–'},
        {0x97, u'—'},
        {0x8C, u'Œ'},
        {0x9F, u'Ÿ'},
        {0xA0, 0x00A0},
        {0xAB, u'«'},
        {0xBB, u'»'},
        {0xB0, u'°'},
        {0xFF, u'ÿ'},
        // Undefined in the code page: the C1 control of the same value.
        {0x81, 0x0081},
        {0x8D, 0x008D},
        {0x8F, 0x008F},
        {0x90, 0x0090},
        {0x9D, 0x009D},
    };
    for (const auto &row : chart)
        QCOMPARE(DecodeText(QByteArray(1, char(row.byte))), QString(QChar(row.unit)));

    // Every high byte against ICU's table, where Qt has it. A single byte of
    // 0x80 or above is never valid UTF-8, so each one is decoded as 1252.
    QStringDecoder system("windows-1252", QStringDecoder::Flag::Stateless);
    if (!system.isValid())
        QSKIP("Qt built without ICU: the chart rows above were checked, the full table was not");
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        const QByteArray one(1, char(byte));
        QCOMPARE(DecodeText(one), QString(system(one)));
    }
}

void TestPlatformIo::readFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");

    const QString prose = ItalianLikeText(3000, 7);
    QString proseLf = prose;
    proseLf.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QTest::newRow("empty file is an empty text, not an error") << QByteArray() << QString();
    QTest::newRow("1252 file with LF line breaks") << EncodeWindows1252(proseLf) << prose;
    QTest::newRow("UTF-8 file with CR LF line breaks") << EncodeUtf8(prose) << prose;
    QTest::newRow("UTF-16 LE file with mark")
        << EncodeUtf16(proseLf, ByteOrder::LittleEndian, true) << prose;
    // Far more than any single read: the whole file must arrive.
    const QString large = ItalianLikeText(600 * 1024, 11);
    QTest::newRow("large UTF-8 file read whole") << EncodeUtf8(large) << large;
}

void TestPlatformIo::readFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const Result<QString> text = ReadTextFile(WriteTempFile(dir, QStringLiteral("t.txt"), bytes));
    QVERIFY2(text.ok(),
             qPrintable(text.error().message + QStringLiteral(" / ") + text.error().detail));
    QCOMPARE(text.value().size(), expected.size());
    QCOMPARE(text.value(), expected);
}

void TestPlatformIo::readFileWithUnknownSize()
{
    // Files under /proc report size 0; reading must not trust that figure.
    const QString path = QStringLiteral("/proc/version");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        QSKIP("/proc/version not readable here");
    const QByteArray bytes = file.readAll();
    QVERIFY(!bytes.isEmpty());
    const Result<QString> text = ReadTextFile(path);
    QVERIFY2(text.ok(), qPrintable(text.error().detail));
    QCOMPARE(text.value(), DecodeText(bytes));
}

void TestPlatformIo::sampleTextIsUtf8()
{
    // The sample shipped beside the program must read as the Italian it is:
    // saved in another encoding, its accented letters would change.
    const QString path =
        QFileInfo(QStringLiteral(__FILE__)).dir().filePath(QStringLiteral("../data/esempio.txt"));
    const Result<QString> text = ReadTextFile(path);
    QVERIFY2(text.ok(), qPrintable(text.error().detail));
    QVERIFY(text.value().size() > 8000);
    for (QChar letter : QStringLiteral("Èàèéìòù"))
        QVERIFY2(text.value().contains(letter), qPrintable(QString(letter)));
    QVERIFY(text.value().contains(QStringLiteral("\r\n\r\n")));
    QVERIFY(!text.value().contains(QChar(0xFFFD)));
}

void TestPlatformIo::failures_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<qint64>("maxBytes");
    QTest::addColumn<QString>("message");

    static QTemporaryDir dir;
    const QString plain = WriteTempFile(dir, QStringLiteral("plain.txt"), "0123456789a");
    const QString atLimit = WriteTempFile(dir, QStringLiteral("ten.txt"), "0123456789");

    // Sparse files: a size beyond the real limit without writing the bytes.
    const auto sparse = [](const QString &path, qint64 size) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(size))
            qFatal("cannot create sparse file %s", qPrintable(path));
        return path;
    };
    const QString huge = sparse(dir.filePath(QStringLiteral("huge.txt")), 200LL * 1024 * 1024);
    const QString justOver =
        sparse(dir.filePath(QStringLiteral("over.txt")), kMaxTextFileBytes + 1);

    const QString fifo = dir.filePath(QStringLiteral("fifo.txt"));
    if (::mkfifo(QFile::encodeName(fifo).constData(), 0644) != 0)
        qFatal("mkfifo failed");

    const QString missing = QStringLiteral("Il file non esiste");
    QTest::newRow("missing file") << dir.filePath(QStringLiteral("nessuno.txt"))
                                  << kMaxTextFileBytes << missing;
    QTest::newRow("missing folder on the path")
        << dir.filePath(QStringLiteral("manca/nessuno.txt")) << kMaxTextFileBytes << missing;
    QTest::newRow("a file used as a folder")
        << plain + QStringLiteral("/x.txt") << kMaxTextFileBytes << missing;
    QTest::newRow("empty path") << QString() << kMaxTextFileBytes << missing;
    QTest::newRow("NUL in the name does not open a shorter name")
        << plain + QChar(0) + QStringLiteral("x") << kMaxTextFileBytes << missing;
    QTest::newRow("directory") << dir.path() << kMaxTextFileBytes
                               << QStringLiteral("Il percorso indica una cartella, non un file");
    QTest::newRow("FIFO is refused without waiting for a writer")
        << fifo << kMaxTextFileBytes << QStringLiteral("Il percorso non indica un file regolare");
    QTest::newRow("device is refused") << QStringLiteral("/dev/zero") << kMaxTextFileBytes
                                       << QStringLiteral("Il percorso non indica un file regolare");
    QTest::newRow("one byte over a small limit")
        << plain << qint64(10)
        << QStringLiteral("Il file è troppo grande (11 byte): il limite è 10 byte.");
    QTest::newRow("over the program's limit, in MB")
        << huge << kMaxTextFileBytes
        << QStringLiteral("Il file è troppo grande (200,0 MB): il limite è 128,0 MB.");
    QTest::newRow("just over the program's limit, in exact bytes")
        << justOver << kMaxTextFileBytes
        << QStringLiteral(
               "Il file è troppo grande (134.217.729 byte): il limite è 134.217.728 byte.");
    QTest::newRow("file at the limit is read") << atLimit << qint64(10) << QString();
    if (QFile::exists(QStringLiteral("/proc/version"))) {
        QTest::newRow("file of unknown size growing past the limit")
            << QStringLiteral("/proc/version") << qint64(10)
            << QStringLiteral("Il file è troppo grande: supera il limite di 10 byte.");
    }
    // Reading address 0 of the process's own memory fails with EIO.
    if (QFile::exists(QStringLiteral("/proc/self/mem"))) {
        QTest::newRow("read error") << QStringLiteral("/proc/self/mem") << kMaxTextFileBytes
                                    << QStringLiteral("Errore durante la lettura del file");
    }
}

void TestPlatformIo::failures()
{
    QFETCH(QString, path);
    QFETCH(qint64, maxBytes);
    QFETCH(QString, message);
    const Result<QString> text = ReadTextFile(path, maxBytes);
    if (message.isEmpty()) {
        QVERIFY2(text.ok(), qPrintable(text.error().message));
        return;
    }
    QVERIFY(!text.ok());
    QCOMPARE(text.error().message, message);
    QVERIFY(!text.error().detail.isEmpty());
}

void TestPlatformIo::permissionDenied()
{
    QTemporaryDir dir;
    const QString path = WriteTempFile(dir, QStringLiteral("chiuso.txt"), "segreto");
    QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions()));

    Result<QString> text = Error{};
    if (::geteuid() == 0) {
        // Root reads any file, so the read is made as an unprivileged user
        // for a moment; the folder must let that user reach the file.
        QVERIFY(QFile::setPermissions(
            dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                            QFileDevice::ReadOther | QFileDevice::ExeOther));
        const uid_t nobody = 65534;
        if (::seteuid(nobody) != 0)
            QSKIP("running as root without the right to change user: denial cannot be produced");
        text = ReadTextFile(path);
        const bool restored = ::seteuid(0) == 0;
        if (!restored)
            qFatal("cannot become root again after the permission test");
    } else {
        text = ReadTextFile(path);
    }
    QVERIFY(!text.ok());
    QCOMPARE(text.error().message, QStringLiteral("Non si ha il permesso di leggere il file"));
}

void TestPlatformIo::randomKnownSequence_data()
{
    // Expected values from an independent implementation of MT19937-64 (the
    // reference algorithm, written separately in Python), which also gives
    // 9981545732273789042 as the 10000th output for seed 5489, as the C++
    // standard requires of std::mt19937_64. Each double is the top 53 bits
    // of one output times 2^-53, computed exactly there.
    QTest::addColumn<quint64>("seed");
    QTest::addColumn<QList<double>>("expected");
    QTest::newRow("default seed 5489")
        << quint64(5489)
        << QList<double>{0x1.92da3239eded5p-1, 0x1.007deb1e2f202p-2, 0x1.6bdd196d57c8ap-1,
                         0x1.e4b1a45a9b722p-1, 0x1.3bbcad2d76180p-6};
    QTest::newRow("seed 20240607")
        << quint64(20240607)
        << QList<double>{0x1.29e6fe8642bb5p-1, 0x1.b030bcb218524p-1, 0x1.cade101cd5464p-3,
                         0x1.5665f3e444f8cp-2, 0x1.ac806f6530f3dp-1};
}

void TestPlatformIo::randomKnownSequence()
{
    QFETCH(quint64, seed);
    QFETCH(QList<double>, expected);

    RandomSource values(seed);
    for (double value : expected)
        COMPARE_EXACTLY(values.next(), value);

    // index() is floor(next() * count) on the same stream.
    RandomSource indices(seed);
    for (double value : expected)
        QCOMPARE(indices.index(1000000000), std::int64_t(value * 1e9));

    if (seed == 5489) {
        // One engine output per value, all the way to the 10000th.
        RandomSource far(seed);
        for (int i = 1; i < 10000; ++i)
            far.next();
        COMPARE_EXACTLY(far.next(), 0x1.150b25eb02fdbp-1);
    }
}

void TestPlatformIo::randomRanges_data()
{
    QTest::addColumn<qint64>("count");
    QTest::newRow("one choice is always 0") << qint64(1);
    QTest::newRow("two choices") << qint64(2);
    QTest::newRow("seven choices") << qint64(7);
    QTest::newRow("a long source text") << qint64(10'000'000);
    QTest::newRow("beyond 32 bits") << (qint64(1) << 40);
}

void TestPlatformIo::randomRanges()
{
    QFETCH(qint64, count);
    RandomSource random(42);
    std::set<std::int64_t> seen;
    double sum = 0;
    const int draws = 20000;
    for (int i = 0; i < draws; ++i) {
        const double value = random.next();
        QVERIFY(value >= 0.0 && value < 1.0);
        sum += value;
        const std::int64_t index = random.index(count);
        QVERIFY2(index >= 0 && index < count, qPrintable(QString::number(index)));
        if (count <= 7)
            seen.insert(index);
    }
    // A fixed seed: these hold or fail the same way on every run.
    QVERIFY(qAbs(sum / draws - 0.5) < 0.01);
    if (count <= 7)
        QCOMPARE(qint64(seen.size()), count);
}

void TestPlatformIo::timeOfDaySeedsDiffer()
{
    // Runs started within the same millisecond must still draw differently.
    std::set<std::uint64_t> seeds;
    for (int i = 0; i < 1000; ++i)
        seeds.insert(RandomSource::timeOfDaySeed());
    QCOMPARE(seeds.size(), size_t(1000));
    QVERIFY(RandomSource::fromTimeOfDay().next() != RandomSource::fromTimeOfDay().next());
}

void TestPlatformIo::italianLikeText_data()
{
    QTest::addColumn<qsizetype>("characters");
    QTest::newRow("empty") << qsizetype(0);
    QTest::newRow("one character") << qsizetype(1);
    QTest::newRow("a sentence") << qsizetype(80);
    QTest::newRow("a few pages") << qsizetype(20000);
}

void TestPlatformIo::italianLikeText()
{
    QFETCH(qsizetype, characters);
    const QString text = ItalianLikeText(characters, 3);
    QCOMPARE(text.size(), characters);
    QCOMPARE(ItalianLikeText(characters, 3), text);
    // Only CR LF line breaks, as a file read by the program would hold.
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r')
            QVERIFY2(i + 1 < text.size() && text[i + 1] == u'\n', qPrintable(QString::number(i)));
        if (text[i] == u'\n')
            QVERIFY2(i > 0 && text[i - 1] == u'\r', qPrintable(QString::number(i)));
    }
    if (characters < 20000)
        return;
    QVERIFY(ItalianLikeText(characters, 4) != text);
    QVERIFY(text.contains(QStringLiteral("\r\n\r\n")));
    QVERIFY(text.contains(u'\''));
    QVERIFY(text.contains(u','));
    QVERIFY(text.contains(u'?'));
    QVERIFY(text.contains(u'È') || text.contains(u'À'));
    for (QChar letter : QStringLiteral("àèéìòù"))
        QVERIFY2(text.contains(letter), qPrintable(QString(letter)));
    QVERIFY(std::any_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); }));
    QVERIFY(!text.contains(QStringLiteral("  ")));
}

QTEST_GUILESS_MAIN(TestPlatformIo)
#include "tst_platform_io.moc"
