#pragma once

#include "engine.h"

#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class frmGramisola;

// The run button's behaviour: starts, pauses, continues and restarts
// generation into the output box. The caption of cmdExec is the run state
// ("Esegui" idle, "Interrompi" running, "Continua" paused).
//
// A run is driven by the event loop: a zero-interval timer appends one piece
// per pass, so the window repaints and handles every other event between two
// pieces; when drawing makes a pass slow, a pass appends the pieces a steady
// pace owes in one insertion. Reading and preparing the file happen on a worker thread, so even a
// very large file never freezes the window; the output box is cleared (or
// given its separator) only once the new run is ready, so a file that cannot
// be read leaves the box and the controls exactly as they were.
class RunControl : public QObject {
    Q_OBJECT
public:
    // Takes over the clicks of the window's cmdExec; owned by the window.
    explicit RunControl(frmGramisola *window);
    ~RunControl() override;

    // The click of cmdExec.
    void runOrPause();

    // Where each run's seed comes from (the time of day unless a test or a
    // benchmark sets it), and which finder the generator uses.
    void setSeedSource(std::function<std::uint64_t()> seeds) { m_seeds = std::move(seeds); }
    void setEngine(Engine engine) { m_engine = engine; }

    // True while the file of the wanted run is read and prepared.
    bool preparing() const { return m_wanted && m_watcher.isRunning(); }

    // Workers still reading or preparing a file, wanted or not. The program
    // does not wait for them when it ends.
    static int workersInFlight();

signals:
    // A run has ended by itself: the output box is full.
    void boxFilled();
    // A run (start or continuation) has appended its seed and generates.
    void generating();

private:
    struct Prepared;
    void start();
    void pause();
    void prepared();
    void step();
    void finishFull();
    // Back to the caption and controls of before the click, after a failure.
    void restore(const QString &message);

    frmGramisola *m_window;
    std::function<std::uint64_t()> m_seeds;
    Engine m_engine = kDefaultEngine;

    QTimer m_stepper;
    QFutureWatcher<std::shared_ptr<Prepared>> m_watcher;
    // False once the run being prepared was paused: its result is dropped.
    bool m_wanted = false;
    QString m_captionBefore;

    std::optional<GenerationRun> m_run;
    int m_stopLength = 0;
    QElapsedTimer m_sinceLastStep;
    double m_piecesOwed = 0;
};
