#pragma once

#include "result.h"

#include <QString>
#include <QStringView>

#include <memory>
#include <vector>

// One match of Execute: where it starts in the searched text (0-based code
// units) and what it matched.
struct RegExpMatch {
    qsizetype FirstIndex = 0;
    QString Value;
};

// All matches of one Execute, left to right, indexed from 0.
class MatchCollection {
public:
    MatchCollection() = default;
    explicit MatchCollection(std::vector<RegExpMatch> matches) : m_matches(std::move(matches)) {}

    qsizetype Count() const { return qsizetype(m_matches.size()); }
    const RegExpMatch &Item(qsizetype index) const { return m_matches[size_t(index)]; }

private:
    std::vector<RegExpMatch> m_matches;
};

// The program's pattern component: regular expressions in the dialect the
// text preparation and the generator are written in (ASCII \w \d \s \b, `.`
// matching everything but LF, \v the vertical tab, `$1` in replacements with a
// literal backslash), over PCRE2's 16-bit library in non-UTF mode, so every
// UTF-16 code unit is one character and no text or pattern is ever invalid.
//
// A bad pattern or a failure of the engine (resource limits) is an Error,
// never an empty result. Patterns are compiled to machine code (PCRE2's JIT)
// when the system allows it, and otherwise run on PCRE2's interpreter, with
// the same results.
class RegExp {
public:
    RegExp();
    ~RegExp();
    RegExp(const RegExp &) = delete;
    RegExp &operator=(const RegExp &) = delete;

    void setPattern(const QString &pattern);
    QString Pattern() const { return m_pattern; }
    void setGlobal(bool on) { m_global = on; }
    bool Global() const { return m_global; }
    void setMultiline(bool on);
    bool Multiline() const { return m_multiline; }
    void setIgnoreCase(bool on);
    bool IgnoreCase() const { return m_ignoreCase; }
    // Off: every pattern runs on the interpreter. A pattern searched once
    // over a short text is found sooner than it is compiled to machine code.
    void setJitEnabled(bool on);
    bool JitEnabled() const { return m_jitEnabled; }

    // Every match (only the first when Global is off) replaced by
    // `replacement`, in which $1..$9 stand for the groups' text (empty for a
    // group that took no part), $& for the whole match and $$ for one dollar;
    // every other character, backslash included, stands for itself.
    Result<QString> Replace(QStringView text, QStringView replacement);

    // Every non-overlapping match left to right (only the first when Global is off).
    Result<MatchCollection> Execute(QStringView text);

    // Like Execute, but only the start positions; the generator's hot path
    // needs no copies of the matched text.
    Result<std::vector<qsizetype>> ExecuteFirstIndexes(QStringView text);

private:
    struct Compiled;
    struct MatchResources;
    Result<Compiled *> compiled();
    void forgetCompiled();
    Result<MatchResources *> resources(const Compiled &pattern);

    // Calls onMatch(ovector) for every match (only the first when Global is
    // off), left to right, advancing past empty matches.
    template <typename OnMatch> Status forEachMatch(QStringView text, OnMatch &&onMatch);

    QString m_pattern;
    bool m_global = false;
    bool m_multiline = false;
    bool m_ignoreCase = false;
    bool m_jitEnabled = true;
    std::unique_ptr<Compiled> m_compiled;
    QString m_previousPattern;
    std::unique_ptr<Compiled> m_previousCompiled;
    std::unique_ptr<MatchResources> m_resources;
};
