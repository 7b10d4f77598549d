#include "regexp.h"

#include <QTest>

#include <string_view>

using namespace std::literals;
using namespace Qt::StringLiterals;

namespace {

// Builds a QString from UTF-16 code units, embedded NULs and lone surrogates
// included.
QString units(std::u16string_view text)
{
    return QString(reinterpret_cast<const QChar *>(text.data()), qsizetype(text.size()));
}

// Flags as letters: g = Global, m = Multiline, i = IgnoreCase.
void configure(RegExp &regexp, const QString &pattern, const QString &flags)
{
    regexp.setPattern(pattern);
    regexp.setGlobal(flags.contains(u'g'));
    regexp.setMultiline(flags.contains(u'm'));
    regexp.setIgnoreCase(flags.contains(u'i'));
}

const QString kInvalidPattern = QStringLiteral("Espressione regolare non valida");
const QString kTooComplex = QStringLiteral("Il testo è troppo complesso per essere elaborato");
constexpr std::u16string_view kPunctuation = u"[^A-Za-z0-9_ÀÈÉÌÒÙàèéìòù\\s]";

void replaceRow(const char *name, std::u16string_view pattern, std::u16string_view flags,
                std::u16string_view text, std::u16string_view replacement,
                std::u16string_view expected)
{
    QTest::newRow(name) << units(pattern) << units(flags) << units(text) << units(replacement)
                        << units(expected);
}

void executeRow(const char *name, std::u16string_view pattern, std::u16string_view flags,
                std::u16string_view text, QList<qsizetype> starts, QStringList values)
{
    QTest::newRow(name) << units(pattern) << units(flags) << units(text) << starts << values;
}

} // namespace

class tst_Pattern : public QObject {
    Q_OBJECT

private slots:
    void replace_data();
    void replace();
    void execute_data();
    void execute();
    void invalidPattern_data();
    void invalidPattern();
    void engineFailureIsAnError();
    void flagChangesRecompile();
    void longRuns_data();
    void longRuns();
    void longWordSeed();
};

void tst_Pattern::replace_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("flags");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("replacement");
    QTest::addColumn<QString>("expected");

    // Dialect rules.
    replaceRow("step-4 class replaces VT, keeps CR and LF", u"[ \\f\\t\\v]+", u"gm",
               u"a \t\f\v b\r\nc\v\r", u" ", u"a b\r\nc \r");
    replaceRow("\\v in a class is the vertical tab only", u"[\\v]", u"g", u"\r\n\f\v\u0085\u2028",
               u"-", u"\r\n\f-\u0085\u2028");
    replaceRow("escaped backslash before v is backslash and v", u"\\\\v", u"g", u"a\\vb\v", u"-",
               u"a-b\v");
    replaceRow("dot matches CR, not LF", u".", u"gm", u"a\r\n", u"-", u"--\n");
    replaceRow("\\w is ASCII letters, digits, underscore", u"\\w+", u"g", u"citt\u00e0_9 \u00c0z",
               u"-", u"-\u00e0- \u00c0-");
    replaceRow("\\b at text start and end", u"\\b", u"g", u"ab", u"|", u"|ab|");
    replaceRow("\\b between ASCII and accented letter", u"\\b", u"g", u"pi\u00f9 \u00e8ra", u"|",
               u"|pi|\u00f9 \u00e8|ra|");
    replaceRow("\\d is 0-9 only", u"\\d", u"g", u"0129\u0663\u00b2", u"-", u"----\u0663\u00b2");
    replaceRow("\\s is exactly the six white-space characters", u"\\s", u"g",
               u" \t\n\r\f\v\u00a0\u0085\u2028", u"-", u"------\u00a0\u0085\u2028");
    replaceRow("{n,} is greedy", u"a{2,}", u"g", u"a aa aaaa", u"-", u"a - -");
    replaceRow("[^...] is negated", u"[^ab]", u"g", u"abcA", u"-", u"ab--");
    replaceRow("escapes \\f \\t \\r \\n", u"\\f\\t\\r\\n", u"g", u"x\f\t\r\ny\t\f\n\r", u"-",
               u"x-y\t\f\n\r");
    replaceRow("case-sensitive by default", u"a", u"g", u"aA", u"-", u"-A");
    replaceRow("IgnoreCase folds ASCII", u"a", u"gi", u"aA", u"-", u"--");
    replaceRow("punctuation step keeps the twelve accented letters", kPunctuation, u"gm",
               u"Per\u00f2, l'\u00e7 \u00f3!\r\n\u00c8_9\v", u" ",
               u"Per\u00f2  l     \r\n\u00c8_9\v");
    replaceRow("line-break runs become one", u"(\\r\\n)+", u"gm", u"a\r\n\r\nb\r\nc\n", u"\r",
               u"a\rb\rc\n");

    // Replacement syntax.
    replaceRow("$1 and $2 are the groups", u"(\\w)(\\d)", u"g", u"a1 b2", u"$2$1", u"1a 2b");
    replaceRow("backslash before $1 is a literal backslash", u"([\\\\^$*+?.|{}[\\]()])", u"g",
               u"a.b$\\(", u"\\$1", u"a\\.b\\$\\\\\\(");
    replaceRow("$$ is one dollar", u"a", u"g", u"aa", u"$$", u"$$");
    replaceRow("$& is the whole match", u"\\d+", u"g", u"a12b3", u"<$&>", u"a<12>b<3>");
    replaceRow("unset group is empty", u"(a)|b", u"g", u"ab", u"[$1]", u"[a][]");
    replaceRow("$ naming no group is literal", u"a", u"g", u"a", u"$1$0$x$", u"$1$0$x$");

    // Global and empty matches.
    replaceRow("Global off replaces the first match only", u"a", u"", u"aaa", u"-", u"-aa");
    replaceRow("empty match after a match is replaced", u"x*", u"g", u"abxd", u"-", u"-a-b--d-");
    replaceRow("empty lazy matches advance one character", u"a*?", u"g", u"aaa", u"-", u"-a-a-a-");
    replaceRow("empty text, empty match", u"x*", u"g", u"", u"-", u"-");

    // Anchors: $ is the end (in Multiline also before LF); ^ follows any LF.
    replaceRow("$ without Multiline is the very end", u"$", u"g", u"a\n", u"!", u"a\n!");
    replaceRow("Multiline $ stops before LF, not CR", u"$", u"gm", u"a\r\nb", u"!", u"a\r!\nb!");
    replaceRow("Multiline ^ after every LF, the last one too", u"^", u"gm", u"a\nb\n", u"!",
               u"!a\n!b\n!");

    // Code units, not code points; NUL is an ordinary character.
    replaceRow("lone surrogate in pattern and text", u"\xD800x", u"g", u"a\xD800xb\xDC00", u"-",
               u"a-b\xDC00");
    replaceRow("dot takes one half of a surrogate pair", u"a.z", u"g", u"a\U0001F600z a\xD83Dz",
               u"-", u"a\U0001F600z -");
    replaceRow("NUL in pattern and text", u"a\0b"sv, u"g", u"xa\0by\0"sv, u"-", u"x-y\0"sv);
}

void tst_Pattern::replace()
{
    QFETCH(QString, pattern);
    QFETCH(QString, flags);
    QFETCH(QString, text);
    QFETCH(QString, replacement);
    QFETCH(QString, expected);

    RegExp regexp;
    configure(regexp, pattern, flags);
    Result<QString> replaced = regexp.Replace(text, replacement);
    QVERIFY2(replaced.ok(), qPrintable(replaced.error().detail));
    QCOMPARE(replaced.value(), expected);
}

void tst_Pattern::execute_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("flags");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<qsizetype>>("starts");
    QTest::addColumn<QStringList>("values");

    executeRow("look-ahead consumes nothing: overlapping occurrences", u"a(?=a.)", u"gm", u"aaaab",
               {0, 1, 2}, {"a", "a", "a"});
    executeRow("look-ahead refuses a context followed by LF", u"a(?=a.)", u"gm", u"aa\naab", {3},
               {"a"});
    executeRow("escaped metacharacter head", u"\\((?=\\(\\..)", u"gm", u"((.((.", {0}, {"("});
    executeRow("seed pattern: words of at least three word characters", u"\\b(\\w{3,})", u"gm",
               u"la citt\u00e0 \u00e8 bella", {3, 11}, {"citt", "bella"});
    executeRow("word boundary after an accented letter", u"\\b\\w+", u"g", u"\u00e8ra", {1},
               {"ra"});
    executeRow("non-overlapping, left to right", u"aa", u"g", u"aaaaa", {0, 2}, {"aa", "aa"});
    executeRow("Global off finds the first only", u"a", u"", u"baa", {1}, {"a"});
    executeRow("empty matches listed once each", u"x*", u"g", u"ab", {0, 1, 2}, {"", "", ""});
    executeRow("FirstIndex counts UTF-16 code units", u"b", u"g", u"\U0001F600b", {2}, {"b"});
    executeRow("no match, empty collection", u"z", u"g", u"abc", {}, {});
}

void tst_Pattern::execute()
{
    QFETCH(QString, pattern);
    QFETCH(QString, flags);
    QFETCH(QString, text);
    QFETCH(QList<qsizetype>, starts);
    QFETCH(QStringList, values);

    RegExp regexp;
    configure(regexp, pattern, flags);
    Result<MatchCollection> matches = regexp.Execute(text);
    QVERIFY2(matches.ok(), qPrintable(matches.error().detail));
    QList<qsizetype> foundStarts;
    QStringList foundValues;
    for (qsizetype i = 0; i < matches.value().Count(); ++i) {
        foundStarts << matches.value().Item(i).FirstIndex;
        foundValues << matches.value().Item(i).Value;
    }
    QCOMPARE(foundStarts, starts);
    QCOMPARE(foundValues, values);

    Result<std::vector<qsizetype>> firstIndexes = regexp.ExecuteFirstIndexes(text);
    QVERIFY2(firstIndexes.ok(), qPrintable(firstIndexes.error().detail));
    QCOMPARE(QList<qsizetype>(firstIndexes.value().begin(), firstIndexes.value().end()), starts);
}

void tst_Pattern::invalidPattern_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<int>("position");

    QTest::newRow("unclosed group") << "ab(" << 3;
    QTest::newRow("unclosed class") << "[ab" << 3;
    QTest::newRow("reversed repeat bounds") << "a{3,1}" << 5;
    QTest::newRow("trailing backslash") << "ab\\" << 3;
    QTest::newRow("position counted in the pattern as written") << "\\v\\v)" << 4;
}

void tst_Pattern::invalidPattern()
{
    QFETCH(QString, pattern);
    QFETCH(int, position);

    RegExp regexp;
    configure(regexp, pattern, "g");
    Result<QString> replaced = regexp.Replace(u"abc", u"-");
    QVERIFY(!replaced.ok());
    QCOMPARE(replaced.error().message, kInvalidPattern);
    QVERIFY2(replaced.error().detail.contains(QStringLiteral("posizione %1 ").arg(position)),
             qPrintable(replaced.error().detail));

    Result<MatchCollection> matches = regexp.Execute(u"abc");
    QVERIFY(!matches.ok());
    QCOMPARE(matches.error().message, kInvalidPattern);
    Result<std::vector<qsizetype>> starts = regexp.ExecuteFirstIndexes(u"abc");
    QVERIFY(!starts.ok());
    QCOMPARE(starts.error().message, kInvalidPattern);

    // The same object works again once the pattern is valid.
    regexp.setPattern("b");
    Result<QString> fixed = regexp.Replace(u"abc", u"-");
    QVERIFY(fixed.ok());
    QCOMPARE(fixed.value(), QStringLiteral("a-c"));
}

// The engine's own limits are out of reach of any text the program accepts;
// a pattern can lower the match limit, which makes the engine fail on demand.
void tst_Pattern::engineFailureIsAnError()
{
    RegExp regexp;
    configure(regexp, "(*LIMIT_MATCH=50)(a+)+b", "g");
    // The b after the run lets the matcher try (and backtrack) at all.
    const QString text = QString(30, u'a') + QStringLiteral("cb");

    Result<QString> replaced = regexp.Replace(text, u"-");
    QVERIFY(!replaced.ok());
    QCOMPARE(replaced.error().message, kTooComplex);
    QVERIFY(!replaced.error().detail.isEmpty());

    Result<MatchCollection> matches = regexp.Execute(text);
    QVERIFY(!matches.ok());
    QCOMPARE(matches.error().message, kTooComplex);

    Result<std::vector<qsizetype>> starts = regexp.ExecuteFirstIndexes(text);
    QVERIFY(!starts.ok());
    QCOMPARE(starts.error().message, kTooComplex);
}

void tst_Pattern::flagChangesRecompile()
{
    RegExp regexp;
    configure(regexp, "^a", "g");
    QCOMPARE(regexp.Replace(u"a\na", u"-").value(), QStringLiteral("-\na"));
    regexp.setMultiline(true);
    QCOMPARE(regexp.Replace(u"a\na", u"-").value(), QStringLiteral("-\n-"));
    regexp.setIgnoreCase(true);
    QCOMPARE(regexp.Replace(u"A\nA", u"-").value(), QStringLiteral("-\n-"));
    regexp.setIgnoreCase(false);
    QCOMPARE(regexp.Replace(u"A\nA", u"-").value(), QStringLiteral("A\nA"));
    regexp.setPattern("^A");
    QCOMPARE(regexp.Replace(u"A\nA", u"-").value(), QStringLiteral("-\n-"));
}

// Single runs longer than default engine limits allow. The CR LF run needs
// JIT stack in proportion to its length, more than the first reservation.
void tst_Pattern::longRuns_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("replacement");
    QTest::addColumn<QString>("expected");

    constexpr qsizetype kRun = 3'000'000;
    const QString crlfRun = QStringLiteral("a") + QStringLiteral("\r\n").repeated(kRun) + u'b';
    QTest::newRow("CR LF run to one space") << u"(\\r\\n)+"_s << crlfRun << u" "_s << u"a b"_s;
    QTest::newRow("CR LF run to one CR") << u"(\\r\\n)+"_s << crlfRun << u"\r"_s << u"a\rb"_s;
    QTest::newRow("space run to one space")
        << u"[ \\f\\t\\v]+"_s << u'x' + QString(kRun, u' ') + u'x' << u" "_s << u"x x"_s;
    QTest::newRow("digit run to one space")
        << u"\\d+"_s << u'x' + QString(kRun, u'7') + u'x' << u" "_s << u"x x"_s;
    QTest::newRow("punctuation run, one space each")
        << units(kPunctuation) << QString(kRun, u'.') << u" "_s << QString(kRun, u' ');
}

void tst_Pattern::longRuns()
{
    QFETCH(QString, pattern);
    QFETCH(QString, text);
    QFETCH(QString, replacement);
    QFETCH(QString, expected);

    RegExp regexp;
    configure(regexp, pattern, "gm");
    Result<QString> replaced = regexp.Replace(text, replacement);
    QVERIFY2(replaced.ok(), qPrintable(replaced.error().detail));
    QVERIFY(replaced.value() == expected);

    // The same object handles a second long text: the stack survives reuse.
    Result<QString> again = regexp.Replace(text, replacement);
    QVERIFY2(again.ok(), qPrintable(again.error().detail));
    QVERIFY(again.value() == expected);
}

void tst_Pattern::longWordSeed()
{
    constexpr qsizetype kRun = 3'000'000;
    RegExp regexp;
    configure(regexp, "\\b(\\w{3,})", "gm");
    const QString text = QString(kRun, u'a') + QStringLiteral(" bcd");
    Result<MatchCollection> matches = regexp.Execute(text);
    QVERIFY2(matches.ok(), qPrintable(matches.error().detail));
    QCOMPARE(matches.value().Count(), 2);
    QCOMPARE(matches.value().Item(0).FirstIndex, 0);
    QVERIFY(matches.value().Item(0).Value == QString(kRun, u'a'));
    QCOMPARE(matches.value().Item(1).FirstIndex, kRun + 1);
    QCOMPARE(matches.value().Item(1).Value, QStringLiteral("bcd"));
}

QTEST_APPLESS_MAIN(tst_Pattern)
#include "tst_pattern.moc"
