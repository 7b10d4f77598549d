#pragma once

#include <system_error>
#include <thread>

// Runs first() on this thread and second() beside it on another, when
// there is a second core and a thread to be had; else one after the other.
// Neither may throw.
template <typename First, typename Second> void RunSideBySide(First first, Second second)
{
    std::thread helper;
    if (std::thread::hardware_concurrency() > 1) {
        try {
            helper = std::thread(second);
        } catch (const std::system_error &) {
            // No thread to be had: this one does both.
        }
    }
    first();
    if (helper.joinable())
        helper.join();
    else
        second();
}
