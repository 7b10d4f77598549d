#pragma once

#include "result.h"

#include <atomic>
#include <functional>
#include <utility>

// The stages of a run from a file. A run that may take over a kept text
// digests the file first; one that prepares afresh reads it, digests the
// bytes it read, decodes and prepares them; then the index is built (when the
// order needs one and none is kept) and the first context is chosen.
enum class RunStage { Digest, Reading, Decoding, Preparing, Indexing, Seeding };

// Lets the thread that asked for a long piece of work (preparing a text,
// building an index) tell it that the result is no longer wanted. The work
// looks at it as it goes and gives up promptly, freeing what it holds; and
// it tells it, through the function given at construction, which stage it
// has begun, on the working thread.
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

// Tells `cancel`, when given, that `stage` begins; true when the work is
// still wanted, so that a stage cancelled before it begins does nothing.
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
