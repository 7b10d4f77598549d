#pragma once

#include <atomic>
#include <exception>
#include <system_error>
#include <thread>

// Runs first() on this thread and second() beside it on another, when
// there is a second core and a thread to be had; else one after the other.
// A side that fails (answers false or throws) sets `stop`, which both sides
// look at as they go: the other then ends too, instead of working on for a
// result nobody will take. Answers whether both answered true. An exception
// from either (the first's, when both throw) is thrown here once neither runs.
template <typename First, typename Second>
bool RunSideBySide(std::atomic<bool> &stop, First first, Second second)
{
    const auto run = [&stop](auto &side, std::exception_ptr &failure) {
        bool done = false;
        try {
            done = side();
        } catch (...) {
            failure = std::current_exception();
        }
        if (!done)
            stop.store(true, std::memory_order_relaxed);
        return done;
    };
    bool secondDone = false;
    std::exception_ptr firstFailure, secondFailure;
    const auto runSecond = [&] { secondDone = run(second, secondFailure); };
    std::thread helper;
    if (std::thread::hardware_concurrency() > 1) {
        try {
            helper = std::thread(runSecond);
        } catch (const std::system_error &) {
            // No thread to be had: this one does both.
        }
    }
    const bool firstDone = run(first, firstFailure);
    if (helper.joinable())
        helper.join();
    else
        runSecond();
    for (const std::exception_ptr &failure : {firstFailure, secondFailure})
        if (failure)
            std::rethrow_exception(failure);
    return firstDone && secondDone;
}
