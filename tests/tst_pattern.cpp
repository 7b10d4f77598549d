// The pattern component with the dialect the program's patterns rely on:
// replacing, finding, errors, and flag changes on one object, with and
// without JIT; and the program where executable memory or the JIT's stack is
// refused (which also shows that the seed decides the text).
#include "cli_process.h"
#include "code_units.h"
#include "corpus.h"
#include "regexp.h"
#include "temp_files.h"

#include <QFile>
#include <QTest>

#include <cstdio>
#include <string_view>
#include <vector>

#include <linux/filter.h>
#include <linux/seccomp.h>
#include <seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::literals;
using namespace Qt::StringLiterals;

namespace {

void replaceRow(const char *name, std::u16string_view pattern, std::u16string_view flags,
                std::u16string_view text, std::u16string_view replacement,
                std::u16string_view expected)
{
    QTest::newRow(name) << Units(pattern) << Units(flags) << Units(text) << Units(replacement)
                        << Units(expected);
}

// What systemd's MemoryDenyWriteExecute= installs on kernels that cannot
// refuse executable memory themselves: no mapping both writable and
// executable, and no page made executable later (its rule for SysV shared
// memory is left out: where that call is multiplexed, as on i386, libseccomp
// cannot look at its flags). Built here as BPF, so that a child only has to
// install it, without allocating after the fork.
std::vector<sock_filter> denyWriteExecuteFilter()
{
    const scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ALLOW);
    const scmp_datum_t writeExec = PROT_WRITE | PROT_EXEC;
    bool built = filter != nullptr;
    // The call's third argument holds all these bits: refused. mmap2 is the
    // call on 32-bit systems; elsewhere libseccomp passes over it.
    for (const auto &[call, bits] : {std::pair{SCMP_SYS(mmap), writeExec},
                                     {SCMP_SYS(mmap2), writeExec},
                                     {SCMP_SYS(mprotect), scmp_datum_t(PROT_EXEC)},
                                     {SCMP_SYS(pkey_mprotect), scmp_datum_t(PROT_EXEC)}})
        built = built && seccomp_rule_add(filter, SCMP_ACT_ERRNO(EPERM), call, 1,
                                          scmp_arg_cmp{2, SCMP_CMP_MASKED_EQ, bits, bits}) == 0;
    std::FILE *file = std::tmpfile();
    built = built && file && seccomp_export_bpf(filter, fileno(file)) == 0;
    seccomp_release(filter);
    const off_t size = built ? ::lseek(fileno(file), 0, SEEK_END) : 0;
    std::vector<sock_filter> program(size_t(size) / sizeof(sock_filter));
    if (program.empty() || ::pread(fileno(file), program.data(), size_t(size), 0) != size)
        qFatal("the seccomp filter could not be built");
    std::fclose(file);
    return program;
}

// In a child: Replace under an address-space limit that leaves room for the
// match and its result but not for a JIT stack's reservation (tens of MiB).
// 0: `expected`; 1: the limit did not hold; 2: an Error; 3: another text.
int replaceWithoutRoomForJitStack(RegExp &regexp, const QString &text, const QString &expected)
{
    QFile statm(u"/proc/self/statm"_s);
    if (!statm.open(QIODevice::ReadOnly))
        return 1;
    const rlim_t inUse = statm.readLine().split(' ').first().toULongLong() * rlim_t(getpagesize());
    const rlimit limit{inUse + (rlim_t(4) << 20), inUse + (rlim_t(4) << 20)};
    if (::setrlimit(RLIMIT_AS, &limit) != 0 ||
        ::mmap(nullptr, size_t(8) << 20, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0) !=
            MAP_FAILED)
        return 1;
    Result<QString> replaced = regexp.Replace(text, u" ");
    return !replaced.ok() ? 2 : replaced.value() == expected ? 0 : 3;
}

} // namespace

class TestPattern : public QObject {
    Q_OBJECT
private slots:
    // Every test with the JIT, then with the interpreter alone.
    void initTestCase_data()
    {
        QTest::addColumn<bool>("jit");
        QTest::newRow("JIT") << true;
        QTest::newRow("no JIT") << false;
    }

    void replace_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("flags");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("replacement");
        QTest::addColumn<QString>("expected");

        // Dialect rules.
        replaceRow("escaped backslash before v is backslash and v", u"\\\\v", u"g", u"a\\vb\v",
                   u"-", u"a-b\v");
        replaceRow("dot matches CR, not LF", u".", u"gm", u"a\r\n", u"-", u"--\n");
        replaceRow("\\s is exactly the six white-space characters", u"\\s", u"g",
                   u" \t\n\r\f\v\u00a0\u0085\u2028", u"-", u"------\u00a0\u0085\u2028");

        // Replacement syntax.
        replaceRow("$1 $2 $& $$, and a $ naming no group is literal", u"(\\w)(\\d)", u"g", u"a1 b2",
                   u"$2$1|$&|$$|$3$0$x$", u"1a|a1|$|$3$0$x$ 2b|b2|$|$3$0$x$");
        replaceRow("backslash before $1 is a literal backslash", u"([\\\\^$*+?.|{}[\\]()])", u"g",
                   u"a.b$\\(", u"\\$1", u"a\\.b\\$\\\\\\(");
        replaceRow("unset group is empty", u"(a)|b", u"g", u"ab", u"[$1]", u"[a][]");

        // Global and empty matches.
        replaceRow("Global off replaces the first match only", u"a", u"", u"aaa", u"-", u"-aa");
        replaceRow("empty match after a match is replaced", u"x*", u"g", u"abxd", u"-",
                   u"-a-b--d-");

        // Anchors: $ is the end (in Multiline also before LF); ^ follows any LF.
        replaceRow("$ without Multiline is the very end", u"$", u"g", u"a\n", u"!", u"a\n!");
        replaceRow("Multiline $ stops before LF, not CR", u"$", u"gm", u"a\r\nb", u"!",
                   u"a\r!\nb!");
        replaceRow("Multiline ^ after every LF, the last one too", u"^", u"gm", u"a\nb\n", u"!",
                   u"!a\n!b\n!");

        // Code units, not code points; NUL is an ordinary character.
        replaceRow("dot takes one half of a surrogate pair", u"a.z", u"g", u"a\U0001F600z a\xD83Dz",
                   u"-", u"a\U0001F600z -");
        replaceRow("NUL in pattern and text", u"a\0b"sv, u"g", u"xa\0by\0"sv, u"-", u"x-y\0"sv);
        // One count of the match limit per pair: more than PCRE2's default allows.
        QTest::newRow("run of eleven million CR LF pairs")
            << u"(?:\\r\\n)++"_s << u"g"_s
            << u"a"_s + QString(u"\r\n"_s).repeated(11'000'000) + u"b"_s << u"\r"_s << u"a\rb"_s;
    }

    void replace()
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

    // A bad pattern, or the engine giving up, is an error from every entry point,
    // never "no match". A pattern can lower the engine's match limit, which no
    // text the program accepts reaches otherwise.
    void errors_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("detailHolds");

        const QString invalid = u"Espressione regolare non valida"_s;
        QTest::newRow("trailing backslash")
            << u"ab\\"_s << u"abc"_s << invalid << u"posizione 3 "_s;
        QTest::newRow("position counted in the pattern as written")
            << u"\\v\\v)"_s << u"abc"_s << invalid << u"posizione 4 "_s;
        // The b after the run lets the matcher try (and backtrack) at all.
        QTest::newRow("engine limit reached")
            << u"(*LIMIT_MATCH=50)(a+)+b"_s << QString(30, u'a') + u"cb"_s
            << u"Il testo è troppo complesso per essere elaborato"_s << u"pcre2_match"_s;
    }

    void errors()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, text);
        QFETCH(QString, message);
        QFETCH(QString, detailHolds);

        RegExp regexp;
        configure(regexp, pattern, "g");
        Result<QString> replaced = regexp.Replace(text, u"-");
        QVERIFY(!replaced.ok());
        QCOMPARE(replaced.error().message, message);
        QVERIFY2(replaced.error().detail.contains(detailHolds),
                 qPrintable(replaced.error().detail));
        QCOMPARE(regexp.Execute(text).error().message, message);
        QCOMPARE(regexp.ExecuteFirstIndexes(text).error().message, message);

        // The same object works again once the pattern is valid.
        regexp.setPattern("c");
        QCOMPARE(regexp.Replace(text, u"-").value(), QString(text).replace(u'c', u'-'));
        const RegExpMatch found = regexp.Execute(text).value().Item(0);
        QCOMPARE(found.FirstIndex, text.indexOf(u'c'));
        QCOMPARE(found.Value, u"c"_s);
    }

    // A flag changed after a match takes effect at the next one.
    void flagChangesRecompile()
    {
        RegExp regexp;
        configure(regexp, "^a", "g");
        QCOMPARE(regexp.Replace(u"a\nA", u"-").value(), u"-\nA"_s);
        regexp.setMultiline(true);
        QCOMPARE(regexp.Replace(u"A\na", u"-").value(), u"A\n-"_s);
        regexp.setIgnoreCase(true);
        QCOMPARE(regexp.Replace(u"A\na", u"-").value(), u"-\n-"_s);
        // The pattern set before the last comes back with the flags of now.
        regexp.setPattern("b");
        regexp.setIgnoreCase(false);
        regexp.setPattern("^a");
        QCOMPARE(regexp.Replace(u"A\na", u"-").value(), u"A\n-"_s);
        // One group more than the match data made for the patterns before holds.
        regexp.setPattern("(a)\n");
        QCOMPARE(regexp.Replace(u"a\nb", u"<$1>").value(), u"<a>b"_s);
    }

    // Where the system refuses writable executable memory, the JIT cannot
    // compile, and the program writes the same text with the interpreter.
    void refusedExecutableMemoryGivesTheSameText()
    {
        QFETCH_GLOBAL(bool, jit);
        if (!jit)
            QSKIP("run once, with the component as the program sets it");
        QTemporaryDir dir;
        const QString path =
            WriteTempFile(dir, u"testo.txt"_s, ItalianLikeText(200'000, 5).toUtf8());
        const QStringList arguments{u"-o"_s, u"3"_s, u"-n"_s, u"2000"_s, path, u"--seed"_s};
        const CliOutcome free = RunCli(arguments + QStringList{u"1"_s});
        // The text is the seed's: another seed writes another.
        QVERIFY(RunCli(arguments + QStringList{u"2"_s}).out != free.out);
        std::vector<sock_filter> filter = denyWriteExecuteFilter();
        const CliOutcome refused = RunCli(arguments + QStringList{u"1"_s}, {}, [&filter] {
            const sock_fprog program{static_cast<unsigned short>(filter.size()), filter.data()};
            if (::prctl(PR_SET_NO_NEW_PRIVS, 1L, 0L, 0L, 0L) != 0 ||
                ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
                ::_exit(120);
            if (::mmap(nullptr, 4096, PROT_READ | PROT_WRITE | PROT_EXEC,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0) != MAP_FAILED)
                ::_exit(121); // the filter does not hold
        });
        if (refused.status == 120)
            QSKIP("this kernel has no seccomp filters");
        QCOMPARE(free.status, 0);
        QVERIFY2(refused.status == 0, refused.err.constData());
        QVERIFY(free.out.size() > 2000);
        QCOMPARE(refused.out, free.out);
    }

    // Where an address-space limit leaves no room for the JIT's stack, the
    // interpreter matches a pattern compiled to machine code.
    void refusedJitStackGivesTheSameText()
    {
        QFETCH_GLOBAL(bool, jit);
        if (!jit)
            QSKIP("only a pattern compiled to machine code needs a JIT stack");
        const QString text = ItalianLikeText(200'000, 5);
        RegExp regexp;
        configure(regexp, u"[^\\w\\sàèéìòùÀÈÉÌÒÙ]"_s, u"g"_s);
        regexp.setJitEnabled(false);
        const QString expected = regexp.Replace(text, u" ").value();
        QVERIFY(expected != text);
        regexp.setJitEnabled(true);
        const pid_t child = ::fork();
        if (child == 0)
            ::_exit(replaceWithoutRoomForJitStack(regexp, text, expected));
        int status = -1;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY2(WIFEXITED(status), "the child ended on a signal");
        QCOMPARE(WEXITSTATUS(status), 0);
    }

private:
    // Flags as letters: g = Global, m = Multiline, i = IgnoreCase.
    static void configure(RegExp &regexp, const QString &pattern, const QString &flags)
    {
        QFETCH_GLOBAL(bool, jit);
        regexp.setPattern(pattern);
        regexp.setGlobal(flags.contains(u'g'));
        regexp.setMultiline(flags.contains(u'm'));
        regexp.setIgnoreCase(flags.contains(u'i'));
        regexp.setJitEnabled(jit);
    }
};

QTEST_APPLESS_MAIN(TestPattern)
#include "tst_pattern.moc"
