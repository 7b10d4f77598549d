// gramisola-cli end to end, as a subprocess: prepared text, what reaches
// standard output, standard input, large sources, the progress line on a
// terminal, and the errors a script can rely on. How files are read and
// refused is tested where files are read, an empty source file in the
// window's test; that the seed decides the text, tst_pattern's test of
// refused executable memory shows; the version, scripts/check-package.

#include "cli_process.h"
#include "code_units.h"
#include "temp_files.h"

#include <QTest>

#include <poll.h>
#include <pty.h>
#include <unistd.h>

using namespace std::literals;

class TestCli : public QObject {
    Q_OBJECT
private slots:
    // The prepared text, exactly; usage errors exit with 2, file errors with 1,
    // with nothing on standard output and a message after the program's name on
    // standard error (one line for a file error).
    void statusAndOutput_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QByteArray>("input"); // standard input

        const auto prepared = [this](const char *name, QStringList options,
                                     const QByteArray &content, const QByteArray &expected) {
            options << QStringLiteral("--prepare-only")
                    << WriteTempFile(m_dir, QString::fromUtf8(name) + QStringLiteral(".txt"),
                                     content);
            QTest::newRow(name) << options << 0 << expected << QString() << QByteArray();
        };
        prepared("CR written as newline", {}, "a  b\r\n\r\nc ", "a b\nc");
        prepared("all options",
                 {"--raw", "--ignore-digits", "--ignore-punctuation", "--lower-case",
                  "--keep-spaces", "--ignore-line-breaks"},
                 "Così, 42\r\nvolte!", "così    volte ");
        prepared("lone surrogate written as U+FFFD, NUL and controls kept", {},
                 EncodeUtf16Le(Units(u"ab\xD800 c\0\x01\x7F"sv), true),
                 QByteArray("ab\xEF\xBF\xBD c\0\x01\x7F", 10));
        QTest::newRow("standard input decoded as a file, CR kept raw")
            << QStringList{"--raw", "--prepare-only", "-"} << 0
            << QByteArray("perch\xc3\xa8 \rfine") << QString() << QByteArray("perch\xe8  \nfine");

        const auto failed = [](const char *name, const QStringList &arguments, int status,
                               const char *message) {
            QTest::newRow(name) << arguments << status << QByteArray() << QString::fromUtf8(message)
                                << QByteArray();
        };
        const QString good = WriteTempFile(m_dir, QStringLiteral("good.txt"), "testo qualsiasi");
        failed("order too high", {"-o", "11", good}, 2, "ordine");
        failed("unknown option", {"--loud", good}, 2, "sconosciuta");
        failed("unknown engine", {"--engine", "fast", good}, 2, "motore");
        failed("switch given a value", {"--raw=1", good}, 2, "opzione sconosciuta: --raw=1");
        failed("value missing at the end", {good, "--seed"}, 2, "manca il valore di --seed");
        failed("no file named", {}, 2, "manca il nome del file");
        failed("two files named", {good, good}, 2, "un solo file");
        failed("empty standard input", {"-"}, 1, "vuoto");
        failed(
            "nothing left to draw from at order 1",
            {"--ignore-punctuation", "-o", "1", WriteTempFile(m_dir, "punct.txt", ".,;:!?-()\"'")},
            1, "il testo preparato è vuoto");
    }

    void statusAndOutput()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QByteArray, out);
        QFETCH(QString, message);
        QFETCH(QByteArray, input);
        const CliOutcome result = RunCli(arguments, input);
        QCOMPARE(result.status, status);
        QCOMPARE(result.out, out);
        const QString err = QString::fromLocal8Bit(result.err);
        if (message.isEmpty())
            QVERIFY2(err.isEmpty(), qPrintable(err));
        else
            QVERIFY2(err.startsWith(u"gramisola-cli: ") &&
                         err.contains(message, Qt::CaseInsensitive) &&
                         (status != 1 || err.count(u'\n') == 1),
                     qPrintable(err));
    }

    // Every context of a source of one repeated character recurs millions of
    // times; the longest order finds no word that long and restarts.
    void megabytesOfOneCharacter()
    {
        const QString file =
            WriteTempFile(m_dir, QStringLiteral("a.txt"), QByteArray(4 << 20, 'a'));
        for (const char *order : {"1", "2", "10"}) {
            const CliOutcome run = RunCli({"--seed", "7", "-n", "300", "-o", order, file});
            QCOMPARE(run.status, 0);
            QVERIFY2(run.out.size() >= 300 &&
                         run.out.count('a') + run.out.count('\n') == run.out.size(),
                     order);
        }
    }

    // A progress line only on a terminal and without --quiet, once preparing
    // has taken a second (standard input arrives in two halves, the second
    // 1.5 s after the first or once the line is shown), erased before the
    // program ends; standard output carries the text alone.
    void progressLine_data()
    {
        QTest::addColumn<bool>("terminal");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("shown");
        const QStringList generate{"--seed", "5", "-n", "300", "-"};
        QTest::newRow("standard error a pipe: none") << false << generate << false;
        QTest::newRow("terminal: shown, then erased") << true << generate << true;
        QTest::newRow("prepared text: shown, then erased")
            << true << QStringList{"--prepare-only", "-"} << true;
        QTest::newRow("--quiet: none") << true << QStringList{"-q"} + generate << false;
    }

    void progressLine()
    {
        QFETCH(bool, terminal);
        QFETCH(QStringList, arguments);
        QFETCH(bool, shown);
        int master = -1, slave = -1;
        QVERIFY(::openpty(&master, &slave, nullptr, nullptr, nullptr) == 0);
        QByteArray onTerminal;
        const auto readTerminal = [&](int timeoutMs) {
            pollfd ready{master, POLLIN, 0};
            char block[4096];
            const ssize_t got = ::poll(&ready, 1, timeoutMs) > 0 ? ::read(master, block, 4096) : 0;
            onTerminal.append(block, std::max<ssize_t>(got, 0));
            return got > 0;
        };
        const QByteArray input = QByteArray("uno due tre quattro\n").repeated(200);
        const CliOutcome run = RunCli(
            arguments, input, [&] { terminal && ::dup2(slave, STDERR_FILENO); },
            [&] {
                while (shown && !onTerminal.contains("\033[K") && readTerminal(30'000)) {
                }
                if (!shown)
                    QTest::qSleep(1500);
            });
        ::close(slave);
        while (readTerminal(10'000)) {
        }
        ::close(master);
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, RunCli(arguments, input).out);
        QCOMPARE(run.err, QByteArray());
        QVERIFY2(shown ? onTerminal.startsWith("\rLettura dello standard input: ") &&
                             onTerminal.endsWith("\r\033[K") && !onTerminal.contains('\n')
                       : onTerminal.isEmpty(),
                 onTerminal.toPercentEncoding().constData());
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
