#pragma once

#include "cancellation.h"

#include <condition_variable>
#include <mutex>
#include <thread>

// How far the preparation is, on one line of standard error that rewrites
// itself ("Costruzione dell'indice: 42%"), as command-line tools that take
// seconds show it: only when standard error is a terminal, and only once the
// preparation has taken about a second, so that a short one leaves no trace.
// A helper thread reads the progress a few times a second; the preparation
// itself runs undisturbed on its own thread.
class ProgressLine {
public:
    // Watches the stages told to `stages`, which must outlive it, when
    // standard error is a terminal; otherwise does nothing. The reading stage
    // is named after standard input when `fromStandardInput`.
    ProgressLine(const Cancellation &stages, bool fromStandardInput);
    // Stops watching and erases the line if it was shown: what is written
    // next (the text, an error) starts on a clean line.
    ~ProgressLine();
    ProgressLine(const ProgressLine &) = delete;
    ProgressLine &operator=(const ProgressLine &) = delete;

private:
    void watch();

    const Cancellation &m_stages;
    const bool m_fromStandardInput;
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_stopping = false;
    bool m_shown = false; // set by the helper thread, read once it has ended
    std::thread m_thread;
};
