#pragma once

#include <exception>
#include <system_error>
#include <thread>

// Runs first() on this thread and second() beside it on another, when
// there is a second core and a thread to be had; else one after the other.
// Answers whether both answered true. An exception from either is thrown
// here once neither runs any more.
template <typename First, typename Second> bool RunSideBySide(First first, Second second)
{
    bool secondDone = false;
    std::exception_ptr secondFailure;
    const auto runSecond = [&] {
        try {
            secondDone = second();
        } catch (...) {
            secondFailure = std::current_exception();
        }
    };
    std::thread helper;
    if (std::thread::hardware_concurrency() > 1) {
        try {
            helper = std::thread(runSecond);
        } catch (const std::system_error &) {
            // No thread to be had: this one does both.
        }
    }
    bool firstDone = false;
    try {
        firstDone = first();
    } catch (...) {
        if (helper.joinable())
            helper.join();
        throw;
    }
    if (helper.joinable())
        helper.join();
    else
        runSecond();
    if (secondFailure)
        std::rethrow_exception(secondFailure);
    return firstDone && secondDone;
}
