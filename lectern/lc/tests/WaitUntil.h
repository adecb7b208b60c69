// Test helpers: poll a condition, the main thread's queued calls or a given step running between
// looks.
#pragma once

#include "classlib/Threads.h"

#include <chrono>
#include <functional>
#include <thread>

// True once the condition holds; false when it still does not after about 5 s.
inline bool WaitUntil(const std::function<bool()>& condition)
{
    for (int i = 0; i < 5000; ++i) {
        if (condition()) {
            return true;
        }
        CheckSynchronize(1);
    }
    return condition();
}

// Waits up to `seconds` for done(), running `poll` (when given) between looks.
inline bool WaitFor(const std::function<bool()>& done, const std::function<void()>& poll = nullptr, int seconds = 20)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        if (poll)
            poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
