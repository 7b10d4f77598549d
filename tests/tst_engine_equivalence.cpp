// The indexed finder against the pattern search it replaces: over random and
// Italian-like sources, every combination of the preparation options and
// every order, both finders give the same positions, and generators driven by
// the same random values write the same text, character for character.

#include "chain_generator.h"
#include "corpus.h"
#include "engine.h"
#include "indexed_finder.h"
#include "prepare_source_text.h"
#include "reference_finder.h"
#include "regexp.h"

#include <QSet>
#include <QTest>

#include <random>
#include <vector>

namespace {

// What random sources are made of: the fourteen metacharacters, line breaks
// and blanks, digits, ASCII letters, accented letters (not word characters),
// NUL, and both halves of a surrogate pair, which also appear alone.
const QString kAlphabet = QStringLiteral("\\^$*+?.|{}[]()") + QStringLiteral("\r\n \t") +
                          QStringLiteral("0123456789abcxyzABCXYZ_") +
                          QStringLiteral("àèéìòùÀÈçó") + QChar(u'\0') + QChar(char16_t(0xD83D)) +
                          QChar(char16_t(0xDE00));
const QString kSurrogatePair = QString(QChar(char16_t(0xD83D))) + QChar(char16_t(0xDE00));

// Text drawn from a random subset of the alphabet: a small subset gives long
// lists of occurrences and long words, a large one gives many dead ends.
QString randomText(std::mt19937_64 &random, qsizetype length)
{
    QString letters;
    const qsizetype subset = 2 + qsizetype(random() % 30);
    for (qsizetype i = 0; i < subset; ++i)
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

// Words over some six hundred code units (Latin, Greek, Cyrillic and more),
// repeated so that long contexts recur: too many distinct characters for a
// long context to be packed into 64 bits.
QString wideAlphabetText(std::mt19937_64 &random, qsizetype length)
{
    QStringList words;
    for (int w = 0; w < 60; ++w) {
        QString word;
        for (int i = 0, size = 3 + int(random() % 8); i < size; ++i)
            word += QChar(char16_t(0x100 + random() % 600));
        words << word;
    }
    QString text;
    while (text.size() < length)
        text += words[qsizetype(random() % quint64(words.size()))] + QChar(u' ');
    return text;
}

struct Source {
    const char *name;
    QString text;
};

// The sources every property runs on: the awkward ones by construction, then
// random and Italian-like ones of a few hundred to a few thousand characters.
std::vector<Source> sources()
{
    std::vector<Source> all = {
        {"empty", QString()},
        {"one character", QStringLiteral("a")},
        {"shorter than most contexts", QStringLiteral("a(b\r")},
        {"one repeated letter", QString(300, QChar(u'a'))},
        {"no word of nine characters",
         QStringLiteral("La casa è di un re, ma il re non c'è.\r\n").repeated(20)},
        {"metacharacters only", QStringLiteral("\\^$*+?.|{}[]()").repeated(7) +
                                    QStringLiteral("...(((\\\\)))...")},
        {"lone LFs and CRs", QStringLiteral("ab\nab\rab\n\nab \n ab\r\rab\n")},
    };
    std::mt19937_64 random(20240601);
    static const char *const randomNames[] = {"random 1", "random 2", "random 3",
                                              "random 4", "random 5", "random 6"};
    for (const char *name : randomNames)
        all.push_back({name, randomText(random, 200 + qsizetype(random() % 1300))});
    all.push_back({"wide alphabet", wideAlphabetText(random, 1500)});
    all.push_back({"Italian-like 1", ItalianLikeText(2500, 1)});
    all.push_back({"Italian-like 2", ItalianLikeText(1200, 2)});
    return all;
}

PreparationOptions optionsFromBits(int bits)
{
    PreparationOptions options;
    options.ignoreDigits = bits & 1;
    options.ignoreLineBreaks = bits & 2;
    options.ignorePunctuation = bits & 4;
    options.lowerCase = bits & 8;
    options.keepMultipleSpaces = bits & 16;
    return options;
}

// Characters shown one by one as hexadecimal code units, for failure messages.
QString codeUnits(QStringView text)
{
    QStringList units;
    for (QChar c : text)
        units << QString::number(c.unicode(), 16);
    return units.join(u' ');
}

std::vector<SourcePosition> answer(const Result<std::span<const SourcePosition>> &result,
                                   const char *who, QString &failure)
{
    if (!result) {
        failure += QStringLiteral("%1 failed: %2; ").arg(QLatin1String(who), result.error().detail);
        return {};
    }
    return {result.value().begin(), result.value().end()};
}

// Compares both finders on one question; returns what differs, or nothing.
QString compareOccurrences(OccurrenceFinder &reference, OccurrenceFinder &indexed,
                           QStringView context)
{
    QString failure;
    const std::vector<SourcePosition> expected =
        answer(reference.occurrences(context), "reference", failure);
    const std::vector<SourcePosition> actual =
        answer(indexed.occurrences(context), "indexed", failure);
    if (failure.isEmpty() && expected != actual)
        failure = QStringLiteral("%1 positions instead of %2")
                      .arg(actual.size())
                      .arg(expected.size());
    if (!failure.isEmpty())
        failure += QStringLiteral(" for the context [%1]").arg(codeUnits(context));
    return failure;
}

// Both finders on one source and context length: the seed words, every
// context the source holds (a sample of them on long sources), and contexts
// it lacks. Returns the first difference, or nothing.
QString compareFinders(const QString &source, int contextLength, std::mt19937_64 &random,
                       qsizetype maxContexts)
{
    RegExp pattern;
    pattern.setGlobal(true);
    pattern.setMultiline(true);
    ReferenceFinder reference(source, contextLength, pattern);
    Result<std::unique_ptr<OccurrenceFinder>> made = MakeIndexedFinder(source, contextLength);
    if (!made)
        return QStringLiteral("no index: ") + made.error().detail;
    OccurrenceFinder &indexed = *made.value();

    QString failure;
    const std::vector<SourcePosition> expectedWords =
        answer(reference.seedWordStarts(), "reference", failure);
    const std::vector<SourcePosition> actualWords =
        answer(indexed.seedWordStarts(), "indexed", failure);
    if (!failure.isEmpty())
        return failure;
    if (expectedWords != actualWords)
        return QStringLiteral("%1 seed words instead of %2")
            .arg(actualWords.size())
            .arg(expectedWords.size());

    QStringList contexts;
    if (source.size() <= contextLength) {
        // The generator then asks about the whole source; any prefix is a
        // question the index can still be asked.
        for (qsizetype length = 0; length <= source.size(); ++length)
            contexts << source.left(length);
    } else {
        QSet<QString> present;
        for (qsizetype p = 0; p + contextLength <= source.size(); ++p)
            present.insert(source.mid(p, contextLength));
        contexts = present.values();
        std::sort(contexts.begin(), contexts.end());
        std::shuffle(contexts.begin(), contexts.end(), random);
        if (contexts.size() > maxContexts)
            contexts.resize(maxContexts);
        for (int i = 0; i < 20; ++i) // mostly absent
            contexts << randomText(random, contextLength).left(contextLength);
        contexts << QString(contextLength, QChar(u'\n'));
        contexts << QString(contextLength, QChar(char16_t(0x263A))); // never in any source
    }
    for (const QString &context : std::as_const(contexts)) {
        failure = compareOccurrences(reference, indexed, context);
        if (!failure.isEmpty())
            return failure;
    }
    return QString();
}

// Two generators over one prepared source, one per finder, driven by equal
// random sources: the seed context and `pieces` pieces must be identical.
// Returns the first difference, or nothing.
QString compareGenerators(const QString &prepared, QChar separator, int order,
                          std::uint64_t seed, int pieces)
{
    const int contextLength = order - 1;
    RegExp pattern;
    pattern.setGlobal(true);
    pattern.setMultiline(true);
    Result<std::unique_ptr<OccurrenceFinder>> referenceFinder =
        MakeFinder(Engine::Reference, prepared, contextLength, pattern);
    Result<std::unique_ptr<OccurrenceFinder>> indexedFinder =
        MakeIndexedFinder(prepared, contextLength);
    if (!referenceFinder || !indexedFinder)
        return QStringLiteral("no finder");
    RandomSource referenceRandom(seed);
    RandomSource indexedRandom(seed);
    ChainGenerator reference(prepared, contextLength, separator,
                             std::move(referenceFinder).value(), referenceRandom);
    ChainGenerator indexed(prepared, contextLength, separator, std::move(indexedFinder).value(),
                           indexedRandom);

    auto differs = [](const Result<QString> &expected, const Result<QString> &actual,
                      int piece) -> QString {
        if (!expected)
            return QStringLiteral("reference failed at piece %1: %2")
                .arg(piece)
                .arg(expected.error().detail);
        if (!actual)
            return QStringLiteral("indexed failed at piece %1: %2")
                .arg(piece)
                .arg(actual.error().detail);
        if (expected.value() != actual.value())
            return QStringLiteral("piece %1 is [%2] instead of [%3]")
                .arg(piece)
                .arg(codeUnits(actual.value()), codeUnits(expected.value()));
        return QString();
    };

    if (contextLength > 0) {
        const QString failure = differs(reference.SeedContext(), indexed.SeedContext(), 0);
        if (!failure.isEmpty())
            return failure;
    }
    for (int piece = 1; piece <= pieces; ++piece) {
        const QString failure = differs(reference.NextPiece(), indexed.NextPiece(), piece);
        if (!failure.isEmpty())
            return failure + QStringLiteral(" after the context [%1]")
                                 .arg(codeUnits(reference.context()));
    }
    return QString();
}

} // namespace

class EngineEquivalenceTest : public QObject {
    Q_OBJECT
private slots:
    void sources_data();

    void findersGiveTheSamePositions_data() { sources_data(); }
    void findersGiveTheSamePositions();
    void generatorsWriteTheSameText_data() { sources_data(); }
    void generatorsWriteTheSameText();
    void longItalianLikeSource();

    void indexAnswersOnlyForItsContextLength();
};

void EngineEquivalenceTest::sources_data()
{
    QTest::addColumn<QString>("text");
    for (const Source &source : sources())
        QTest::newRow(source.name) << source.text;
}

// On the sources as they are, before any preparation, so that LF, NUL and
// every other character can stand anywhere in a context.
void EngineEquivalenceTest::findersGiveTheSamePositions()
{
    QFETCH(QString, text);
    std::mt19937_64 random(qHash(text));
    for (int contextLength = 1; contextLength <= 9; ++contextLength) {
        const QString failure = compareFinders(text, contextLength, random, 250);
        QVERIFY2(failure.isEmpty(),
                 qPrintable(QStringLiteral("context length %1: %2").arg(contextLength).arg(failure)));
    }
}

void EngineEquivalenceTest::generatorsWriteTheSameText()
{
    QFETCH(QString, text);
    // Several option sets often prepare to the same text; each distinct
    // prepared text and separator is run once.
    QSet<QString> done;
    for (int bits = 0; bits < 32; ++bits) {
        const PreparationOptions options = optionsFromBits(bits);
        Result<QString> prepared = PrepareSourceText(text, options);
        QVERIFY2(prepared.ok(), qPrintable(prepared.error().detail));
        const QChar separator = SeparatorFor(options);
        const QString key = separator + prepared.value();
        if (done.contains(key))
            continue;
        done.insert(key);
        for (int order = 1; order <= 10; ++order) {
            const QString failure =
                compareGenerators(prepared.value(), separator, order, 1000 * bits + order, 1500);
            QVERIFY2(failure.isEmpty(), qPrintable(QStringLiteral("options %1, order %2: %3")
                                                       .arg(bits)
                                                       .arg(order)
                                                       .arg(failure)));
        }
    }
}

// A source of the size the program is meant for, scaled down so the pattern
// search stays quick: fewer pieces, a sample of the contexts.
void EngineEquivalenceTest::longItalianLikeSource()
{
    const QString content = ItalianLikeText(50'000, 3);
    std::mt19937_64 random(3);
    for (int bits : {0, 2, 31}) {
        const PreparationOptions options = optionsFromBits(bits);
        Result<QString> prepared = PrepareSourceText(content, options);
        QVERIFY(prepared.ok());
        for (int order = 1; order <= 10; ++order) {
            QString failure =
                compareGenerators(prepared.value(), SeparatorFor(options), order, order, 300);
            if (failure.isEmpty() && order > 1)
                failure = compareFinders(prepared.value(), order - 1, random, 30);
            QVERIFY2(failure.isEmpty(), qPrintable(QStringLiteral("options %1, order %2: %3")
                                                       .arg(bits)
                                                       .arg(order)
                                                       .arg(failure)));
        }
    }
}

// Questions the generator never asks get an error, not a wrong answer: a
// context of another length than the index was built for (on a source long
// enough to hold one), and any question at context length 0.
void EngineEquivalenceTest::indexAnswersOnlyForItsContextLength()
{
    const QString source = QStringLiteral("abcabcabc");
    Result<std::unique_ptr<OccurrenceFinder>> three = MakeIndexedFinder(source, 3);
    QVERIFY(three.ok());
    QVERIFY(three.value()->occurrences(u"abc").ok());
    QVERIFY(!three.value()->occurrences(u"ab").ok());
    QVERIFY(!three.value()->occurrences(u"abca").ok());

    Result<std::unique_ptr<OccurrenceFinder>> zero = MakeIndexedFinder(source, 0);
    QVERIFY(zero.ok());
    QVERIFY(!zero.value()->occurrences(u"").ok());
    QVERIFY(!zero.value()->seedWordStarts().ok());

    QVERIFY(!MakeIndexedFinder(source, 10).ok());
    QVERIFY(!MakeIndexedFinder(source, -1).ok());
}

QTEST_GUILESS_MAIN(EngineEquivalenceTest)
#include "tst_engine_equivalence.moc"
