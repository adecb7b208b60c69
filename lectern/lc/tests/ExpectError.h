// Test helper: expects fn to raise exactly the exception class E with exactly this message.
#pragma once

#include <gtest/gtest.h>

#include <string>

template <class E, class Fn>
void ExpectError(Fn fn, const std::string& message)
{
    try {
        fn();
        ADD_FAILURE() << "nothing raised; expected \"" << message << "\"";
    } catch (const E& e) {
        EXPECT_EQ(e.Message(), message);
    }
}
