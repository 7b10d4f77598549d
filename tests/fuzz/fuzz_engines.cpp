// Fuzzes the two occurrence finders against each other through the whole
// generator: the same seed must give the same pieces, and every window of
// order characters of generated text within one stretch (between restarts)
// must occur in the prepared source text. The run's index must hold every
// position of the text where it belongs (whole_index_check.h); every way of
// building one is held to that in the equivalence test.
//
// Input: one byte for the order (1..10), one whose low five bits are the
// options, eight bytes of seed, then the text, one character per byte from a
// small alphabet.

#include "../support/option_bits.h"
#include "../support/whole_index_check.h"
#include "engine.h"
#include "fuzz_support.h"

namespace {

// Letters, accented letters, digits, punctuation, every kind of white space
// and a lone surrogate: enough repeats for long contexts, enough variety for
// the preparation steps to matter.
const QString kAlphabet =
    QStringLiteral("aaeeiioonrstlcdmpu EIOà\u00e8\u00f9.,'!?-0719\r\n\r\n\t\f\v") +
    QChar(char16_t(0xD800)) + QChar(char16_t(0xDC00)) + QChar(u'\0') + QStringLiteral("  ");

void checkWindows(const QString &stretch, int order, const QString &source)
{
    for (qsizetype i = 0; i + order <= stretch.size(); ++i) {
        const QStringView window = QStringView(stretch).mid(i, order);
        Require(source.contains(window), "generated window occurs in the source", [&] {
            return Dump(window.toString()) + QStringLiteral("\nsource: ") + Dump(source);
        });
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzInput input(data, size);
    const int order = 1 + input.byte() % 10;
    const PreparationOptions options = OptionsFromBits(input.byte());
    const std::uint64_t seed = input.u64();
    const QString content = input.alphabetRest(kAlphabet, 1500);

    GenerationRun reference = Unwrap(
        StartGeneration(content, options, order, Engine::Reference, seed), "reference start");
    // Each step of the pattern search compiles a new pattern and searches a
    // short text once with it: the interpreter has answered before the JIT
    // has compiled.
    reference.pattern().setJitEnabled(false);
    GenerationRun indexed =
        Unwrap(StartGeneration(content, options, order, Engine::Indexed, seed), "indexed start");
    const QString seedContext = reference.generator->context();
    Require(seedContext == indexed.generator->context(), "same seed context", [&] {
        return Dump(seedContext) + QStringLiteral(" / ") + Dump(indexed.generator->context());
    });

    const QString &source = reference.source();
    const int contextLength = order - 1;
    const QChar separator = SeparatorFor(options);
    Require(seedContext.size() <= contextLength, "seed context not too long");

    QString stretch = seedContext;
    for (int step = 0; step < 200; ++step) {
        const QString a = Unwrap(reference.generator->NextPiece(), "reference piece");
        const QString b = Unwrap(indexed.generator->NextPiece(), "indexed piece");
        Require(a == b, "same piece from both finders", [&] {
            return QStringLiteral("step %1: %2 / %3\nsource: %4")
                .arg(step)
                .arg(Dump(a), Dump(b), Dump(source));
        });
        // A dead end (every piece, on a source no longer than the context):
        // the separator, then the context restarted from the source's start.
        if (contextLength > 0 && (source.size() <= contextLength || a.size() != 1)) {
            Require(a.size() == 1 + qMin<qsizetype>(contextLength, source.size()) &&
                        a[0] == separator && a.mid(1) == source.left(contextLength),
                    "a restart is the separator and the start of the source",
                    [&] { return Dump(a); });
            checkWindows(stretch, order, source);
            stretch = a.mid(1);
        } else {
            Require(a.size() == 1 || (a.isEmpty() && source.isEmpty()), "one character per piece",
                    [&] { return Dump(a); });
            stretch += a;
        }
    }
    checkWindows(stretch, order, source);
    if (OccurrenceFinder *index = indexed.work.index->finder.get()) {
        const QString fault = WholeIndexCheck::faultOf(*index);
        Require(fault.isEmpty(), "the run's index holds every position where it belongs", fault);
    }
    return 0;
}
