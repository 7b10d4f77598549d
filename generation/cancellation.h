#pragma once

#include "result.h"

#include <atomic>

// Lets the thread that asked for a long piece of work (preparing a text,
// building an index) tell it that the result is no longer wanted. The work
// looks at it as it goes and gives up promptly, freeing what it holds.
class Cancellation {
public:
    void cancel() noexcept { m_cancelled.store(true, std::memory_order_relaxed); }
    bool cancelled() const noexcept { return m_cancelled.load(std::memory_order_relaxed); }

private:
    std::atomic<bool> m_cancelled{false};
};

// True when `cancel` is given and has been cancelled.
inline bool IsCancelled(const Cancellation *cancel)
{
    return cancel && cancel->cancelled();
}

// What work that gave up on a cancellation returns.
inline Error CancelledError()
{
    return Error{QStringLiteral("Preparazione annullata"), QStringLiteral("cancelled")};
}
