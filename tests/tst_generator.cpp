// The chain generator over both occurrence finders: seeds, steps, dead ends
// and the odd contexts, with seeded random values so every piece is exact.

#include "chain_generator.h"
#include "engine.h"
#include "reference_finder.h"
#include "regexp.h"

#include <QTest>

#include <map>

Q_DECLARE_METATYPE(Engine)

namespace {

// A generator over `source` as it stands (no preparation), for one engine.
struct Harness {
    Harness(Engine engine, const QString &text, int contextLength, QChar separator = u'\r',
            std::uint64_t seed = 7)
        : source(text), random(seed)
    {
        pattern.setGlobal(true);
        pattern.setMultiline(true);
        Result<std::unique_ptr<OccurrenceFinder>> made =
            MakeFinder(engine, source, contextLength, pattern);
        if (!made)
            qFatal("no finder: %s", qPrintable(made.error().detail));
        finder = made.value().get();
        generator = std::make_unique<ChainGenerator>(source, contextLength, separator,
                                                     std::move(made).value(), random);
    }

    std::vector<SourcePosition> occurrences(const QString &context)
    {
        Result<std::span<const SourcePosition>> found = finder->occurrences(context);
        if (!found)
            qFatal("occurrences failed: %s", qPrintable(found.error().detail));
        return {found.value().begin(), found.value().end()};
    }

    std::vector<SourcePosition> seedWords()
    {
        Result<std::span<const SourcePosition>> found = finder->seedWordStarts();
        if (!found)
            qFatal("seed words failed: %s", qPrintable(found.error().detail));
        return {found.value().begin(), found.value().end()};
    }

    QString seed() { return generator->SeedContext().value(); }
    QString next() { return generator->NextPiece().value(); }
    QString pieces(int count)
    {
        QString out;
        for (int i = 0; i < count; ++i)
            out += next();
        return out;
    }

    QString source;
    RegExp pattern;
    RandomSource random;
    OccurrenceFinder *finder = nullptr;
    std::unique_ptr<ChainGenerator> generator;
};

using Positions = std::vector<SourcePosition>;

void addEngineRows(const char *name)
{
    QTest::newRow(qPrintable(QStringLiteral("%1, reference").arg(QLatin1String(name))))
        << Engine::Reference;
    QTest::newRow(qPrintable(QStringLiteral("%1, indexed").arg(QLatin1String(name))))
        << Engine::Indexed;
}

} // namespace

class GeneratorTest : public QObject {
    Q_OBJECT
private slots:
    void engines_data();

    void occurrences_data() { engines_data(); }
    void occurrences();
    void seedWords_data() { engines_data(); }
    void seedWords();
    void deadEndsRestartFromTheStart_data() { engines_data(); }
    void deadEndsRestartFromTheStart();
    void shortSources_data() { engines_data(); }
    void shortSources();
    void choicesFollowTheSourceFrequencies_data() { engines_data(); }
    void choicesFollowTheSourceFrequencies();
    void lineFeedIsNeverChosen_data() { engines_data(); }
    void lineFeedIsNeverChosen();

    void occurrencePatternEscapesTheContext_data();
    void occurrencePatternEscapesTheContext();
};

void GeneratorTest::engines_data()
{
    QTest::addColumn<Engine>("engine");
    addEngineRows("engine");
}

void GeneratorTest::occurrences()
{
    QFETCH(Engine, engine);
    {
        // Overlapping occurrences all count: choices a, a and b.
        Harness h(engine, QStringLiteral("aaaab"), 2);
        QCOMPARE(h.occurrences(QStringLiteral("aa")), (Positions{0, 1, 2}));
    }
    {
        // Metacharacters are matched literally.
        Harness h(engine, QStringLiteral("a...b...c.."), 3);
        QCOMPARE(h.occurrences(QStringLiteral("...")), (Positions{1, 5}));
        QCOMPARE(h.occurrences(QStringLiteral(".b.")), (Positions{3}));
    }
    {
        // A context that starts with a metacharacter (a two-character head).
        Harness h(engine, QStringLiteral("x(abc(abd\\$q\\$"), 3);
        QCOMPARE(h.occurrences(QStringLiteral("(ab")), (Positions{1, 5}));
        QCOMPARE(h.occurrences(QStringLiteral("\\$q")), (Positions{9}));
        QCOMPARE(h.occurrences(QStringLiteral("b\\$")), (Positions{}));
    }
    {
        // Case-sensitive; followed by LF or by nothing is no occurrence.
        Harness h(engine, QStringLiteral("Ab ab\nab"), 2);
        QCOMPARE(h.occurrences(QStringLiteral("Ab")), (Positions{0}));
        QCOMPARE(h.occurrences(QStringLiteral("ab")), (Positions{}));
        QCOMPARE(h.occurrences(QStringLiteral("b ")), (Positions{1}));
        QCOMPARE(h.occurrences(QStringLiteral("zz")), (Positions{}));
    }
    {
        // Line breaks, spaces and a lone surrogate inside the context.
        Harness h(engine, QStringLiteral("a\rb a\rc") + QChar(0xD800) + u'x', 2);
        QCOMPARE(h.occurrences(QStringLiteral("a\r")), (Positions{0, 4}));
        QCOMPARE(h.occurrences(QString(u'c') + QChar(0xD800)), (Positions{6}));
    }
}

void GeneratorTest::seedWords()
{
    QFETCH(Engine, engine);
    {
        Harness h(engine, QStringLiteral("uno due, tre À quattro a"), 3);
        QCOMPARE(h.seedWords(), (Positions{0, 4, 9, 15}));
    }
    {
        // An accented letter ends a word, so a seed may start inside one.
        Harness h(engine, QStringLiteral("caffèlatte"), 3);
        QCOMPARE(h.seedWords(), (Positions{0, 5}));
    }
    {
        // The seed is the first context-length characters of a word.
        Harness h(engine, QStringLiteral("Firenze, Roma"), 4);
        const QString seed = h.seed();
        QVERIFY2(seed == u"Fire" || seed == u"Roma", qPrintable(seed));
    }
    {
        // No word long enough: the seed is the start of the source.
        Harness h(engine, QStringLiteral("ab, cd ef"), 3);
        QCOMPARE(h.seedWords(), Positions{});
        QCOMPARE(h.seed(), QStringLiteral("ab,"));
    }
}

void GeneratorTest::deadEndsRestartFromTheStart()
{
    QFETCH(Engine, engine);
    // "yz" is the only seed word and occurs only at the very end.
    Harness h(engine, QStringLiteral("q.yz"), 2);
    QCOMPARE(h.seed(), QStringLiteral("yz"));
    QCOMPARE(h.next(), QStringLiteral("\rq."));
    QCOMPARE(h.pieces(3), QStringLiteral("yz\rq."));

    Harness spaced(engine, QStringLiteral("q.yz"), 2, u' ');
    spaced.seed();
    QCOMPARE(spaced.next(), QStringLiteral(" q."));
}

void GeneratorTest::shortSources()
{
    QFETCH(Engine, engine);
    {
        // Shorter than the context: the source repeated with separators.
        Harness h(engine, QStringLiteral("ab cd"), 9, u' ');
        QCOMPARE(h.seed(), QStringLiteral("ab cd"));
        QCOMPARE(h.pieces(2), QStringLiteral(" ab cd ab cd"));
    }
    {
        // Empty source: separators only, and nothing at order 1.
        Harness h(engine, QString(), 3);
        QCOMPARE(h.seed(), QString());
        QCOMPARE(h.pieces(3), QStringLiteral("\r\r\r"));
        Harness order1(engine, QString(), 0);
        QCOMPARE(order1.pieces(5), QString());
    }
    {
        // Order 1 on one repeated letter gives only that letter.
        Harness h(engine, QStringLiteral("xxxx"), 0);
        QCOMPARE(h.pieces(50), QString(50, u'x'));
    }
}

void GeneratorTest::choicesFollowTheSourceFrequencies()
{
    QFETCH(Engine, engine);
    // "AB" is followed once by B, twice by E, three times by R.
    Harness h(engine, QStringLiteral("ABB ABE ABE ABR ABR ABR"), 2);
    std::map<QChar, int> counts;
    const int draws = 60'000;
    for (int i = 0; i < draws; ++i) {
        h.generator->SeedContext(); // only "ABB" .. "ABR" are words: the context is "AB"
        QCOMPARE(h.generator->context(), QStringLiteral("AB"));
        ++counts[h.next().front()];
    }
    QCOMPARE(counts.size(), size_t(3));
    QVERIFY(qAbs(counts[u'B'] - draws / 6) < draws / 100);
    QVERIFY(qAbs(counts[u'E'] - 2 * draws / 6) < draws / 100);
    QVERIFY(qAbs(counts[u'R'] - 3 * draws / 6) < draws / 100);

    // Order 1 draws single characters with their frequencies, LF included.
    Harness single(engine, QStringLiteral("a\nbb"), 0);
    std::map<QChar, int> singles;
    for (int i = 0; i < 40'000; ++i)
        ++singles[single.next().front()];
    QVERIFY(qAbs(singles[u'b'] - 20'000) < 400);
    QVERIFY(qAbs(singles[u'\n'] - 10'000) < 400);
}

void GeneratorTest::lineFeedIsNeverChosen()
{
    QFETCH(Engine, engine);
    // Line breaks ignored, bare LFs kept: "b" before an LF is a dead end.
    Harness h(engine, QStringLiteral("ab\nab\nac"), 1, u' ');
    h.seed();
    const QString out = h.pieces(2000);
    QVERIFY(!out.contains(u'\n'));
    QVERIFY(out.contains(QStringLiteral("b a")));
}

void GeneratorTest::occurrencePatternEscapesTheContext_data()
{
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("pattern");
    QTest::newRow("plain letters") << "abc" << "a(?=bc.)";
    QTest::newRow("one character") << "a" << "a(?=.)";
    QTest::newRow("three periods") << "..." << "\\.(?=\\.\\..)";
    QTest::newRow("parenthesis first: two-character head") << "(ab" << "\\((?=ab.)";
    QTest::newRow("every metacharacter") << "\\^$*+?.|{}[]()"
                                         << "\\\\(?=\\^\\$\\*\\+\\?\\.\\|\\{\\}\\[\\]\\(\\).)";
    QTest::newRow("space, CR, hyphen unescaped") << " \r-" << " (?=\r-.)";
}

void GeneratorTest::occurrencePatternEscapesTheContext()
{
    QFETCH(QString, context);
    QFETCH(QString, pattern);
    RegExp regexp;
    regexp.setGlobal(true);
    QCOMPARE(OccurrencePattern(context, regexp).value(), pattern);
}

QTEST_APPLESS_MAIN(GeneratorTest)
#include "tst_generator.moc"
