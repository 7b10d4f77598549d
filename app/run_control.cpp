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

} // namespace

// What the worker hands back: a run ready for its first piece, or the
// reason there is none.
struct RunControl::Prepared {
    std::optional<GenerationRun> run;
    QString failure;
};

RunControl::RunControl(QObject *parent) : QObject(parent)
{
    m_worker.setMaxThreadCount(1);
    m_stepper.setInterval(0);
    connect(&m_stepper, &QTimer::timeout, this, &RunControl::step);
    connect(&m_watcher, &QFutureWatcher<std::shared_ptr<Prepared>>::finished, this,
            &RunControl::prepared);
}

RunControl::~RunControl()
{
    if (m_cancellation)
        m_cancellation->cancel();
    m_worker.waitForDone();
}

void RunControl::start(const RunRequest &request)
{
    if (m_state == RunState::Running)
        return;
    m_stateBefore = m_state;
    m_request = request;
    m_boxLength = request.boxLength;
    if (m_state == RunState::Idle) {
        m_boxLength = 0;
        emit clearRequested();
    }
    setState(RunState::Running);
    setPreparing(true);

    // One preparation at a time: one that was dropped but has not stopped yet
    // is waited for (it stops promptly) before this one begins.
    if (m_watcher.isRunning())
        m_waiting = true;
    else
        launchPreparation();
}

void RunControl::launchPreparation()
{
    m_waiting = false;
    m_cancellation = std::make_shared<Cancellation>();
    const RunRequest request = m_request;
    const std::uint64_t seed = RandomSource::timeOfDaySeed();
    // The last run goes to the worker, which takes over what still serves and
    // frees the rest before it builds anything.
    auto kept = std::make_shared<std::optional<GenerationRun>>(std::exchange(m_run, std::nullopt));
    m_watcher.setFuture(
        QtConcurrent::run(&m_worker, [request, seed, cancel = m_cancellation, kept]() {
            auto result = std::make_shared<Prepared>();
            Result<GenerationRun> run =
                StartGenerationFromFile(request.path, request.options, request.order,
                                        kDefaultEngine, seed, cancel.get(), std::move(*kept));
            if (!run)
                result->failure = run.error().message;
            else
                result->run = std::move(run).value();
            return result;
        }));
}

void RunControl::pause()
{
    if (m_preparing && m_cancellation)
        m_cancellation->cancel();
    m_waiting = false;
    setPreparing(false);
    m_stepper.stop();
    setState(RunState::Paused);
}

void RunControl::startAfresh()
{
    if (m_state != RunState::Running)
        m_run.reset(); // nothing of it serves another file
    if (m_state == RunState::Paused)
        setState(RunState::Idle);
}

void RunControl::prepared()
{
    // Take the run out of the finished future, so that an unwanted one is
    // freed here and now rather than when the next preparation replaces it.
    std::optional<GenerationRun> run = std::move(m_watcher.result()->run);
    const QString failure = m_watcher.result()->failure;
    if (m_waiting) {
        run.reset();
        launchPreparation();
        return;
    }
    if (!m_preparing)
        return; // paused meanwhile: nobody wants this run
    setPreparing(false);
    if (!run) {
        setState(m_stateBefore);
        emit startFailed(failure);
        return;
    }

    m_run = std::move(run);
    // A continuation's separator comes with its first piece, so that a pause
    // before it leaves the box as it was and the next continuation adds one.
    if (m_stateBefore == RunState::Paused && m_boxLength > 0)
        appendAndCount(QString(SeparatorFor(m_request.options)));
    // The run stops 2 x O characters short of the box's maximum, O being the
    // context length (the order minus one). A piece may still go past that
    // line: a restart is the separator and a context, up to 2 x O + 2 box
    // characters when all are line breaks (counted two each), and the box
    // does not cut what is appended.
    const int contextLength = m_run->generator->contextLength();
    m_stopLength = m_request.boxMaxLength - 2 * contextLength;
    if (contextLength > 0)
        appendAndCount(m_run->generator->context());
    m_piecesOwed = 0;
    m_sinceLastStep.invalidate();
    m_stepper.start();
}

void RunControl::step()
{
    if (!m_run || m_state != RunState::Running) {
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
        Result<QString> piece = m_run->generator->NextPiece();
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
    emit stateChanged(state);
}

void RunControl::setPreparing(bool preparing)
{
    if (m_preparing == preparing)
        return;
    m_preparing = preparing;
    emit preparingChanged(preparing);
}
