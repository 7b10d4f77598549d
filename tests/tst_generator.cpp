// The chain generator over both occurrence finders: seed words, seeds, dead ends, short sources and
// the choice frequencies, with seeded random values so every piece is exact.

#include "chain_generator.h"
#include "engine.h"
#include "regexp.h"

#include <QTest>

#include <map>

Q_DECLARE_METATYPE(Engine)

using namespace Qt::StringLiterals;

namespace {

using Positions = std::vector<SourcePosition>;

// A generator over `source` as it stands (no preparation), for one engine.
struct Harness {
    Harness(Engine engine, const QString &text, int contextLength, QChar separator = u'\r')
        : source(text)
    {
        pattern.setGlobal(true);
        pattern.setMultiline(true);
        Result<std::unique_ptr<OccurrenceFinder>> made =
            MakeFinder(engine, source, contextLength, pattern);
        if (!made)
            qFatal("no finder: %s", qPrintable(made.error().detail));
        finder = std::move(made).value();
        generator = std::make_unique<ChainGenerator>(source, contextLength, separator, finder.get(),
                                                     random);
    }

    QString pieces(int count)
    {
        QString out;
        for (int i = 0; i < count; ++i) {
            Result<QString> piece = generator->NextPiece();
            if (!piece)
                return out + u"<error: "_s + piece.error().detail + u'>';
            out += piece.value();
        }
        return out;
    }

    QString source;
    RegExp pattern;
    RandomSource random{7};
    std::unique_ptr<OccurrenceFinder> finder;
    std::unique_ptr<ChainGenerator> generator;
};

// The same row once per engine.
template <typename... Values> void addRows(const char *name, const Values &...values)
{
    for (Engine engine : {Engine::Reference, Engine::Indexed})
        ((QTest::addRow("%s, %s", name, engine == Engine::Reference ? "reference" : "indexed")
          << engine)
         << ... << values);
}

} // namespace

class TestGenerator : public QObject {
    Q_OBJECT
private slots:
    void seedWordStarts_data();
    void seedWordStarts();
    void pieces_data();
    void pieces();
    void choicesFollowTheSourceFrequencies();
};

// The starts of the seed words (three letters or more) the finders give. What
// they answer for a context is the whole-index check's part (every index the
// equivalence test builds), and the equivalence test's for the pattern search.
void TestGenerator::seedWordStarts_data()
{
    QTest::addColumn<Engine>("engine");
    QTest::addColumn<QString>("source");
    QTest::addColumn<Positions>("expected");
    addRows("three letters or more", u"uno due, tre À quattro a"_s, Positions{0, 4, 9, 15});
    addRows("an accented letter ends a word", u"caffèlatte"_s, Positions{0, 5});
}

void TestGenerator::seedWordStarts()
{
    QFETCH(Engine, engine);
    QFETCH(QString, source);
    QFETCH(Positions, expected);
    Harness h(engine, source, 3);
    const auto found = h.finder->seedWordStarts().value();
    QCOMPARE(Positions(found.begin(), found.end()), expected);
}

// The seed context (above order 1), then `count` pieces, on sources where
// every choice is forced.
void TestGenerator::pieces_data()
{
    QTest::addColumn<Engine>("engine");
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("contextLength");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("expected");

    const QChar cr(u'\r'), space(u' ');
    addRows("seed: the start of a long word", u"Firenze, Ro"_s, 4, cr, 0, u"Fire"_s);
    addRows("seed without long words: the source's start", u"ab, cd ef"_s, 3, cr, 0, u"ab,"_s);
    addRows("a dead end restarts from the start", u"q.yz"_s, 2, cr, 4, u"yz\rq.yz\rq."_s);
    addRows("a dead end with a space as separator", u"q.yz"_s, 2, space, 1, u"yz q."_s);
    addRows("shorter than the context: the source repeated", u"ab cd"_s, 9, space, 2,
            u"ab cd ab cd ab cd"_s);
    addRows("empty source: separators only", QString(), 3, cr, 3, u"\r\r\r"_s);
    addRows("empty source at order 1: nothing", QString(), 0, cr, 5, QString());
    addRows("order 1 on one letter: only that letter", u"xxxx"_s, 0, cr, 50, QString(50, u'x'));
}

void TestGenerator::pieces()
{
    QFETCH(Engine, engine);
    QFETCH(QString, source);
    QFETCH(int, contextLength);
    QFETCH(QChar, separator);
    QFETCH(int, count);
    QFETCH(QString, expected);
    Harness h(engine, source, contextLength, separator);
    QString out = contextLength > 0 ? h.generator->SeedContext().value() : QString();
    out += h.pieces(count);
    QCOMPARE(out, expected);
}

// On one engine: the equivalence test holds the other to the same text.
void TestGenerator::choicesFollowTheSourceFrequencies()
{
    const Engine engine = Engine::Indexed;
    // "AB" is followed once by B, twice by E, three times by R; every seed
    // word starts with "AB", so each draw starts from that context.
    Harness h(engine, u"ABB ABE ABE ABR ABR ABR"_s, 2);
    std::map<QChar, int> counts;
    const int draws = 60'000;
    for (int i = 0; i < draws; ++i) {
        QCOMPARE(h.generator->SeedContext().value(), u"AB"_s);
        ++counts[h.pieces(1).front()];
    }
    QCOMPARE(counts.size(), size_t(3));
    for (const auto &[letter, sixths] : {std::pair{u'B', 1}, {u'E', 2}, {u'R', 3}})
        QVERIFY(qAbs(counts[letter] - sixths * draws / 6) < draws / 100);

    // Order 1 draws single characters with their frequencies, LF included.
    const QString single = Harness(engine, u"a\nbb"_s, 0).pieces(40'000);
    QVERIFY(qAbs(single.count(u'b') - 20'000) < 400);
    QVERIFY(qAbs(single.count(u'\n') - 10'000) < 400);
}

QTEST_APPLESS_MAIN(TestGenerator)
#include "tst_generator.moc"
