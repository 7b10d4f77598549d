#pragma once

#include "result.h"

#include <atomic>
#include <functional>
#include <utility>

// The stages of a run from a file, each begun only when its product is not
// kept (a kept text is checked by the file's digest first).
enum class RunStage { Digest, Reading, Decoding, Preparing, Indexing, Seeding };

// Lets the thread that asked for a long piece of work tell it that the result
// is no longer wanted: the work looks at it as it goes and gives up promptly,
// freeing what it holds. The work tells it, on its own thread, which stage
// it begins.
class Cancellation {
public:
    Cancellation() = default;
    explicit Cancellation(std::function<void(RunStage)> stageBegins)
        : m_stageBegins(std::move(stageBegins))
    {
    }

    void cancel() noexcept { m_cancelled.store(true, std::memory_order_relaxed); }
    bool cancelled() const noexcept { return m_cancelled.load(std::memory_order_relaxed); }

    void begin(RunStage stage) const
    {
        if (m_stageBegins)
            m_stageBegins(stage);
    }

private:
    std::atomic<bool> m_cancelled{false};
    std::function<void(RunStage)> m_stageBegins;
};

// True when `cancel` is given and has been cancelled.
inline bool IsCancelled(const Cancellation *cancel)
{
    return cancel && cancel->cancelled();
}

// Tells `cancel`, when given, that `stage` begins; true while the work is wanted.
inline bool BeginStage(const Cancellation *cancel, RunStage stage)
{
    if (cancel)
        cancel->begin(stage);
    return !IsCancelled(cancel);
}

// What work that gave up on a cancellation returns.
inline Error CancelledError()
{
    return Error{QStringLiteral("Preparazione annullata"), QStringLiteral("cancelled")};
}
