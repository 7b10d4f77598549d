// Odd and hostile input files through gramisola-cli, as a subprocess. Each
// ends either with generated text made of the source's characters (exit 0)
// or with one Italian line on standard error (exit 1), never with a crash.
// Files the reading refuses are tested where files are read.

#include "cli_process.h"
#include "code_units.h"
#include "temp_files.h"

#include <QSet>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype kMiB = 1024 * 1024;

QByteArray repeated(const QByteArray &unit, qsizetype totalBytes)
{
    return unit.repeated(totalBytes / unit.size());
}

} // namespace

class HostileFilesTest : public QObject {
    Q_OBJECT
private slots:
    void accepted_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("options");
        // Text the prepared source must hold (UTF-8): the file was read the way
        // its encoding says.
        QTest::addColumn<QByteArray>("preparedHolds");

        QByteArray controls;
        for (char c = 0; c < 32; ++c)
            controls.append(c);
        controls = (controls + QByteArray("casa\0gatto\x7F ", 12)).repeated(200);
        const QString surrogates = Units(u"ab\xD800"
                                         u"cd\xDC00"
                                         u"ef \xDBFF");

        QTest::newRow("several MB of one character")
            << repeated("a", 4 * kMiB) << QStringList() << "aaaaaaaaaa"_ba;
        QTest::newRow("NUL bytes and other control characters")
            << controls << QStringList() << QByteArray("casa\0gatto", 10);
        QTest::newRow("lone surrogates in UTF-16")
            << EncodeUtf16Le(surrogates, true).repeated(300) << QStringList()
            << u"ab\uFFFDcd\uFFFDef"_s.toUtf8();
        QTest::newRow("one line of 10 MB, line breaks and punctuation ignored")
            << repeated("ciao, mondo! ", 10 * kMiB)
            << QStringList{"--ignore-line-breaks", "--ignore-punctuation"} << "ciao mondo ciao"_ba;
    }

    // Order 1 draws single characters, 2 the shortest context, 10 the longest
    // (and restarts when no word is that long). Seeds and restarts on small
    // sources are the generator test's part.
    void accepted()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, options);
        QFETCH(QByteArray, preparedHolds);
        const QString path = WriteTempFile(m_dir, QStringLiteral("accepted.txt"), content);

        const CliOutcome prepared = RunCli(QStringList(options) << "--prepare-only" << path);
        QCOMPARE(prepared.status, 0);
        QVERIFY2(prepared.err.isEmpty(), prepared.err.constData());
        QVERIFY(prepared.out.contains(preparedHolds));
        const QList<uint> sourceList = QString::fromUtf8(prepared.out).toUcs4();
        const QSet<uint> source(sourceList.begin(), sourceList.end());

        for (const char *order : {"1", "2", "10"}) {
            const CliOutcome run =
                RunCli(options + QStringList{"--seed", "7", "-n", "300", "-o", order, "--engine",
                                             "indexed", path});
            QCOMPARE(run.status, 0);
            QVERIFY2(run.err.isEmpty(), run.err.constData());
            const QString text = QString::fromUtf8(run.out);
            QVERIFY2(text.size() >= 300, order);
            // Generated characters come from the source; a line break may also
            // be the separator at a restart, and two lone surrogates of the
            // source drawn one after the other are written as the pair they form.
            for (uint c : text.toUcs4())
                QVERIFY2(source.contains(c) || c == '\n' || c == ' ' ||
                             (c > 0xFFFF && source.contains(0xFFFD)),
                         qPrintable(QStringLiteral("order %1: U+%2").arg(order).arg(c, 4, 16)));
        }
    }

    void preparedToNothing_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("option");
        QTest::newRow("punctuation only, punctuation ignored")
            << repeated(".,;:!?-()\"'", 100'000) << "--ignore-punctuation";
        QTest::newRow("line breaks only, line breaks ignored")
            << repeated("\r\n", 2 * kMiB) << "--ignore-line-breaks";
    }

    void preparedToNothing()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, option);
        const QString path = WriteTempFile(m_dir, QStringLiteral("nothing.txt"), content);
        const CliOutcome run = RunCli({option, "-o", "1", "--seed", "1", "-n", "50", path});
        QCOMPARE(run.status, 1);
        QVERIFY(run.out.isEmpty());
        const QString err = QString::fromUtf8(run.err);
        QVERIFY2(err.startsWith(u"gramisola-cli: ") && err.count(u'\n') == 1 &&
                     err.endsWith(u'\n') && err.contains(u"il testo preparato è vuoto"),
                 qPrintable(err));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(HostileFilesTest)
#include "tst_hostile_files.moc"
