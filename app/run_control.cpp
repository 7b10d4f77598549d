#include "run_control.h"

#include "box_text.h"
#include "random_source.h"

#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <utility>

namespace {

// The pace a run keeps up when drawing is slow: about what one piece per pass
// of the event loop gives on a plain text, so the user can watch and pause.
constexpr double kPiecesPerSecond = 8000;
constexpr double kMostPiecesPerPass = 2000;

// A preparation's progress is told from this long after the click, and then
// this often.
constexpr qint64 kProgressDelayMs = 300;
constexpr int kProgressIntervalMs = 100;

} // namespace

// A preparation on the worker: the run it borrows, which it hands back
// however it ends, with the outcome.
struct RunControl::Preparation {
    GenerationRun run;
    Status status = Done{};
};

RunControl::RunControl(QObject *parent) : QObject(parent)
{
    m_worker.setMaxThreadCount(1);
    m_stepper.setInterval(0);
    connect(&m_stepper, &QTimer::timeout, this, &RunControl::step);
    connect(&m_watcher, &QFutureWatcher<void>::finished, this, &RunControl::prepared);
    m_progressTimer.setInterval(kProgressIntervalMs);
    connect(&m_progressTimer, &QTimer::timeout, this, &RunControl::reportProgress);
}

RunControl::~RunControl()
{
    if (m_cancellation)
        m_cancellation->cancel();
    m_worker.waitForDone();
}

void RunControl::start(const RunRequest &request)
{
    if (m_state != RunState::Idle && m_state != RunState::Paused)
        return;
    m_continuing = m_state == RunState::Paused;
    m_request = request;
    m_sinceStart.start();
    m_boxLength = m_continuing ? request.boxLength : 0;
    if (!m_continuing)
        emit clearRequested();
    // One preparation at a time: one that was dropped but has not handed the
    // run back yet is waited for (it stops promptly).
    if (m_preparation)
        setState(RunState::Waiting);
    else
        launchPreparation();
}

void RunControl::launchPreparation()
{
    setState(RunState::Preparing);
    // The stages are told on the worker, and reach this thread in order.
    m_cancellation = std::make_shared<Cancellation>([this](RunStage stage) {
        QMetaObject::invokeMethod(
            this, [this, stage] { emit stageChanged(stage); }, Qt::QueuedConnection);
    });
    m_preparation = std::make_shared<Preparation>();
    m_preparation->run = std::move(m_run);
    m_progressTimer.start();
    m_watcher.setFuture(QtConcurrent::run(
        &m_worker, [preparation = m_preparation, request = m_request,
                    seed = RandomSource::timeOfDaySeed(), cancel = m_cancellation] {
            preparation->status =
                StartGenerationFromFile(preparation->run, request.path, request.options,
                                        request.order, kDefaultEngine, seed, cancel.get());
        }));
}

void RunControl::pause()
{
    if (m_state == RunState::Preparing)
        m_cancellation->cancel();
    m_stepper.stop();
    setState(RunState::Paused);
}

void RunControl::startAfresh()
{
    if (m_state == RunState::Paused)
        setState(RunState::Idle);
    if (m_state == RunState::Idle)
        m_run.work.clear(); // nothing of it serves another file
}

void RunControl::prepared()
{
    // The run comes back however the preparation ended, with every product
    // that still serves.
    const std::shared_ptr<Preparation> preparation = std::exchange(m_preparation, nullptr);
    m_run = std::move(preparation->run);
    switch (m_state) {
    case RunState::Waiting:
        launchPreparation();
        return;
    case RunState::Preparing:
        break;
    case RunState::Idle: // another file was chosen meanwhile
        m_run.work.clear();
        [[fallthrough]];
    default: // paused: nobody wants this start any more
        m_run.generator.reset();
        return;
    }
    if (!preparation->status) {
        setState(m_continuing ? RunState::Paused : RunState::Idle);
        emit startFailed(preparation->status.error().message);
        return;
    }
    firstPieces();
}

void RunControl::firstPieces()
{
    setState(RunState::Running);
    // A continuation's separator comes with its first piece, so that a pause
    // before it leaves the box as it was and the next continuation adds one.
    if (m_continuing && m_boxLength > 0)
        appendAndCount(QString(SeparatorFor(m_request.options)));
    // The run stops 2 x O characters short of the box's maximum, O being the
    // context length (the order minus one). A piece may still go past that
    // line: a restart is the separator and a context, up to 2 x O + 2 box
    // characters when all are line breaks (counted two each), and the box
    // does not cut what is appended.
    const int contextLength = m_run.generator->contextLength();
    m_stopLength = m_request.boxMaxLength - 2 * contextLength;
    if (contextLength > 0)
        appendAndCount(m_run.generator->context());
    m_piecesOwed = 0;
    m_sinceLastStep.invalidate();
    m_stepper.start();
}

void RunControl::step()
{
    if (m_state != RunState::Running) {
        m_stepper.stop();
        return;
    }
    // Normally one piece per pass. When a pass takes long (one long paragraph
    // that the box lays out again at every insertion), the pieces the steady
    // pace owes are appended together, so the text keeps growing at the same
    // speed and the window still answers between two passes.
    const double elapsed = m_sinceLastStep.isValid() ? m_sinceLastStep.nsecsElapsed() * 1e-9 : 0;
    m_sinceLastStep.start();
    m_piecesOwed = std::min(m_piecesOwed + elapsed * kPiecesPerSecond, kMostPiecesPerPass);
    const int pieces = std::max(1, int(m_piecesOwed));
    m_piecesOwed = std::max(0.0, m_piecesOwed - pieces);

    // Each piece is appended before the box is measured, so a run always adds
    // at least one piece after its seed, and the last may go past the limit.
    QString batch;
    int length = m_boxLength;
    bool full = false;
    for (int i = 0; i < pieces && !full; ++i) {
        Result<QString> piece = m_run.generator->NextPiece();
        if (!piece) {
            appendAndCount(batch);
            pause();
            emit generationFailed(
                QStringLiteral("La generazione si è interrotta:\n%1").arg(piece.error().message));
            return;
        }
        batch += piece.value();
        length += BoxLength(piece.value());
        full = length >= m_stopLength;
    }
    appendAndCount(batch);
    if (full) {
        // The box is full: the run ends by itself and the next one starts afresh.
        m_stepper.stop();
        setState(RunState::Idle);
    }
}

void RunControl::appendAndCount(const QString &text)
{
    m_boxLength += BoxLength(text);
    emit appendRequested(text);
}

void RunControl::setState(RunState state)
{
    m_state = state;
    if (state != RunState::Preparing)
        m_progressTimer.stop();
    emit stateChanged(state);
}

void RunControl::reportProgress()
{
    if (m_sinceStart.elapsed() < kProgressDelayMs)
        return;
    if (const std::optional<StageProgress> progress = m_cancellation->progress())
        emit progressed(*progress);
}
