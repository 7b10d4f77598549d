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
#include <optional>

// Where a run stands; the main window shows it as the caption of cmdExec.
enum class RunState {
    Idle,    // the next start clears the box
    Running, // preparing the file, then generating
    Paused,  // the next start continues after a separator
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
// even a very large file never freezes the window; a preparation nobody wants
// any more (the run was paused, or the run control is being destroyed) is told
// to stop and frees its memory before the next one starts.
class RunControl : public QObject {
    Q_OBJECT
public:
    explicit RunControl(QObject *parent = nullptr);
    // Tells a preparation under way to stop and waits for it; the preparation
    // looks for that request as it goes and gives up promptly.
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

    // A new source file was chosen: the next start begins afresh, and the
    // last run is freed.
    void startAfresh();

signals:
    void stateChanged(RunState state);
    // True from a start until its first piece, a pause or a failure: the
    // file is being read and prepared.
    void preparingChanged(bool preparing);
    void clearRequested();
    void appendRequested(const QString &text);
    // The file could not be read or prepared: nothing was generated, and the
    // state is back to what it was before the start.
    void startFailed(const QString &message);
    // Generation stopped on an error; the text so far stays, the run is paused.
    void generationFailed(const QString &message);

private:
    struct Prepared;
    void launchPreparation();
    void prepared();
    void step();
    void setState(RunState state);
    void setPreparing(bool preparing);
    void appendAndCount(const QString &text);

    RunState m_state = RunState::Idle;
    RunState m_stateBefore = RunState::Idle;
    bool m_preparing = false;

    // The worker's one thread, and the preparation it is doing; m_waiting when
    // the current request waits for a preparation nobody wants any more to end.
    QThreadPool m_worker;
    QFutureWatcher<std::shared_ptr<Prepared>> m_watcher;
    std::shared_ptr<Cancellation> m_cancellation;
    bool m_waiting = false;
    RunRequest m_request;

    QTimer m_stepper;
    // The run being generated; paused or ended, the last one, which the next
    // start takes over as far as its file, options and order allow.
    std::optional<GenerationRun> m_run;
    int m_boxLength = 0;
    int m_stopLength = 0;
    QElapsedTimer m_sinceLastStep;
    double m_piecesOwed = 0;
};
