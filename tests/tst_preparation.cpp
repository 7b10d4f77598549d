// Preparation of the source text: each step, each option, and how the steps
// interact, through the public PrepareSourceText.

#include "prepare_source_text.h"

#include <QTest>

// The text in one piece: the steps themselves, as the oracle for the
// preparation in pieces, and runs of millions of characters as one match.
constexpr qsizetype kWhole = qsizetype(1) << 40;

class TestPreparation : public QObject {
    Q_OBJECT
private slots:
    // Every test with the pattern component's JIT, then with its interpreter
    // alone, as on a system that refuses executable memory.
    void initTestCase_data()
    {
        QTest::addColumn<bool>("jit");
        QTest::newRow("JIT") << true;
        QTest::newRow("no JIT") << false;
    }

    void steps_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name, const char *options, const QString &content,
                            const char *expected) {
            QTest::newRow(name) << QString::fromUtf8(options) << content
                                << QString::fromUtf8(expected);
        };

        // All options off.
        row("off: blanks merge into one space, ends trimmed, breaks and spaces by them stay", "",
            "  a\v\f b\vc\fd\te \r\n f \t", "a b c d e \r f");
        row("off: punctuation, digits, case kept", "", "È, 3.5!", "È, 3.5!");
        row("off: a break at the start stays; runs of CR, or CR LF then LF, are one", "",
            "\r\n a\r\r\rb\r\n\nc", "\r a\rb\rc");
        row("off: empty text", "", "", "");
        row("off: only spaces", "", "   ", "");

        // Ignore line breaks.
        row("L: runs of CR LF become one space, merged with neighbours", "L", "a\r\n\r\nb \r\n c",
            "a b c");
        row("L: bare LF and lone CR stay", "L", "a\nb\rc", "a\nb\rc");
        row("LK: no merging", "LK", "a \r\n\r\n b", "a   b");

        // Ignore punctuation.
        row("P: apostrophe splits a word; digits, _ and white space stay", "P", "l'acqua_1\tb\r\nc",
            "l acqua_1 b\rc");
        row("PK: comma and space stay two spaces", "PK", "a, b", "a  b");
        row("P: the twelve accented letters stay", "P", "ÀÈÉÌÒÙàèéìòù", "ÀÈÉÌÒÙàèéìòù");
        row("PK: other accented letters and quotes go one by one", "PK", "«ç»ó-", "     ");

        // Ignore digits.
        row("DK: each run of digits is one space", "DK", "a12b3", "a b ");
        row("PDK: decimal comma gives three spaces", "PDK", "x3,14y", "x   y");
        row("PD: then one space", "PD", "x 3,14 y", "x y");

        // Keep multiple spaces.
        row("K: no trimming; tabs and bare CRs in a row stay", "K", "  a\t\tb\r\rc  ",
            "  a\t\tb\r\rc  ");
        row("K: CR LF then LF gives two CRs; a run of CR LF pairs, or of LFs, is one CR", "K",
            "a\r\n\nb\r\n\r\nc\n\n\nd", "a\r\rb\rc\rd");

        // All lower case, applied last.
        row("M: accented capitals lowered", "M", "ÀÈÉ Città", "àèé città");
        row("PM: capitals kept by punctuation step are lowered", "PM", "É!", "é");
        row("all on", "PDLMK", "Èra, 1\r\n\r\nLui", "èra    lui");

        // Runs of millions of characters: three million CR LF pairs are one
        // match, which must need no matcher stack in proportion to the run
        // (and, without JIT, stay within the interpreter's limits); five
        // million marks are as many matches.
        const auto run = [](const char *text, int repeat) {
            return u'a' + QString::fromUtf8(text).repeated(repeat) + u'b';
        };
        row("long: CR LF pairs kept as one break", "", run("\r\n", 3'000'000), "a\rb");
        row("long: CR LF pairs ignored", "L", run("\r\n", 3'000'000), "a b");
        row("long: punctuation", "P", run("!", 5'000'000), "a b");
    }

    // Options named by letters: P punctuation, D digits, L line breaks,
    // M lower case (minuscolo), K keep multiple spaces.
    void steps()
    {
        QFETCH(QString, options);
        QFETCH(QString, content);
        QFETCH(QString, expected);
        QFETCH_GLOBAL(bool, jit);
        const Result<QString> prepared =
            PrepareSourceText(content,
                              {.ignoreDigits = options.contains(u'D'),
                               .ignoreLineBreaks = options.contains(u'L'),
                               .ignorePunctuation = options.contains(u'P'),
                               .lowerCase = options.contains(u'M'),
                               .keepMultipleSpaces = options.contains(u'K')},
                              nullptr, {.pieceLength = kWhole, .jit = jit});
        QVERIFY2(prepared.ok(), qPrintable(prepared.error().detail));
        QCOMPARE(prepared.value(), expected);
    }
};

QTEST_APPLESS_MAIN(TestPreparation)
#include "tst_preparation.moc"
