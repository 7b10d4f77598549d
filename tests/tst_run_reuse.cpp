// A run started from a file takes over what the last run prepared when the
// file's bytes and the options are the same, and its index when the order is
// too; anything else is prepared afresh. Either way the text generated for a
// seed is the one a fresh start gives.

#include "corpus.h"
#include "engine.h"
#include "temp_files.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTest>

namespace {

constexpr std::uint64_t kSeed = 77;

Result<GenerationRun> startFrom(const QString &path, const PreparationOptions &options, int order,
                                std::optional<GenerationRun> kept = std::nullopt)
{
    return StartGenerationFromFile(path, options, order, Engine::Indexed, kSeed, nullptr,
                                   std::move(kept));
}

// The seed context and the next pieces: what the user sees of a run.
QString shown(GenerationRun &run)
{
    QString text = run.generator->context();
    for (int i = 0; i < 300; ++i) {
        Result<QString> piece = run.generator->NextPiece();
        if (!piece)
            return QStringLiteral("error: ") + piece.error().detail;
        text += piece.value();
    }
    return text;
}

// Rewrites the file at `path` with `bytes`, its modification time moved by
// `seconds` (0: kept as it was).
void rewrite(const QString &path, const QByteArray &bytes, int seconds)
{
    QFile file(path);
    const QDateTime time = QFileInfo(path).lastModified().addSecs(seconds);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size() ||
        !file.setFileTime(time, QFileDevice::FileModificationTime))
        qFatal("cannot rewrite %s", qPrintable(path));
}

} // namespace

class TestRunReuse : public QObject {
    Q_OBJECT
private slots:
    void continuationTakesOverWhatDidNotChange_data()
    {
        QTest::addColumn<QByteArray>("edit");    // what is written over the file, if anything
        QTest::addColumn<bool>("lowerCase");     // the option set for the second run
        QTest::addColumn<int>("order");          // the second run's order (the first is 4)
        QTest::addColumn<bool>("textTakenOver"); // the prepared text is the first run's
        QTest::addColumn<bool>("builds");        // the second run prepares or indexes

        QTest::newRow("nothing changed: text and index taken over")
            << QByteArray() << false << 4 << true << false;
        QTest::newRow("order changed: text taken over, index built")
            << QByteArray() << false << 7 << true << true;
        QTest::newRow("order 1: text taken over, no index")
            << QByteArray() << false << 1 << true << false;
        QTest::newRow("an option changed: prepared afresh")
            << QByteArray() << true << 4 << false << true;
        QTest::newRow("touched, same bytes and a new time: taken over")
            << QByteArray("touched") << false << 4 << true << false;
        QTest::newRow("one byte changed, same size and time: prepared afresh")
            << QByteArray("one byte") << false << 4 << false << true;
    }

    void continuationTakesOverWhatDidNotChange()
    {
        QFETCH(QByteArray, edit);
        QFETCH(bool, lowerCase);
        QFETCH(int, order);
        QFETCH(bool, textTakenOver);
        QFETCH(bool, builds);

        QTemporaryDir dir;
        const QByteArray original = ItalianLikeText(20'000, 5, 300).toUtf8();
        QByteArray edited = original;
        if (edit == "one byte")
            edited[edited.size() / 2] = edited[edited.size() / 2] == 'a' ? 'e' : 'a';
        const QString path = dir.filePath(QStringLiteral("testo.txt"));
        const PreparationOptions options{.lowerCase = lowerCase};
        const auto continueAfterEdit = [&](const Cancellation *cancel) {
            WriteTempFile(dir, QStringLiteral("testo.txt"), original);
            Result<GenerationRun> first = startFrom(path, PreparationOptions(), 4);
            if (!first.ok())
                qFatal("first run: %s", qPrintable(first.error().detail));
            // Shares the first text's characters, so that they cannot be
            // freed and their place taken by a text prepared afresh.
            const QString firstText = *first.value().source;
            if (!edit.isEmpty())
                rewrite(path, edited, edit == "touched" ? 3600 : 0);
            Result<GenerationRun> next = StartGenerationFromFile(
                path, options, order, Engine::Indexed, kSeed, cancel, std::move(first).value());
            const bool same =
                next.ok() && next.value().source->constData() == firstText.constData();
            return std::make_pair(std::move(next), same);
        };

        auto [next, sameText] = continueAfterEdit(nullptr);
        QVERIFY2(next.ok(), qPrintable(next.error().detail));
        QCOMPARE(sameText, textTakenOver);
        Result<GenerationRun> fresh = startFrom(path, options, order);
        QVERIFY(fresh.ok());
        QCOMPARE(*next.value().source, *fresh.value().source);
        QCOMPARE(shown(next.value()), shown(fresh.value()));

        // What is taken over is not done again: only the work still to do
        // looks at the cancellation.
        Cancellation cancelled;
        cancelled.cancel();
        QCOMPARE(continueAfterEdit(&cancelled).first.ok(), !builds);
    }
};

QTEST_GUILESS_MAIN(TestRunReuse)
#include "tst_run_reuse.moc"
