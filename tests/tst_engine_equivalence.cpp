// The indexed finder against the pattern search it replaces and against its
// text: over random and Italian-like sources, every combination of the
// preparation options and every order, generators driven by the same random
// values write the same text, character for character, whichever finder
// answers, and every index holds every position in its context's group
// (whole_index_check.h).

#include "corpus.h"
#include "engine.h"
#include "indexed_finder.h"
#include "option_bits.h"
#include "prepare_source_text.h"
#include "side_by_side.h"
#include "whole_index_check.h" // the index, its tuning, InStrides and LargeArray

#include <QSet>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <stdexcept>
#include <thread>

namespace {

// Armed, the first array of at least g_cancelAtBytes cancels g_cancelAt; it is
// filled with a pattern, so that how much of it is left untouched shows when it is freed.
size_t g_cancelAtBytes = 0, g_watchedBytes = 0, g_untouchedBytes = 0;
std::atomic<Cancellation *> g_cancelAt{nullptr};
std::atomic<void *> g_watched{nullptr};

const QString kSurrogatePair = QString(QChar(char16_t(0xD83D))) + QChar(char16_t(0xDE00));
// What random sources are made of: the fourteen metacharacters, line breaks
// and blanks, digits, ASCII letters, accented letters (not word characters),
// NUL, and both halves of a surrogate pair, which also appear alone.
const QString kAlphabet =
    QStringLiteral("\\^$*+?.|{}[]()\r\n \t0123456789abcxyzABCXYZ_àèéìòùÀÈçó") + QChar(u'\0') +
    kSurrogatePair;

// Text drawn from a random subset of the alphabet: a small subset gives long
// lists of occurrences and long words, a large one gives many dead ends.
QString randomText(std::mt19937_64 &random, qsizetype length)
{
    QString letters;
    for (qsizetype i = 0, subset = 2 + qsizetype(random() % 30); i < subset; ++i)
        letters += kAlphabet[qsizetype(random() % quint64(kAlphabet.size()))];
    QString text;
    while (text.size() < length) {
        if (random() % 50 == 0)
            text += kSurrogatePair;
        else if (random() % 40 == 0)
            text += QStringLiteral("\r\n");
        else
            text += letters[qsizetype(random() % quint64(letters.size()))];
    }
    return text;
}

// Words over `letters` code units (Latin, Greek, Cyrillic and more),
// repeated so that long contexts recur: with some six hundred, too many
// distinct characters for a long context to be packed into 64 bits.
QString wideAlphabetText(std::mt19937_64 &random, qsizetype length, int letters = 600)
{
    QStringList words;
    for (int w = 0; w < 60; ++w) {
        QString word;
        for (int i = 0, size = 3 + int(random() % 8); i < size; ++i)
            word += QChar(char16_t(0x100 + random() % quint64(letters)));
        words << word;
    }
    QString text;
    while (text.size() < length)
        text += words[qsizetype(random() % quint64(words.size()))] + QChar(u' ');
    return text;
}

// Every 16-bit code unit once, in order, then prose: no rank is left for a
// code unit the text lacks.
QString everyCodeUnitText()
{
    QString text(0x10000, QChar());
    for (int c = 0; c < 0x10000; ++c)
        text[c] = QChar(char16_t(c));
    return text + ItalianLikeText(5000, 5, 60);
}

} // namespace

void *operator new[](size_t size)
{
    void *memory = std::malloc(size ? size : 1);
    if (Cancellation *cancel =
            memory && size >= g_cancelAtBytes ? g_cancelAt.exchange(nullptr) : nullptr) {
        std::memset(memory, 0xA5, g_watchedBytes = size);
        g_watched = memory;
        cancel->cancel();
    }
    return memory ? memory : throw std::bad_alloc();
}
void operator delete[](void *memory) noexcept
{
    const auto *bytes = static_cast<const unsigned char *>(memory);
    if (memory && memory == g_watched.load()) {
        g_untouchedBytes = size_t(std::count(bytes, bytes + g_watchedBytes, 0xA5));
        g_watched = nullptr;
    }
    std::free(memory);
}
void operator delete[](void *memory, size_t) noexcept
{
    operator delete[](memory);
}

class TestEngineEquivalence : public QObject {
    Q_OBJECT
private slots:
    void generatorsWriteTheSameText_data();
    void generatorsWriteTheSameText();
    void everyWayOfBuildingHoldsEveryPosition_data();
    void everyWayOfBuildingHoldsEveryPosition();
    void oneContextInMostPositions();
    void aStopEndsTheWorkWhereItIsSeen();
    void oneSideFailingStopsTheOther();
    void indexAnswersOnlyForItsContextLength();
};

// The awkward sources by construction, random and Italian-like ones of a few
// hundred to a few thousand characters, and one of the size the program is
// meant for, scaled down so the pattern search stays quick: three option sets
// (bits of `optionSets`), fewer pieces.
void TestEngineEquivalence::generatorsWriteTheSameText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint32>("optionSets");
    QTest::addColumn<int>("pieces");
    const auto row = [](const char *name, const QString &text) {
        QTest::newRow(name) << text << ~quint32(0) << 1000;
    };
    row("empty", QString());
    row("one character", QStringLiteral("a"));
    row("shorter than most contexts", QStringLiteral("a(b\r"));
    row("one repeated letter", QString(300, QChar(u'a')));
    row("no word of nine characters",
        QStringLiteral("La casa è di un re, ma il re non c'è.\r\n").repeated(20));
    row("metacharacters only",
        QStringLiteral("\\^$*+?.|{}[]()").repeated(7) + QStringLiteral("...(((\\\\)))..."));
    row("lone LFs and CRs", QStringLiteral("ab\nab\rab\n\nab \n ab\r\rab\n"));
    std::mt19937_64 random(20240601);
    for (const char *name :
         {"random 1", "random 2", "random 3", "random 4", "random 5", "random 6"})
        row(name, randomText(random, 200 + qsizetype(random() % 1300)));
    row("wide alphabet", wideAlphabetText(random, 1500));
    QTest::newRow("every 16-bit code unit")
        << everyCodeUnitText() << quint32(1u << 0 | 1u << 31) << 100;
    row("Italian-like 1", ItalianLikeText(2500, 1, 40));
    row("Italian-like 2", ItalianLikeText(1200, 2, 30));
    QTest::newRow("Italian-like, long")
        << ItalianLikeText(50'000, 3, 300) << quint32(1u << 0 | 1u << 2 | 1u << 31) << 300;
}

void TestEngineEquivalence::generatorsWriteTheSameText()
{
    QFETCH(QString, text);
    QFETCH(quint32, optionSets);
    QFETCH(int, pieces);
    // Option sets often prepare to the same text; each distinct prepared text
    // and separator is run once.
    QSet<QString> done;
    for (unsigned bits = 0; bits < 32; ++bits) {
        const PreparationOptions options = OptionsFromBits(bits);
        const Result<QString> prepared = PrepareSourceText(text, options);
        QVERIFY2(prepared.ok(), qPrintable(prepared.error().detail));
        const QString key = SeparatorFor(options) + prepared.value();
        if (!(optionSets >> bits & 1) || done.contains(key))
            continue;
        done.insert(key);
        for (int order = 1; order <= 10; ++order) {
            const std::uint64_t seed = 1000 * bits + order;
            Result<GenerationRun> reference =
                StartGeneration(text, options, order, Engine::Reference, seed);
            Result<GenerationRun> indexed =
                StartGeneration(text, options, order, Engine::Indexed, seed);
            QVERIFY(reference.ok() && indexed.ok());
            reference.value().pattern().setJitEnabled(order % 2 == 0); // both modes by turns
            ChainGenerator &expected = *reference.value().generator;
            ChainGenerator &actual = *indexed.value().generator;
            QString context = expected.context();
            bool same = context == actual.context();
            int piece = 0;
            while (same && piece++ < pieces) {
                context = expected.context();
                const Result<QString> a = expected.NextPiece(), b = actual.NextPiece();
                same = a && b && a.value() == b.value();
            }
            // The context as its UTF-16 bytes in hex, lone surrogates and NUL included.
            const QByteArray units(reinterpret_cast<const char *>(context.utf16()),
                                   context.size() * 2);
            QVERIFY2(same,
                     qPrintable(QString::asprintf("options %u, order %d, piece %d after [%s]", bits,
                                                  order, piece, units.toHex(' ').data())));
            if (OccurrenceFinder *index = indexed.value().work.index->finder.get())
                QCOMPARE(WholeIndexCheck::faultOf(*index), QString());
        }
    }
}

// Every way of building the index, each reached on a text of a few thousand
// characters by shrinking the index's tuning, holds every position where it
// belongs. `shape` names what the row must reach: P partitions (else one
// table), R partitions regrown, C keys that collide, W followers read from the
// text.
void TestEngineEquivalence::everyWayOfBuildingHoldsEveryPosition_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("fewContexts");
    QTest::addColumn<int>("keyBits");
    QTest::addColumn<double>("spread");
    QTest::addColumn<QString>("shape");
    std::mt19937_64 random(20240602);
    const QString italian = ItalianLikeText(4000, 4, 40);
    const QString wide = wideAlphabetText(random, 3000);
    QTest::newRow("one table") << italian << 1 << 8192 << 64 << 6.0 << "";
    QTest::newRow("partitions") << italian << 5 << 16 << 64 << 6.0 << "P";
    QTest::newRow("partitions fuller than planned") << italian << 5 << 16 << 64 << 0.0 << "PR";
    QTest::newRow("random text in partitions")
        << randomText(random, 3000) << 4 << 16 << 64 << 6.0 << "P";
    QTest::newRow("alphabet over 255 characters") << wide << 3 << 16 << 64 << 6.0 << "PW";
    QTest::newRow("alphabet of 128 to 255 characters, keys of exactly 64 bits")
        << wideAlphabetText(random, 3000, 180) << 8 << 16 << 64 << 6.0 << "P";
    QTest::newRow("keys wider than 64 bits") << wide << 9 << 16 << 64 << 6.0 << "PCW";
    QTest::newRow("keys wider than 64 bits, one table") << wide << 8 << 8192 << 64 << 6.0 << "CW";
    QTest::newRow("one context holds most positions")
        << QString(3000, QChar(u'a')) + italian.left(1000) << 4 << 16 << 64 << 6.0 << "P";
    QTest::newRow("keys collide, one table") << italian << 4 << 8192 << 3 << 6.0 << "C";
    QTest::newRow("keys collide, partitions") << italian << 4 << 16 << 3 << 6.0 << "PCR";
}

void TestEngineEquivalence::everyWayOfBuildingHoldsEveryPosition()
{
    QFETCH(QString, text);
    QFETCH(int, length);
    QFETCH(int, fewContexts);
    QFETCH(int, keyBits);
    QFETCH(double, spread);
    QFETCH(QString, shape);
    const IndexTuning tuning{.fewContexts = size_t(fewContexts),
                             .contextsPerPartition = 16,
                             .positionsPerPartition = 64,
                             .spread = spread,
                             .keyBits = keyBits,
                             .readAhead = 2,
                             .cancellationStride = 7};
    IndexShape built;
    Result<std::unique_ptr<OccurrenceFinder>> index =
        MakeIndexedFinder(text, length, nullptr, tuning, &built);
    QVERIFY2(index.ok(), qPrintable(index.error().detail));
    QCOMPARE(built.partitions > 1, shape.contains(u'P'));
    QCOMPARE(built.regrowths > 0, shape.contains(u'R'));
    QCOMPARE(built.exactKeys, !shape.contains(u'C'));
    QCOMPARE(built.followingKept, !shape.contains(u'W'));
    QCOMPARE(WholeIndexCheck::faultOf(*index.value()), QString());
}

// A text where one context holds most positions, in partitions (contexts of 4
// and 9 characters). The memory
// check is asked for at least every position with its follower's rank and,
// while two threads reorder partitions, for this one's working arrays (key,
// slot, position, follower's rank) for every position. The home slots of one
// partition's hashes spread over its table. A cancel that arrives as that partition begins (as its
// working arrays are made) stops it within a stride, not once it is done.
void TestEngineEquivalence::oneContextInMostPositions()
{
    const QString text = QString(200'000, QChar(u'a')) + ItalianLikeText(5000, 7, 400);
    const IndexTuning tuning{
        .fewContexts = 16, .contextsPerPartition = 1000, .cancellationStride = 64};
    IndexShape built;
    Result<std::unique_ptr<OccurrenceFinder>> index =
        MakeIndexedFinder(text, 4, nullptr, tuning, &built);
    QCOMPARE(WholeIndexCheck::faultOf(*index.value()), QString());
    const auto positions = text.size() - 4 - text.mid(4).count(u'\n');
    const size_t kept = sizeof(SourcePosition) + sizeof(FollowerRank),
                 work = sizeof(std::uint64_t) + sizeof(std::uint32_t) + kept;
    QVERIFY(built.partitions > 1 && built.followingKept);
    QVERIFY2(built.checkedBytes >= positions * std::int64_t(kept + work),
             qPrintable(QString::number(built.checkedBytes)));
    std::set<size_t> homes;
    for (std::uint64_t h = 0; h < 1000; ++h)
        homes.insert(Partitioning{8}.probe(std::uint64_t(0xAB) << 56 | MixBits(h) >> 8, 1000,
                                           [](size_t) { return true; }));
    QVERIFY2(homes.size() > 500, qPrintable(QString::number(homes.size())));

    Cancellation cancel;
    g_cancelAtBytes = 200'000 * sizeof(std::uint64_t);
    g_cancelAt = &cancel;
    const auto asked = [&cancel](qint64) { return cancel.cancelled(); };
    QVERIFY(!MakeIndexedFinder(text, 9, asked, tuning).ok() && cancel.cancelled());
    QVERIFY2(
        !g_watched && g_untouchedBytes > g_watchedBytes / 100 * 99,
        qPrintable(QStringLiteral("%1 of %2 bytes").arg(g_untouchedBytes).arg(g_watchedBytes)));
}

// A stop asked at the k-th look ends the work there: a strided pass after k - 1
// strides, the fault-in of an array after k - 1 pages, and a build of the
// index (in one table, or in partitions counted again) at whichever look of
// whichever pass it comes, each side looking at most twice more. A preparation
// whose result nobody wants any more gives up with an Error.
void TestEngineEquivalence::aStopEndsTheWorkWhereItIsSeen()
{
    Cancellation cancel; // a preparation cancelled before it starts gives up
    cancel.cancel();
    QVERIFY(!PrepareSourceText(kAlphabet, PreparationOptions(), &cancel).ok());
    int looks = 0, k = 4, done = 0;
    const auto lookAt = [&](qint64 = 0) { return ++looks >= k; };
    QVERIFY(!InStrides(0, 1000, 10, lookAt, [&](qsizetype) { return ++done; }));
    QCOMPARE(done, 30);
    const size_t bytes = 16 * 4096;
    LargeArray<char> array(bytes);
    std::fill_n(array.data(), bytes, 1); // each page's first byte turns 0 as it is faulted in
    looks = 0;
    QVERIFY(!array.faultIn(bytes, lookAt));
    QCOMPARE(std::count(array.data(), array.data() + bytes, 0), 3);

    const QString text = ItalianLikeText(3000, 8, 40);
    for (const size_t fewContexts : {8'192, 16}) {
        const IndexTuning tuning{.fewContexts = fewContexts,
                                 .contextsPerPartition = 16,
                                 .positionsPerPartition = 64,
                                 .spread = 0,
                                 .cancellationStride = 16};
        // Either way of building tells of its work as it goes, and of all of
        // it by the end: at least half of it before the last look.
        std::atomic<int> seen{0};
        std::atomic<qint64> told{0}, last{0};
        const auto countLooks = [&](qint64 units) {
            told += units;
            last = units;
            return !++seen;
        };
        QVERIFY(MakeIndexedFinder(text, 4, countLooks, tuning).ok());
        QVERIFY(told >= ContextIndex::Work(text) && 2 * last <= ContextIndex::Work(text));
        const int all = seen;
        for (k = 1; k <= all; ++k) {
            seen = 0;
            // Past the bound the stop throws: a pass that never ended would hang.
            const auto stopAt = [&](qint64) {
                const int look = ++seen;
                return look > k + 16 ? throw std::bad_alloc() : look >= k;
            };
            if (MakeIndexedFinder(text, 4, stopAt, tuning).ok() || seen > k + 4)
                QFAIL(qPrintable(
                    QStringLiteral("stop at look %1 of %2: %3 looks").arg(k).arg(all).arg(seen)));
        }
    }
}

// Passes run side by side: an exception from either reaches the caller, and
// a side that fails ends the other, which would otherwise work on (here:
// until it sees the stop, ten seconds at most).
void TestEngineEquivalence::oneSideFailingStopsTheOther()
{
    std::atomic<bool> stop{false};
    bool sawStop = false;
    const auto works = [&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!stop && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        return sawStop = stop;
    };
    const auto throws = []() -> bool { throw std::runtime_error("side"); };
    QVERIFY(!RunSideBySide(
                stop, [] { return false; }, works) &&
            sawStop);
    stop = sawStop = false;
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, RunSideBySide(stop, works, throws));
    QVERIFY(sawStop);
    stop = sawStop = false;
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, RunSideBySide(stop, throws, works));
    QVERIFY(sawStop);
}

// Questions the generator never asks get an error, not a wrong answer: a
// context of another length than the index was built for, and an index for
// a context length without one.
void TestEngineEquivalence::indexAnswersOnlyForItsContextLength()
{
    const QString source = QStringLiteral("abcabcabc");
    Result<std::unique_ptr<OccurrenceFinder>> three = MakeIndexedFinder(source, 3);
    QVERIFY(three.ok() && three.value()->occurrences(u"abc").ok());
    QVERIFY(!three.value()->occurrences(u"ab").ok() && !three.value()->occurrences(u"abca").ok());
    QVERIFY(!MakeIndexedFinder(source, 0).ok() && !MakeIndexedFinder(source, 10).ok());
}

QTEST_GUILESS_MAIN(TestEngineEquivalence)
#include "tst_engine_equivalence.moc"
