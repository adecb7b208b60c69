// Test helper: polls a condition while the main thread's queued calls keep running.
#pragma once

#include "classlib/Threads.h"

#include <functional>

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
