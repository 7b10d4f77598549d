// Preparation of the source text: each step, each option, and how the steps
// interact, through the public PrepareSourceText.

#include "prepare_source_text.h"

#include <QTest>

namespace {

// Options named by letters: P punctuation, D digits, L line breaks,
// M lower case (minuscolo), K keep multiple spaces.
PreparationOptions optionsFrom(const QString &letters)
{
    PreparationOptions options;
    options.ignorePunctuation = letters.contains(u'P');
    options.ignoreDigits = letters.contains(u'D');
    options.ignoreLineBreaks = letters.contains(u'L');
    options.lowerCase = letters.contains(u'M');
    options.keepMultipleSpaces = letters.contains(u'K');
    return options;
}

QString prepared(const QString &content, const QString &letters)
{
    Result<QString> result = PrepareSourceText(content, optionsFrom(letters));
    if (!result)
        qWarning() << result.error().message << result.error().detail;
    return result ? result.value() : QStringLiteral("<error>");
}

} // namespace

class PreparationTest : public QObject {
    Q_OBJECT
private slots:
    void steps_data();
    void steps();
    void longRuns_data();
    void longRuns();
};

void PreparationTest::steps_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("expected");

    // All options off.
    QTest::newRow("off: blank lines vanish") << "" << "a\r\n\r\n\r\nb" << "a\rb";
    QTest::newRow("off: spaces and tabs merge, ends trimmed") << "" << "  a  \t b \t" << "a b";
    QTest::newRow("off: VT and FF are spaces") << "" << "a\v\f b" << "a b";
    QTest::newRow("off: punctuation, digits, case kept") << "" << "È, 3.5!" << "È, 3.5!";
    QTest::newRow("off: spaces next to a break stay") << "" << "a \r\n b" << "a \r b";
    QTest::newRow("off: a break at the start stays") << "" << "\r\n a" << "\r a";
    QTest::newRow("off: lone LFs become one break") << "" << "a\n\nb" << "a\rb";
    QTest::newRow("off: runs of CR collapse") << "" << "a\r\r\rb" << "a\rb";
    QTest::newRow("off: CR LF then LF is one break") << "" << "a\r\n\nb" << "a\rb";
    QTest::newRow("off: empty text") << "" << "" << "";
    QTest::newRow("off: only spaces") << "" << "   " << "";

    // Ignore line breaks.
    QTest::newRow("L: runs of CR LF become one space") << "L" << "a\r\n\r\nb" << "a b";
    QTest::newRow("L: the space merges with neighbours") << "L" << "a \r\n b" << "a b";
    QTest::newRow("L: bare LF stays") << "L" << "a\nb" << "a\nb";
    QTest::newRow("L: lone CR stays") << "L" << "a\rb" << "a\rb";
    QTest::newRow("LK: no merging") << "LK" << "a \r\n\r\n b" << "a   b";

    // Ignore punctuation.
    QTest::newRow("P: apostrophe splits a word") << "P" << "l'acqua" << "l acqua";
    QTest::newRow("P: comma and space merge") << "P" << "a, b" << "a b";
    QTest::newRow("PK: comma and space stay two spaces") << "PK" << "a, b" << "a  b";
    QTest::newRow("P: the twelve accented letters stay") << "P" << "ÀÈÉÌÒÙàèéìòù"
                                                         << "ÀÈÉÌÒÙàèéìòù";
    QTest::newRow("PK: other accented letters and quotes go one by one") << "PK" << "«ç»ó-"
                                                                         << "     ";
    QTest::newRow("P: white space is not punctuation") << "P" << "a\tb\r\nc" << "a b\rc";
    QTest::newRow("P: digits and underscore stay") << "P" << "a_1" << "a_1";

    // Ignore digits.
    QTest::newRow("DK: each run of digits is one space") << "DK" << "a12b3" << "a b ";
    QTest::newRow("PDK: decimal comma gives three spaces") << "PDK" << "x3,14y" << "x   y";
    QTest::newRow("PD: then one space") << "PD" << "x 3,14 y" << "x y";

    // Keep multiple spaces.
    QTest::newRow("K: no trimming") << "K" << "  a  " << "  a  ";
    QTest::newRow("K: tabs stay") << "K" << "a\t\tb" << "a\t\tb";
    QTest::newRow("K: bare CRs in a row stay") << "K" << "a\r\rb" << "a\r\rb";
    QTest::newRow("K: CR LF then LF gives two CRs") << "K" << "a\r\n\nb" << "a\r\rb";

    // All lower case, applied last.
    QTest::newRow("M: accented capitals lowered") << "M" << "ÀÈÉ Città" << "àèé città";
    QTest::newRow("PM: capitals kept by punctuation step are lowered") << "PM" << "É!" << "é";
    QTest::newRow("all on") << "PDLMK" << "Èra, 1\r\n\r\nLui" << "èra    lui";
}

void PreparationTest::steps()
{
    QFETCH(QString, options);
    QFETCH(QString, content);
    QFETCH(QString, expected);
    QCOMPARE(prepared(content, options), expected);
}

void PreparationTest::longRuns_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<QString>("run");
    QTest::addColumn<int>("repeat");
    QTest::addColumn<QString>("expected");

    const int pairs = 2'500'000; // 5 MB of line breaks
    QTest::newRow("CR LF pairs, kept as one break") << "" << "\r\n" << pairs << "a\rb";
    QTest::newRow("CR LF pairs, ignored") << "L" << "\r\n" << pairs << "a b";
    QTest::newRow("bare LFs") << "" << "\n" << 4'000'000 << "a\rb";
    QTest::newRow("spaces") << "" << " " << 5'000'000 << "a b";
    QTest::newRow("tabs") << "" << "\t" << 5'000'000 << "a b";
    QTest::newRow("punctuation") << "P" << "!" << 5'000'000 << "a b";
    QTest::newRow("digits") << "D" << "7" << 5'000'000 << "a b";
}

void PreparationTest::longRuns()
{
    QFETCH(QString, options);
    QFETCH(QString, run);
    QFETCH(int, repeat);
    QFETCH(QString, expected);
    QCOMPARE(prepared(u'a' + run.repeated(repeat) + u'b', options), expected);
}

QTEST_APPLESS_MAIN(PreparationTest)
#include "tst_preparation.moc"
