#pragma once

#include "result.h"
#include "work_look.h"

#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <utility>

// The stages of a run from a file, each begun only when its product is not
// kept (a kept text is checked by the file's digest first).
enum class RunStage { Digest, Reading, Decoding, Preparing, Indexing, Seeding };

// The stage's name, as the user reads it.
inline QString RunStageName(RunStage stage)
{
    switch (stage) {
    case RunStage::Digest:
        return QStringLiteral("Verifica del file");
    case RunStage::Reading:
        return QStringLiteral("Lettura del file");
    case RunStage::Decoding:
        return QStringLiteral("Decodifica del testo");
    case RunStage::Preparing:
        return QStringLiteral("Preparazione del testo");
    case RunStage::Indexing:
        return QStringLiteral("Costruzione dell'indice");
    case RunStage::Seeding:
        return QStringLiteral("Avvio della generazione");
    }
    return QString();
}

// How far the stage under way is: the units of its work done so far (a
// look's units count once begun, and never go back within the stage), of
// `work` (0 when not known beforehand, as for standard input).
struct StageProgress {
    RunStage stage;
    qint64 done = 0;
    qint64 work = 0;
    // The share done, from 0 to 1; 0 when the work is not known.
    double fraction() const { return work > 0 ? std::min(1.0, double(done) / double(work)) : 0; }
};

// Lets the thread that asked for a long piece of work tell it that the result
// is no longer wanted: the work looks at it as it goes and gives up promptly,
// freeing what it holds. Through the same looks the work tells it how far it
// is, which any thread may read; it tells, on its own thread, which stage it
// begins (while the progress is still the last stage's, at its end).
class Cancellation {
public:
    Cancellation() = default;
    explicit Cancellation(std::function<void(RunStage)> stageBegins)
        : m_stageBegins(std::move(stageBegins))
    {
    }

    void cancel() noexcept { m_cancelled.store(true, std::memory_order_relaxed); }
    bool cancelled() const noexcept { return m_cancelled.load(std::memory_order_relaxed); }

    // `stage` begins, with `work` units to do (0 when not known beforehand).
    void begin(RunStage stage, qint64 work)
    {
        if (m_stageBegins)
            m_stageBegins(stage);
        const std::lock_guard lock(m_stageLock);
        m_stage = stage;
        m_work = work;
        m_done.store(0, std::memory_order_relaxed);
    }

    // A look from the work, on any of its threads: `units` more of the
    // stage's work are done or begun. True when the work should stop.
    bool look(qint64 units) noexcept
    {
        m_done.fetch_add(units, std::memory_order_relaxed);
        return cancelled();
    }

    // The stage under way and how far it is; none before the first stage.
    std::optional<StageProgress> progress() const
    {
        const std::lock_guard lock(m_stageLock);
        if (!m_stage)
            return std::nullopt;
        return StageProgress{*m_stage, m_done.load(std::memory_order_relaxed), m_work};
    }

private:
    std::atomic<bool> m_cancelled{false};
    std::function<void(RunStage)> m_stageBegins;
    mutable std::mutex m_stageLock; // the stage and its work change together
    std::optional<RunStage> m_stage;
    qint64 m_work = 0;
    std::atomic<qint64> m_done{0};
};

// True when `cancel` is given and has been cancelled.
inline bool IsCancelled(const Cancellation *cancel)
{
    return cancel && cancel->cancelled();
}

// Tells `cancel`, when given, that `stage` begins with `work` units to do;
// true while the work is wanted.
inline bool BeginStage(Cancellation *cancel, RunStage stage, qint64 work = 0)
{
    if (cancel)
        cancel->begin(stage, work);
    return !IsCancelled(cancel);
}

// A look at `cancel`, when given, telling it of `units` more work done: true
// when the work should stop.
inline bool StopAsked(Cancellation *cancel, qint64 units)
{
    return cancel && cancel->look(units);
}

// The look that tells `cancel` of the work a platform routine does.
inline WorkLook LookAt(Cancellation *cancel)
{
    if (!cancel)
        return {};
    return [cancel](qint64 units) { return cancel->look(units); };
}

// What work that gave up on a cancellation returns.
inline Error CancelledError()
{
    return Error{QStringLiteral("Preparazione annullata"), QStringLiteral("cancelled")};
}
