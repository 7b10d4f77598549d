#include "run_control.h"

#include "frm_gramisola.h"
#include "frm_opzioni.h"
#include "random_source.h"
#include "result_box.h"
#include "source_text.h"

#include <QMessageBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <atomic>

namespace {

const QString kIdle = QStringLiteral("Esegui");
const QString kRunning = QStringLiteral("Interrompi");
const QString kPaused = QStringLiteral("Continua");

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
    QChar separator;
};

RunControl::RunControl(frmGramisola *window)
    : QObject(window), m_window(window), m_seeds(&RandomSource::timeOfDaySeed)
{
    connect(window->cmdExec, &QPushButton::clicked, this, &RunControl::runOrPause);
    m_stepper.setInterval(0);
    connect(&m_stepper, &QTimer::timeout, this, &RunControl::step);
    connect(&m_watcher, &QFutureWatcher<std::shared_ptr<Prepared>>::finished, this,
            &RunControl::prepared);
}

// The worker owns copies of everything it uses, so nothing waits for it.
RunControl::~RunControl() = default;

namespace {
std::atomic<int> s_workers{0};
}

int RunControl::workersInFlight() { return s_workers.load(); }

void RunControl::runOrPause()
{
    if (m_window->txtFilename->text().isEmpty()) {
        QMessageBox::warning(m_window, m_window->windowTitle(),
                             QStringLiteral("Selezionare il nome di un file di testo"));
        return;
    }
    if (m_window->cmdExec->text() == kRunning)
        pause();
    else
        start();
}

void RunControl::pause()
{
    m_stepper.stop();
    m_run.reset();
    m_wanted = false; // a preparation still under way is no longer wanted
    m_window->cmdExec->setText(kPaused);
    m_window->setRunControlsEnabled(true);
}

void RunControl::start()
{
    m_captionBefore = m_window->cmdExec->text();
    m_window->cmdExec->setText(kRunning);
    m_window->setRunControlsEnabled(false);

    const QString path = m_window->txtFilename->text();
    const PreparationOptions options = m_window->optionsDialog()->options();
    const int order = m_window->selectedContextLength() + 1;
    const std::uint64_t seed = m_seeds();
    const Engine engine = m_engine;

    m_wanted = true;
    ++s_workers;
    m_watcher.setFuture(QtConcurrent::run([=]() {
        struct Done {
            ~Done() { --s_workers; }
        } done;
        auto result = std::make_shared<Prepared>();
        result->separator = SeparatorFor(options);
        Result<QString> content = ReadSourceText(path);
        if (!content) {
            result->failure = content.error().message;
            return result;
        }
        Result<GenerationRun> run = StartGeneration(content.value(), options, order, engine, seed);
        if (!run) {
            result->failure = QStringLiteral("Impossibile elaborare il file \"%1\":\n%2")
                                  .arg(path, run.error().message);
            return result;
        }
        result->run = std::move(run).value();
        return result;
    }));
}

void RunControl::prepared()
{
    if (!m_wanted)
        return;
    m_wanted = false;
    const std::shared_ptr<Prepared> result = m_watcher.result();
    if (!result->run) {
        restore(result->failure);
        return;
    }

    // Only now, with a run ready, does the box change.
    if (m_captionBefore == kIdle)
        m_window->ClearResult();
    else if (m_window->txtResult->textLength() > 0)
        m_window->AppendResult(QString(result->separator));

    m_run = std::move(result->run);
    const int contextLength = m_run->generator->contextLength();
    m_stopLength = m_window->txtResult->MaxLength() - 2 * contextLength;
    if (contextLength > 0)
        m_window->AppendResult(m_run->generator->context());
    m_piecesOwed = 0;
    m_sinceLastStep.invalidate();
    m_stepper.start();
    emit generating();
}

void RunControl::step()
{
    if (!m_run) {
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

    QString batch;
    int length = m_window->txtResult->textLength();
    bool full = false;
    for (int i = 0; i < pieces && !full; ++i) {
        Result<QString> piece = m_run->generator->NextPiece();
        if (!piece) {
            // The text so far stays; the user may continue or change the options.
            m_window->AppendResult(batch);
            pause();
            QMessageBox::warning(m_window, m_window->windowTitle(),
                                 QStringLiteral("La generazione si è interrotta:\n%1")
                                     .arg(piece.error().message));
            return;
        }
        batch += piece.value();
        // The box shows each CR as CR LF, and its length counts both.
        length += int(piece.value().size() + piece.value().count(u'\r'));
        full = length >= m_stopLength;
    }
    m_window->AppendResult(batch);
    if (full)
        finishFull();
}

void RunControl::finishFull()
{
    m_stepper.stop();
    m_run.reset();
    m_window->cmdExec->setText(kIdle);
    // Unlike a pause, nothing else would enable these: the user may want to
    // change the file, the options or the order before the next run.
    m_window->setRunControlsEnabled(true);
    emit boxFilled();
}

void RunControl::restore(const QString &message)
{
    m_window->cmdExec->setText(m_captionBefore);
    m_window->setRunControlsEnabled(true);
    QMessageBox::warning(m_window, m_window->windowTitle(), message);
}
