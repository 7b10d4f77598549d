// A run from a file takes over what the last one made when it still serves:
// the prepared text when the file's bytes and the options are the same, the
// index when the order is too. Either way the text generated for a seed is
// the one a fresh start gives.

#include "corpus.h"
#include "engine.h"
#include "source_text.h"
#include "temp_files.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTest>

namespace {

constexpr std::uint64_t kSeed = 77;

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

// What a run holds of its work: "text", "text+index" or "none".
QString kept(const KeptWork &work)
{
    return !work.text   ? QStringLiteral("none")
           : work.index ? QStringLiteral("text+index")
                        : QStringLiteral("text");
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
    // A continuation goes only through the stages whose products no longer
    // serve, and generates what a fresh start does. One stopped as a stage
    // begins (a pause, the window closed) holds, then and after, exactly
    // what still serves, and the next one goes on from it.
    void continuationTakesOverWhatServes_data()
    {
        QTest::addColumn<QByteArray>("edit"); // what is written over the file, if anything
        QTest::addColumn<bool>("lowerCase");  // the option set for the continuation
        QTest::addColumn<int>("order");       // the continuation's order (the first run's: 4)
        QTest::addColumn<int>("stopAt");      // a stage at which a first continuation stops, or -1
        QTest::addColumn<QString>("kept");    // what it holds as that stage begins, and after
        QTest::addColumn<QString>("stages");  // the stages of the continuation that goes on

        const QString afresh = QStringLiteral("read,digest,decode,prepare,index,seed");
        const auto row = [](const char *name, const char *edit, bool lowerCase,
                            int order) -> QTestData & {
            return QTest::newRow(name) << QByteArray(edit) << lowerCase << order;
        };
        row("nothing changed", "", false, 4) << -1 << ""
                                             << "digest,seed";
        row("order changed", "", false, 7) << -1 << ""
                                           << "digest,index,seed";
        row("order 1: no index", "", false, 1) << -1 << ""
                                               << "digest,index,seed";
        row("an option changed", "", true, 4) << -1 << "" << afresh;
        row("touched, same bytes", "touched", false, 4) << -1 << ""
                                                        << "digest,seed";
        row("one byte changed, same size and time", "one byte", false, 4) << -1 << ""
                                                                          << "digest," + afresh;
        row("stopped while digesting", "", false, 4) << int(RunStage::Digest) << "text+index"
                                                     << "digest,seed";
        row("stopped while indexing at another order", "", false, 10)
            << int(RunStage::Indexing) << "text"
            << "digest,index,seed";
        row("a changed file: freed before it is read", "other", false, 4)
            << int(RunStage::Reading) << "none" << afresh;
        row("a changed file stopped while preparing: nothing half-made", "other", false, 10)
            << int(RunStage::Preparing) << "none" << afresh;
    }

    void continuationTakesOverWhatServes()
    {
        QFETCH(QByteArray, edit);
        QFETCH(bool, lowerCase);
        QFETCH(int, order);
        QFETCH(int, stopAt);
        QTemporaryDir dir;
        const QByteArray original = ItalianLikeText(20'000, 5, 300).toUtf8();
        m_path = WriteTempFile(dir, QStringLiteral("testo.txt"), original);
        m_run = GenerationRun();
        {
            // The first run. Its cancellation is gone before the next run
            // takes its work over: the sanitizers see any use of it after.
            Cancellation first;
            QVERIFY(start(PreparationOptions(), 4, &first).ok());
        }
        QByteArray edited = original;
        if (edit == "one byte")
            edited[edited.size() / 2] = edited[edited.size() / 2] == 'a' ? 'e' : 'a';
        else if (edit == "other")
            edited = ItalianLikeText(20'000, 6, 300).toUtf8();
        if (!edit.isEmpty())
            rewrite(m_path, edited, edit == "touched" ? 3600 : 0);
        const PreparationOptions options{.lowerCase = lowerCase};

        if (stopAt >= 0) {
            QString keptAtStop;
            Cancellation *self = nullptr;
            Cancellation stopper([&](RunStage stage) {
                if (int(stage) == stopAt) {
                    keptAtStop = kept(m_run.work);
                    self->cancel();
                }
            });
            self = &stopper;
            QVERIFY(!start(options, order, &stopper).ok());
            QTEST(keptAtStop, "kept");
            QTEST(kept(m_run.work), "kept");
            QVERIFY(!m_run.generator);
        }

        // Each stage, as the next begins, has told of all its work.
        QStringList stages;
        Cancellation *self = nullptr;
        Cancellation recorder([&](RunStage stage) {
            const char *const names[] = {"digest", "read", "decode", "prepare", "index", "seed"};
            const std::optional<StageProgress> ended = self->progress();
            if (ended && ended->done < ended->work)
                stages.append(QStringLiteral("(unfinished)"));
            stages.append(QLatin1String(names[int(stage)]));
        });
        self = &recorder;
        const Status status = start(options, order, &recorder);
        QVERIFY2(status.ok(), qPrintable(status.error().detail));
        QTEST(stages.join(u','), "stages");
        GenerationRun fresh =
            StartGeneration(ReadSourceText(m_path).value(), options, order, Engine::Indexed, kSeed)
                .value();
        QCOMPARE(m_run.source(), fresh.source());
        QCOMPARE(shown(m_run), shown(fresh));
    }

private:
    Status start(const PreparationOptions &options, int order, Cancellation *cancel)
    {
        return StartGenerationFromFile(m_run, m_path, options, order, Engine::Indexed, kSeed,
                                       cancel);
    }

    QString m_path;
    GenerationRun m_run;
};

QTEST_GUILESS_MAIN(TestRunReuse)
#include "tst_run_reuse.moc"
