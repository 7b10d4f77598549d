#pragma once

#include "cancellation.h"
#include "engine.h"
#include "preparation_options.h"

#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QObject>
#include <QThreadPool>
#include <QTimer>

#include <memory>

// What the run control is doing. The main window shows Idle as "Esegui",
// Paused as "Continua" and the three others as "Interrompi", with a busy
// cursor while nothing is generated yet.
//
//   Idle, Paused --start()--> Preparing, or Waiting while a preparation that
//                             was dropped still ends
//   Waiting --the dropped preparation ends--> Preparing
//   Preparing --prepared--> Running; --failed--> back to Idle or Paused
//   Preparing, Waiting, Running --pause()--> Paused
//   Running --the box is full--> Idle
//   Paused --startAfresh()--> Idle
enum class RunState {
    Idle,      // nothing to continue: the next start clears the box
    Preparing, // the worker reads and prepares the file for this start
    Waiting,   // this start waits for a dropped preparation to end
    Running,   // generating, a piece per pass of the event loop
    Paused,    // the next start continues after a separator
};

// What one start or continuation works from: read from the window at the click.
struct RunRequest {
    QString path;
    PreparationOptions options;
    int order = 4;        // 1..10
    int boxLength = 0;    // characters in the output box now, CR LF counting two
    int boxMaxLength = 0; // the box's maximum length
};

// Starts, pauses, continues and restarts generation. It knows no widget: it
// tells its owner, the main window, what to do with the output box and what
// state the run is in, through signals.
//
// A run is driven by the event loop: a zero-interval timer generates one
// piece per pass, so the window repaints and handles every other event
// between two pieces; when drawing makes a pass slow, a pass hands over the
// pieces a steady pace owes in one go. Reading and preparing the file happen
// on a worker thread that the run control owns, one preparation at a time, so
// even a very large file never freezes the window.
//
// The run control owns what the runs made (KeptWork): the prepared text and
// the index. A preparation borrows them and gives them back however it ends,
// finished, failed or dropped (paused, or the run control destroyed, which
// tells it to stop and waits for it), with what no longer serves freed
// before anything new was built. They are freed when another file is chosen.
class RunControl : public QObject {
    Q_OBJECT
public:
    explicit RunControl(QObject *parent = nullptr);
    ~RunControl() override;

    RunState state() const { return m_state; }

    // Idle: asks for the box to be cleared; paused: for the separator when the
    // box holds text, together with the first piece. Then reads and prepares
    // the file and generates into the box until paused or until the box is
    // full. A failure to read or prepare brings the state back to what it was
    // and is reported by startFailed().
    void start(const RunRequest &request);

    // Stops generating (or drops the preparation under way): Paused.
    void pause();

    // A new source file was chosen: the next start begins afresh, and what
    // the runs made is freed.
    void startAfresh();

signals:
    void stateChanged(RunState state);
    // A stage of a preparation began. A dropped preparation's stages come
    // before it hands the run back, while the state is Paused or Waiting:
    // the stages of the preparation the user waits for come while Preparing.
    void stageChanged(RunStage stage);
    // A preparation that takes long tells how far it is: from 0.3 s after the
    // click, ten times a second while Preparing. Short work tells nothing,
    // so that nothing flickers.
    void progressed(const StageProgress &progress);
    void clearRequested();
    void appendRequested(const QString &text);
    // The file could not be read or prepared: nothing was generated, and the
    // state is back to what it was before the start.
    void startFailed(const QString &message);
    // Generation stopped on an error; the text so far stays, the run is paused.
    void generationFailed(const QString &message);

private:
    struct Preparation;
    void launchPreparation();
    void prepared();
    void firstPieces();
    void step();
    void setState(RunState state);
    void reportProgress();
    void appendAndCount(const QString &text);

    RunState m_state = RunState::Idle;
    RunRequest m_request;
    bool m_continuing = false; // the request continues a paused run

    // The worker's one thread, and the preparation it is doing, which holds
    // m_run from its launch until prepared() takes it back (the watcher's
    // future may have ended before that).
    QThreadPool m_worker;
    std::shared_ptr<Preparation> m_preparation;
    QFutureWatcher<void> m_watcher;
    std::shared_ptr<Cancellation> m_cancellation;
    QElapsedTimer m_sinceStart;
    QTimer m_progressTimer;

    QTimer m_stepper;
    // The work the runs made, and the generator of the current run.
    GenerationRun m_run;
    int m_boxLength = 0;
    int m_stopLength = 0;
    QElapsedTimer m_sinceLastStep;
    double m_piecesOwed = 0;
};
