// A run from a file takes over what the last one made when it still serves:
// the prepared text when the file's bytes and the options are the same, the
// index when the order is too. What no longer serves is gone before the file
// is read, and a stop at any stage keeps what still serves. Either way the
// text generated for a seed is the one a fresh start gives.

#include "corpus.h"
#include "engine.h"
#include "source_text.h"
#include "temp_files.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTest>

Q_DECLARE_METATYPE(RunStage)

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

const char *const kStageNames[] = {"digest", "read", "decode", "prepare", "index", "seed"};

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
    void init()
    {
        m_original = ItalianLikeText(20'000, 5, 300).toUtf8();
        m_path = WriteTempFile(m_dir, QStringLiteral("testo.txt"), m_original);
        m_run = GenerationRun();
        // The first run, at order 4. Its cancellation is gone before the next
        // run takes its work over: the sanitizers see any use of it after.
        const auto first = std::make_unique<Cancellation>();
        QVERIFY(start(PreparationOptions(), 4, first.get()).ok());
    }

    // A continuation goes only through the stages whose products no longer
    // serve, and generates what a fresh start does.
    void continuationTakesOverWhatServes_data()
    {
        QTest::addColumn<QByteArray>("edit"); // what is written over the file, if anything
        QTest::addColumn<bool>("lowerCase");  // the option set for the continuation
        QTest::addColumn<int>("order");       // the continuation's order
        QTest::addColumn<QString>("stages");  // the stages it goes through

        const QString afresh = QStringLiteral("read,digest,decode,prepare,index,seed");
        QTest::newRow("nothing changed") << QByteArray() << false << 4 << "digest,seed";
        QTest::newRow("order changed") << QByteArray() << false << 7 << "digest,index,seed";
        QTest::newRow("order 1: no index") << QByteArray() << false << 1 << "digest,index,seed";
        QTest::newRow("an option changed") << QByteArray() << true << 4 << afresh;
        QTest::newRow("touched, same bytes")
            << QByteArray("touched") << false << 4 << "digest,seed";
        QTest::newRow("one byte changed, same size and time")
            << QByteArray("one byte") << false << 4 << "digest," + afresh;
    }

    void continuationTakesOverWhatServes()
    {
        QFETCH(QByteArray, edit);
        QFETCH(bool, lowerCase);
        QFETCH(int, order);
        QByteArray edited = m_original;
        if (edit == "one byte")
            edited[edited.size() / 2] = edited[edited.size() / 2] == 'a' ? 'e' : 'a';
        if (!edit.isEmpty())
            rewrite(m_path, edited, edit == "touched" ? 3600 : 0);

        QStringList stages;
        const Cancellation recorder(
            [&stages](RunStage stage) { stages.append(QLatin1String(kStageNames[int(stage)])); });
        const PreparationOptions options{.lowerCase = lowerCase};
        const Status status = start(options, order, &recorder);
        QVERIFY2(status.ok(), qPrintable(status.error().detail));
        QTEST(stages.join(u','), "stages");

        GenerationRun fresh = startedAfresh(options, order);
        QCOMPARE(m_run.source(), fresh.source());
        QCOMPARE(shown(m_run), shown(fresh));
    }

    // A continuation stopped as a stage begins (a pause, the window closed)
    // holds, then and after, exactly what still serves; the next one goes on
    // from it and generates what a fresh start does.
    void aStopKeepsWhatServes_data()
    {
        QTest::addColumn<bool>("fileChanged");
        QTest::addColumn<int>("order");
        QTest::addColumn<RunStage>("stopAt");
        QTest::addColumn<QString>("kept"); // as the stage begins, and after the stop
        QTest::addColumn<QString>("next"); // the stages of the next continuation

        QTest::newRow("stopped while digesting") << false << 4 << RunStage::Digest << "text+index"
                                                 << "digest,seed";
        QTest::newRow("stopped while indexing at another order")
            << false << 10 << RunStage::Indexing << "text"
            << "digest,index,seed";
        QTest::newRow("a changed file: freed before it is read")
            << true << 4 << RunStage::Reading << "none"
            << "read,digest,decode,prepare,index,seed";
        QTest::newRow("a changed file stopped while preparing: nothing half-made")
            << true << 10 << RunStage::Preparing << "none"
            << "read,digest,decode,prepare,index,seed";
    }

    void aStopKeepsWhatServes()
    {
        QFETCH(bool, fileChanged);
        QFETCH(int, order);
        QFETCH(RunStage, stopAt);
        QFETCH(QString, kept);
        if (fileChanged)
            rewrite(m_path, ItalianLikeText(20'000, 6, 300).toUtf8(), 0);

        QString keptAtStop;
        Cancellation *self = nullptr;
        Cancellation stopper([&](RunStage stage) {
            if (stage != stopAt)
                return;
            keptAtStop = ::kept(m_run.work);
            self->cancel();
        });
        self = &stopper;
        const Status stopped = start(PreparationOptions(), order, &stopper);
        QVERIFY(!stopped.ok());
        QCOMPARE(keptAtStop, kept);
        QCOMPARE(::kept(m_run.work), kept);
        QVERIFY(!m_run.generator);

        QStringList stages;
        const Cancellation recorder(
            [&stages](RunStage stage) { stages.append(QLatin1String(kStageNames[int(stage)])); });
        QVERIFY(start(PreparationOptions(), order, &recorder).ok());
        QTEST(stages.join(u','), "next");
        GenerationRun fresh = startedAfresh(PreparationOptions(), order);
        QCOMPARE(shown(m_run), shown(fresh));
    }

private:
    GenerationRun startedAfresh(const PreparationOptions &options, int order)
    {
        return StartGeneration(ReadSourceText(m_path).value(), options, order, Engine::Indexed,
                               kSeed)
            .value();
    }

    Status start(const PreparationOptions &options, int order, const Cancellation *cancel)
    {
        return StartGenerationFromFile(m_run, m_path, options, order, Engine::Indexed, kSeed,
                                       cancel);
    }

    QTemporaryDir m_dir;
    QString m_path;
    QByteArray m_original;
    GenerationRun m_run;
};

QTEST_GUILESS_MAIN(TestRunReuse)
#include "tst_run_reuse.moc"
