// The pattern component over PCRE2's 16-bit library.
//
// Why these PCRE2 choices:
// - Non-UTF mode (and UTF/UCP forbidden even from inside a pattern): every
//   UTF-16 code unit is one character, as the generator counts them. A
//   context cut in the middle of a surrogate pair, or a file holding a lone
//   surrogate, is an ordinary text, never an invalid one.
// - No UCP: \w \d \s \b use PCRE2's built-in tables, which are ASCII only,
//   so accented letters are not word characters and \s is exactly space,
//   tab, LF, CR, FF and VT. For the same reason IgnoreCase folds ASCII
//   letters only (à and À stay distinct); the program itself matches
//   case-sensitively.
// - Newline is LF only: `.` matches CR and refuses LF, and in Multiline ^
//   and $ work at LF. Without Multiline $ means the very end of the text
//   (not also "before a final LF", PCRE2's default), and in Multiline ^ also
//   matches after a final LF: in this dialect a line break is a line break
//   wherever it stands.
// - \v: in PCRE2 it is the class of all vertical white space (LF, VT, FF, CR
//   and more), also inside [...]; in this dialect it is the vertical tab
//   alone. Left as is, "[ \f\t\v]+" would swallow line breaks, so the pattern
//   is rewritten before compiling (an escaped backslash followed by v stays
//   a backslash and a v).
// - Limits: texts of up to 128 MiB must be processed, and a failure must never
//   look like "no match". The interpreter's limits are below (kMatchLimit).
//   With the JIT, a capturing repeated group such as (\r\n)+ needs JIT
//   stack in proportion to the run it matches (about 24 bytes per
//   repetition), so the JIT stack starts with a modest reservation and, when
//   a match runs out of it, is reserved four times larger and the match is
//   tried again, up to 1 GiB: enough for a run of some forty million
//   repetitions, and bounded, so that a pattern that would need more fails
//   with an Error instead of taking the machine's memory (the program's own
//   patterns are written so that a long run needs none). The stack is
//   mapped lazily by the kernel (only the part used costs memory) and a grown
//   stack is given back when the operation ends. Any other negative result
//   of pcre2_match is an Error, and so is a larger stack the system refuses.
// - JIT or interpreter: the JIT compiles each pattern to machine code where
//   the system allows writable executable memory, and runs it where the
//   system grants its stack; otherwise, or when the caller turns it off,
//   PCRE2's interpreter gives the same matches.

#include "regexp.h"

#include <pcre2.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

// Start and bounds of the JIT stack. Reservations are address space only;
// pages are mapped when the matcher touches them.
constexpr size_t kJitStackStartSize = 32 * 1024;
constexpr size_t kJitStackFirstReservation = size_t(64) * 1024 * 1024;
constexpr size_t kJitStackGrowth = 4;
constexpr size_t kJitStackLargestReservation = size_t(1) * 1024 * 1024 * 1024;

// The interpreter's limits (the JIT heeds the match limit only), for the
// program's own patterns on any text it accepts. Measured with PCRE2 10.42 on
// varied text, each search needs a count of at most 5, a depth of 3 and 1 KiB
// of heap, whatever the text's size; only a run counts more: the run of CR LF
// pairs the preparation turns into one break costs one count per pair, and a
// 128 MiB file of line breaks holds 134 million pairs. So:
// - the match limit is PCRE2's largest, 32 times that run (lower, such a file
//   would be refused);
// - the depth is bounded by the heap, not by its own limit: a capturing
//   repeated group (which the program's patterns avoid) takes one level per
//   repetition, and what that costs is memory;
// - the heap is bounded like the JIT stack, at 1 GiB: a pattern that needs
//   more fails with an Error instead of taking the machine's memory.
constexpr uint32_t kMatchLimit = UINT32_MAX;
constexpr uint32_t kDepthLimit = UINT32_MAX;
constexpr uint32_t kHeapLimitKiB = 1024 * 1024;

const QString kInvalidPattern = QStringLiteral("Espressione regolare non valida");
const QString kTooComplex = QStringLiteral("Il testo è troppo complesso per essere elaborato");
const QString kOutOfMemory = QStringLiteral("Memoria insufficiente per elaborare il testo");

// PCRE2 rejects a null pointer even with length 0; an empty view may have one.
const PCRE2_UCHAR16 *codeUnits(QStringView text)
{
    static const PCRE2_UCHAR16 empty[1] = {0};
    return text.isEmpty() ? empty : reinterpret_cast<const PCRE2_UCHAR16 *>(text.utf16());
}

QString pcre2Message(int code)
{
    PCRE2_UCHAR16 buffer[256];
    const int length = pcre2_get_error_message(code, buffer, sizeof buffer / sizeof buffer[0]);
    if (length < 0)
        return QStringLiteral("PCRE2 error %1").arg(code);
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(buffer), length);
}

// The dialect's \v becomes PCRE2's \x{0b}. Escapes are read in pairs, so in
// "\\v" the first pair is an escaped backslash and the v is a plain letter.
constexpr QStringView kVerticalTab = u"\\x{0b}";

QString toPcre2Syntax(QStringView pattern)
{
    QString translated;
    translated.reserve(pattern.size() + 8);
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (c == u'\\' && i + 1 < pattern.size()) {
            const QChar escaped = pattern[++i];
            if (escaped == u'v') {
                translated.append(kVerticalTab);
            } else {
                translated.append(c);
                translated.append(escaped);
            }
        } else {
            translated.append(c);
        }
    }
    return translated;
}

// Maps an offset in the translated pattern back to the pattern as written.
qsizetype dialectOffset(QStringView pattern, size_t translatedOffset)
{
    size_t translated = 0;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        if (translated >= translatedOffset)
            return i;
        if (pattern[i] == u'\\' && i + 1 < pattern.size()) {
            translated += pattern[i + 1] == u'v' ? size_t(kVerticalTab.size()) : 2;
            if (translated > translatedOffset)
                return i;
            ++i;
        } else {
            ++translated;
        }
    }
    return pattern.size();
}

// One part of a parsed replacement: literal text of the replacement, or the
// text of a group (0 = the whole match).
struct ReplacementPiece {
    qsizetype start = 0;
    qsizetype length = 0;
    int group = -1;
};

std::vector<ReplacementPiece> parseReplacement(QStringView replacement, uint32_t groupCount)
{
    std::vector<ReplacementPiece> pieces;
    auto literal = [&](qsizetype start, qsizetype length) {
        if (length == 0)
            return;
        if (!pieces.empty() && pieces.back().group < 0 &&
            pieces.back().start + pieces.back().length == start)
            pieces.back().length += length;
        else
            pieces.push_back({start, length, -1});
    };
    for (qsizetype i = 0; i < replacement.size(); ++i) {
        const QChar c = replacement[i];
        const QChar next = i + 1 < replacement.size() ? replacement[i + 1] : QChar();
        if (c != u'$') {
            literal(i, 1);
        } else if (next == u'$') {
            literal(i, 1);
            ++i;
        } else if (next == u'&') {
            pieces.push_back({0, 0, 0});
            ++i;
        } else if (next >= u'1' && next <= u'9' && uint32_t(next.unicode() - u'0') <= groupCount) {
            pieces.push_back({0, 0, next.unicode() - u'0'});
            ++i;
        } else {
            // A dollar that introduces nothing, or names a group the
            // pattern does not have, is literal text.
            literal(i, 1);
        }
    }
    return pieces;
}

} // namespace

struct RegExp::Compiled {
    pcre2_code *code = nullptr;
    uint32_t groupCount = 0;
    bool jit = false;

    Compiled() = default;
    Compiled(const Compiled &) = delete;
    Compiled &operator=(const Compiled &) = delete;
    ~Compiled() { pcre2_code_free(code); }
};

// What matching needs besides the compiled pattern; kept across pattern
// changes, since the pattern search sets a new pattern for every character.
// The match data (the groups' offsets, and the interpreter's backtracking
// frames) serves every pattern with at most as many groups.
struct RegExp::MatchResources {
    pcre2_match_context *context = nullptr;
    pcre2_jit_stack *stack = nullptr;
    size_t reservation = 0;
    pcre2_match_data *matchData = nullptr;

    MatchResources() = default;
    MatchResources(const MatchResources &) = delete;
    MatchResources &operator=(const MatchResources &) = delete;
    ~MatchResources()
    {
        pcre2_match_data_free(matchData);
        pcre2_jit_stack_free(stack);
        pcre2_match_context_free(context);
    }

    bool reserveStack(size_t size)
    {
        pcre2_jit_stack *fresh = pcre2_jit_stack_create(kJitStackStartSize, size, nullptr);
        if (!fresh)
            return false;
        pcre2_jit_stack_free(stack);
        stack = fresh;
        reservation = size;
        pcre2_jit_stack_assign(context, nullptr, stack);
        return true;
    }

    bool growStack()
    {
        return reservation < kJitStackLargestReservation &&
               reserveStack(reservation * kJitStackGrowth);
    }
};

RegExp::RegExp() = default;
RegExp::~RegExp() = default;

void RegExp::setPattern(const QString &pattern)
{
    if (pattern == m_pattern)
        return;
    // The pattern search alternates between two patterns (one that escapes a
    // context, then the search for it): the one before stays compiled and
    // comes back at no cost.
    std::swap(m_pattern, m_previousPattern);
    std::swap(m_compiled, m_previousCompiled);
    if (pattern != m_pattern) {
        m_pattern = pattern;
        m_compiled.reset();
    }
}

void RegExp::forgetCompiled()
{
    m_compiled.reset();
    m_previousCompiled.reset();
}

void RegExp::setMultiline(bool on)
{
    if (on != m_multiline) {
        m_multiline = on;
        forgetCompiled();
    }
}

void RegExp::setIgnoreCase(bool on)
{
    if (on != m_ignoreCase) {
        m_ignoreCase = on;
        forgetCompiled();
    }
}

void RegExp::setJitEnabled(bool on)
{
    if (on != m_jitEnabled) {
        m_jitEnabled = on;
        forgetCompiled();
    }
}

Result<RegExp::Compiled *> RegExp::compiled()
{
    if (m_compiled)
        return m_compiled.get();

    pcre2_compile_context *context = pcre2_compile_context_create(nullptr);
    if (!context)
        return Error{kOutOfMemory, QStringLiteral("pcre2_compile_context_create failed")};
    pcre2_set_newline(context, PCRE2_NEWLINE_LF);

    uint32_t options =
        PCRE2_NEVER_UTF | PCRE2_NEVER_UCP | PCRE2_DOLLAR_ENDONLY | PCRE2_ALT_CIRCUMFLEX;
    if (m_multiline)
        options |= PCRE2_MULTILINE;
    if (m_ignoreCase)
        options |= PCRE2_CASELESS;

    const QString translated = toPcre2Syntax(m_pattern);
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    pcre2_code *code = pcre2_compile(codeUnits(translated), PCRE2_SIZE(translated.size()), options,
                                     &errorCode, &errorOffset, context);
    pcre2_compile_context_free(context);
    if (!code) {
        return Error{kInvalidPattern, QStringLiteral("%1, posizione %2 nel modello \"%3\"")
                                          .arg(pcre2Message(errorCode))
                                          .arg(dialectOffset(m_pattern, errorOffset))
                                          .arg(m_pattern)};
    }

    auto compiled = std::make_unique<Compiled>();
    compiled->code = code;

    // The JIT is an optimisation only. Where it cannot compile (a PCRE2
    // without JIT, a system that refuses writable executable memory, no
    // memory for the machine code), pcre2_match runs the interpreter, which
    // gives the same matches.
    compiled->jit = m_jitEnabled && pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) == 0;

    pcre2_pattern_info(code, PCRE2_INFO_CAPTURECOUNT, &compiled->groupCount);

    m_compiled = std::move(compiled);
    return m_compiled.get();
}

Result<RegExp::MatchResources *> RegExp::resources(const Compiled &pattern)
{
    if (!m_resources) {
        auto resources = std::make_unique<MatchResources>();
        resources->context = pcre2_match_context_create(nullptr);
        if (!resources->context)
            return Error{kOutOfMemory, QStringLiteral("pcre2_match_context_create failed")};
        pcre2_set_match_limit(resources->context, kMatchLimit);
        pcre2_set_depth_limit(resources->context, kDepthLimit);
        pcre2_set_heap_limit(resources->context, kHeapLimitKiB);
        m_resources = std::move(resources);
    }
    MatchResources &resources = *m_resources;
    // Only machine code needs a JIT stack. Where the system refuses it (an
    // address-space limit), forEachMatch runs the interpreter instead, which
    // gives the same matches; the reservation is tried again next time.
    if (pattern.jit && !resources.stack)
        resources.reserveStack(kJitStackFirstReservation);
    if (!resources.matchData ||
        pcre2_get_ovector_count(resources.matchData) <= pattern.groupCount) {
        pcre2_match_data_free(resources.matchData);
        resources.matchData = pcre2_match_data_create(pattern.groupCount + 1, nullptr);
        if (!resources.matchData)
            return Error{kOutOfMemory, QStringLiteral("pcre2_match_data_create failed")};
    }
    return m_resources.get();
}

template <typename OnMatch> Status RegExp::forEachMatch(QStringView text, OnMatch &&onMatch)
{
    Result<Compiled *> compiledPattern = compiled();
    if (!compiledPattern)
        return compiledPattern.error();
    Result<MatchResources *> matchResources = resources(*compiledPattern.value());
    if (!matchResources)
        return matchResources.error();
    Compiled &pattern = *compiledPattern.value();
    MatchResources &resources = *matchResources.value();

    // A stack grown for one long match is given back (unmapped) afterwards.
    struct ShrinkStack {
        MatchResources &resources;
        ~ShrinkStack()
        {
            if (resources.reservation > kJitStackFirstReservation)
                resources.reserveStack(kJitStackFirstReservation);
        }
    } shrink{resources};

    const PCRE2_SPTR16 subject = codeUnits(text);
    const auto length = PCRE2_SIZE(text.size());
    const uint32_t engine = pattern.jit && resources.stack ? 0 : PCRE2_NO_JIT;
    PCRE2_SIZE offset = 0;
    while (offset <= length) {
        int rc = pcre2_match(pattern.code, subject, length, offset, engine, resources.matchData,
                             resources.context);
        while (rc == PCRE2_ERROR_JIT_STACKLIMIT && resources.growStack())
            rc = pcre2_match(pattern.code, subject, length, offset, engine, resources.matchData,
                             resources.context);
        if (rc == PCRE2_ERROR_NOMATCH)
            break;
        // Zero: the match data holds fewer groups than the pattern has, and
        // the groups' offsets a replacement reads would not be there.
        if (rc == 0)
            return Error{kTooComplex,
                         QStringLiteral("pcre2_match: dati per %1 gruppi, il modello ne ha %2")
                             .arg(pcre2_get_ovector_count(resources.matchData) - 1)
                             .arg(pattern.groupCount)};
        if (rc < 0) {
            // The stack stops growing at its bound or when memory runs out.
            const bool memory = rc == PCRE2_ERROR_NOMEMORY || rc == PCRE2_ERROR_HEAPLIMIT ||
                                (rc == PCRE2_ERROR_JIT_STACKLIMIT &&
                                 resources.reservation < kJitStackLargestReservation);
            return Error{memory ? kOutOfMemory : kTooComplex,
                         QStringLiteral("pcre2_match: %1 (codice %2) cercando dalla posizione %3 "
                                        "in un testo di %4 caratteri, stack JIT %5 MiB")
                             .arg(pcre2Message(rc))
                             .arg(rc)
                             .arg(offset)
                             .arg(length)
                             .arg(resources.reservation / (1024 * 1024))};
        }
        const PCRE2_SIZE *ovector = pcre2_get_ovector_pointer(resources.matchData);
        onMatch(ovector);
        if (!m_global)
            break;
        // After an empty match the next search starts one character later,
        // so an empty match never repeats and the scan always ends.
        offset = ovector[1] > ovector[0] ? ovector[1] : ovector[1] + 1;
    }
    return Done{};
}

Result<QString> RegExp::Replace(QStringView text, QStringView replacement)
{
    Result<Compiled *> compiledPattern = compiled();
    if (!compiledPattern)
        return compiledPattern.error();
    const std::vector<ReplacementPiece> pieces =
        parseReplacement(replacement, compiledPattern.value()->groupCount);

    QString replaced;
    replaced.reserve(text.size());
    PCRE2_SIZE copied = 0;
    const Status status = forEachMatch(text, [&](const PCRE2_SIZE *ovector) {
        if (ovector[0] > copied)
            replaced.append(text.mid(qsizetype(copied), qsizetype(ovector[0] - copied)));
        for (const ReplacementPiece &piece : pieces) {
            if (piece.group < 0) {
                replaced.append(replacement.mid(piece.start, piece.length));
                continue;
            }
            const PCRE2_SIZE start = ovector[2 * piece.group];
            const PCRE2_SIZE end = ovector[2 * piece.group + 1];
            if (start != PCRE2_UNSET && end > start)
                replaced.append(text.mid(qsizetype(start), qsizetype(end - start)));
        }
        copied = std::max(copied, ovector[1]);
    });
    if (!status)
        return status.error();
    replaced.append(text.mid(qsizetype(copied)));
    return replaced;
}

Result<MatchCollection> RegExp::Execute(QStringView text)
{
    std::vector<RegExpMatch> matches;
    const Status status = forEachMatch(text, [&](const PCRE2_SIZE *ovector) {
        matches.push_back(
            {qsizetype(ovector[0]),
             text.mid(qsizetype(ovector[0]), qsizetype(ovector[1] - ovector[0])).toString()});
    });
    if (!status)
        return status.error();
    return MatchCollection(std::move(matches));
}

Result<std::vector<qsizetype>> RegExp::ExecuteFirstIndexes(QStringView text)
{
    std::vector<qsizetype> starts;
    const Status status = forEachMatch(
        text, [&](const PCRE2_SIZE *ovector) { starts.push_back(qsizetype(ovector[0])); });
    if (!status)
        return status.error();
    return starts;
}
