// Test helper: small values and the comparison of trees for the value-format tests.
#pragma once

#include "lectern/lc/tests/RandomValues.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

using Obj = std::unique_ptr<TLcValueObject>;

// A new T, filled by set.
template <class T, class Set>
Obj Make(Set&& set)
{
    auto v = std::make_unique<T>();
    set(*v);
    return v;
}

inline Obj Str(const std::string& s) { return Make<TLcStringValue>([&](auto& v) { v.SetString(s); }); }
inline Obj Int(int32_t i) { return Make<TLcIntegerValue>([&](auto& v) { v.SetInteger(i); }); }

inline void ExpectSame(TLcValueObject* a, TLcValueObject* b, const std::string& context)
{
    std::string why;
    EXPECT_TRUE(SameValue(a, b, why)) << context << ": " << why;
}
