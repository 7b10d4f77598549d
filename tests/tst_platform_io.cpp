// Text-file reading (decoding, line breaks, failures) and the random source.
// The source file's own refusal of an empty file is tested through the
// window (tst_run_control), which reads the source as gramisola-cli does.

#include "code_units.h"
#include "content_digest.h"
#include "random_source.h"
#include "temp_files.h"
#include "text_decoding.h"
#include "text_file.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>
#include <set>
#include <string_view>

#include <iconv.h>
#include <sys/stat.h>

using namespace std::literals;

namespace {

// The bytes this process has read from files so far.
qint64 BytesRead()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        qFatal("no /proc/self/io");
    return io.readLine().split(' ').value(1).trimmed().toLongLong(); // "rchar: N"
}

} // namespace

class TestPlatformIo : public QObject {
    Q_OBJECT

private slots:
    void decode_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name, const QByteArray &bytes,
                            std::u16string_view expected) {
            QTest::newRow(name) << bytes << Units(expected);
        };

        const auto hex = &QByteArray::fromHex;
        row("NUL is an ordinary character", QByteArray("a\0b", 3), u"a\0b"sv);

        // A byte-order mark decides and is removed.
        row("UTF-16 BE mark", hex("feff 006300e0"), u"cà");
        row("UTF-16 keeps lone surrogates", hex("fffe 00d86100 00dc"), u"\xD800\x61\xDC00");
        row("UTF-16 odd last byte becomes U+FFFD", hex("fffe 6100 62"), u"a\uFFFD");
        row("UTF-8 mark: invalid byte is U+FFFD, the rest stays UTF-8", hex("efbbbf 61ff c3a8"),
            u"a\uFFFDè");
        row("UTF-8 mark: truncated sequence is one U+FFFD", hex("efbbbf e282 78"), u"\uFFFDx");

        // Without a mark, valid UTF-8 is UTF-8.
        row("valid UTF-8", hex("70657263 68c3a9"), u"perché");
        row("4-byte UTF-8 becomes a surrogate pair", hex("f09f9880"), u"\xD83D\xDE00");
        row("U+10FFFF is valid", hex("f48fbfbf"), u"\xDBFF\xDFFF");
        row("U+FEFF inside the text is kept", hex("61efbbbf"), u"a\uFEFF");

        // One invalid sequence anywhere makes the whole file Windows-1252.
        row("overlong 2-byte form", hex("c0af"), u"À¯");
        row("overlong 3-byte form", hex("e080af"), u"à€¯");
        row("overlong 4-byte form", hex("f08f8080"), u"ð\u008F€€");
        row("UTF-8 encoded surrogate", hex("eda080"), u"í\u00A0€");
        row("above U+10FFFF", hex("f4908080"), u"ô\u0090€€");
        row("lead byte F5", hex("f5808080"), u"õ€€€");
        row("sequence cut at the end", hex("61c3"), u"aÃ");

        // Every LF that does not follow a CR becomes CR LF, in every encoding.
        row("LF at start, middle and end", QByteArray("\na\n\nb\n"), u"\r\na\r\n\r\nb\r\n");
        row("CR LF and lone CR kept", QByteArray("a\r\nb\rc\r\r\n"), u"a\r\nb\rc\r\r\n");
        row("LF CR: the LF gains a CR", QByteArray("\n\r"), u"\r\n\r");
        row("LF before a byte that makes the file 1252", hex("0a 61 e8"), u"\r\naè");
        row("UTF-16 LF after a lone surrogate", hex("fffe 00d80a00"), u"\xD800\r\n");

        // A file of one byte of 0x80 or above is never valid UTF-8, so 1252: the
        // hardest case for detection, and every row of the table, as the C
        // library's converter has it (it leaves five bytes out: C1 controls here).
        const iconv_t cp1252 = iconv_open("WCHAR_T", "CP1252");
        QVERIFY(cp1252 != iconv_t(-1));
        for (int byte = 0x80; byte <= 0xFF; ++byte) {
            char in = char(byte), *from = &in;
            wchar_t out = byte;
            char *to = reinterpret_cast<char *>(&out);
            size_t inLeft = 1, outLeft = sizeof out;
            iconv(cp1252, &from, &inLeft, &to, &outLeft);
            QTest::addRow("1252 byte %02X", byte) << QByteArray(1, in) << QString(QChar(out));
        }
        iconv_close(cp1252);
    }

    void decode()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        QCOMPARE(DecodeText(bytes), expected);
        // Decoded a block at a time: the same characters when letters after
        // the mark put each byte of the rest, in turn, first in a block.
        const bool utf16 = bytes.startsWith("\xff\xfe") || bytes.startsWith("\xfe\xff");
        const qsizetype mark = utf16 ? 2 : bytes.startsWith("\xef\xbb\xbf") ? 3 : 0;
        const QByteArray letter(!utf16 ? "a" : bytes[0] == '\xff' ? "a\0" : "\0a", utf16 + 1);
        for (qsizetype i = 0; i <= bytes.size() - mark; i += letter.size()) {
            const qsizetype letters = (kDecodeBlockBytes - i) / letter.size();
            const QByteArray padded = QByteArray(bytes).insert(mark, letter.repeated(letters));
            QCOMPARE(DecodeText(padded), QString(letters, u'a') + expected);
        }
    }

    // Reading a file, digesting it and decoding it ask whether to stop before
    // every megabyte and do nothing more once told: a pause or a close on a
    // slow disk waits for one block at most.
    void readingStopsWhenAsked_data()
    {
        QTest::addColumn<QString>("stage");
        for (const char *stage : {"reading", "digest", "decoding"})
            QTest::newRow(stage) << QString::fromLatin1(stage);
    }

    void readingStopsWhenAsked()
    {
        QFETCH(QString, stage);
        QTemporaryDir dir;
        const QString path = WriteSparseFile(dir, QStringLiteral("lento.txt"), 64 << 20);
        const qint64 before = BytesRead();
        qint64 atStop = -1, told = 0;
        int looks = 0;
        const WorkLook stopOnThirdLook = [&](qint64 units) {
            told += units;
            if (++looks < 3)
                return false;
            atStop = BytesRead();
            return true;
        };
        // Decoding: four blocks, the stop asked before each.
        const bool stopped =
            stage == u"digest" ? !DigestTextFile(path, kMaxTextFileBytes, stopOnThirdLook)
            : stage == u"reading"
                ? !ReadTextFileBytes(path, kMaxTextFileBytes, stopOnThirdLook)
                : !DecodeText(QByteArray(4 * kDecodeBlockBytes, 'a'), stopOnThirdLook);
        QVERIFY(stopped);
        QCOMPARE(looks, 3);
        // Reading tells of the bytes it read, decoding of the block it begins.
        QCOMPARE(told, stage == u"decoding" ? 3 * kDecodeBlockBytes : 2 << 20);
        // (each look at /proc/self/io reads a hundred bytes of its own)
        QVERIFY2(atStop - before <= 2 * (1 << 20) + 4096, "at most 1 MiB read between two looks");
        QVERIFY2(BytesRead() - atStop < 4096, "nothing read after the stop");
    }

    // Each file is read whole (text, as decoded) or refused (the message).
    void readFile_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<qint64>("maxBytes");
        QTest::addColumn<QString>("expected");

        const auto row = [](const char *name, const QString &path, qint64 maxBytes,
                            const QString &expected) {
            QTest::newRow(name) << path << maxBytes << expected;
        };
        static QTemporaryDir dir;
        const qint64 max = kMaxTextFileBytes;
        row("empty file is an empty text", WriteTempFile(dir, QStringLiteral("empty.txt"), {}), max,
            QString());
        // Far more than any single read, and valid UTF-8 up to one byte far
        // into the file: all of it arrives, and all of it is 1252, the
        // "à" at the start too (bytes C3 A0 are "Ã" and a no-break space).
        const QByteArray lines =
            QByteArray("citt\xC3\xA0\r\n") + QByteArray("il gatto\r\n").repeated(60'000);
        row("late non-UTF-8 byte: all 1252, LF read as CR LF",
            WriteTempFile(dir, QStringLiteral("1252.txt"), lines + "perch\xE8\n"), max,
            QString::fromLatin1(lines + "perch\xE8\r\n"));

        const QString plain = WriteTempFile(dir, QStringLiteral("plain.txt"), "0123456789a");
        const QString closed = WriteUnreadableFile(dir, QStringLiteral("chiuso.txt"), "segreto");
        const QString fifo = dir.filePath(QStringLiteral("fifo.txt"));
        if (::mkfifo(QFile::encodeName(fifo).constData(), 0644) != 0)
            qFatal("cannot create the FIFO");
        const QString missing = QStringLiteral("Il file non esiste");
        row("missing file", dir.filePath(QStringLiteral("nessuno.txt")), max, missing);
        row("a file used as a folder", plain + QStringLiteral("/x.txt"), max, missing);
        row("NUL in the name does not open a shorter name", plain + QChar(0) + u'x', max, missing);
        row("permission denied", closed, max, "Non si ha il permesso di leggere il file");
        row("directory", dir.path(), max, "Il percorso indica una cartella, non un file");
        row("FIFO is refused without waiting for a writer", fifo, max,
            "Il percorso non indica un file regolare");
        row("file at the limit is read", plain, 11, "0123456789a");
        // Sparse files: a size beyond the real limit without writing the bytes.
        row("over the program's limit, in MB",
            WriteSparseFile(dir, QStringLiteral("huge.txt"), 200LL * 1024 * 1024), max,
            "Il file è troppo grande (200,0 MB): il limite è 128,0 MB.");
        row("just over the program's limit, in exact bytes",
            WriteSparseFile(dir, QStringLiteral("over.txt"), max + 1), max,
            "Il file è troppo grande (134.217.729 byte): il limite è 134.217.728 byte.");
        // Files under /proc report size 0: reading must not trust that figure.
        QFile version(QStringLiteral("/proc/version"));
        if (version.open(QIODevice::ReadOnly)) {
            row("file of unknown size", version.fileName(), max, DecodeText(version.readAll()));
            row("file of unknown size growing past the limit", version.fileName(), 10,
                "Il file è troppo grande: supera il limite di 10 byte.");
        }
        // Reading address 0 of the process's own memory fails with EIO.
        if (QFile::exists(QStringLiteral("/proc/self/mem")))
            row("read error", QStringLiteral("/proc/self/mem"), max,
                "Errore durante la lettura del file");
    }

    void readFile()
    {
        QFETCH(QString, path);
        QFETCH(qint64, maxBytes);
        QFETCH(QString, expected);
        // Root reads any file: a denial is met as nobody, for this one read.
        std::optional<ActAsNobody> nobody;
        if (expected.startsWith(u"Non si ha il permesso"))
            nobody.emplace();
        if (nobody && !nobody->ok())
            QSKIP("running as root without the right to change user");
        const Result<QString> text = ReadTextFile(path, maxBytes);
        // A kept text is compared with the file by its digest, which refuses
        // exactly what reading refuses and otherwise digests the same bytes.
        const Result<ContentDigest> digest = DigestTextFile(path, maxBytes);
        const Result<QByteArray> bytes = ReadTextFileBytes(path, maxBytes);
        nobody.reset();
        QCOMPARE(digest.ok(), text.ok());
        if (digest.ok())
            QVERIFY(digest.value() == DigestOf(bytes.value(), {}));
        QVERIFY2(text.ok() || !text.error().detail.isEmpty(), "a refusal says why in its detail");
        QVERIFY2((text.ok() ? text.value() : text.error().message) == expected,
                 qPrintable(text.ok() ? QStringLiteral("read") : text.error().message));
    }

    void sampleTextIsUtf8()
    {
        // Saved in another encoding, the shipped sample's accented letters change.
        // Found from the test's source folder as CMake names it: __FILE__ is
        // relative where the build maps file prefixes, as Debian's does.
        const Result<QString> text = ReadTextFile(QFINDTESTDATA("../data/esempio.txt"));
        QVERIFY2(text.ok(), qPrintable(text.error().detail));
        QVERIFY(text.value().size() > 8000 && !text.value().contains(QChar(0xFFFD)));
        for (QChar letter : QStringLiteral("Èàèéìòù"))
            QVERIFY2(text.value().contains(letter), qPrintable(QString(letter)));
    }

    // Seeded, the draws are a known sequence; from the time of day, seeds differ.
    void randomSource()
    {
        // From an independent MT19937-64: the top 53 bits of each output times
        // 2^-53. Compared with ==, since QCOMPARE on doubles is fuzzy.
        RandomSource values(5489);
        RandomSource indices(5489);
        for (double value : {0x1.92da3239eded5p-1, 0x1.007deb1e2f202p-2, 0x1.6bdd196d57c8ap-1,
                             0x1.e4b1a45a9b722p-1, 0x1.3bbcad2d76180p-6}) {
            QVERIFY(values.next() == value);
            QCOMPARE(indices.index(1000000000), std::int64_t(value * 1e9));
        }
        QVERIFY(RandomSource(20240607).next() == 0x1.29e6fe8642bb5p-1);

        // Runs started within the same millisecond must still draw differently.
        std::set<std::uint64_t> seeds;
        for (int i = 0; i < 1000; ++i)
            seeds.insert(RandomSource::timeOfDaySeed());
        QCOMPARE(seeds.size(), size_t(1000));
    }
};

QTEST_GUILESS_MAIN(TestPlatformIo)
#include "tst_platform_io.moc"
