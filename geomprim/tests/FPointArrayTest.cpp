#include "FPointArray.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

namespace {

void ExpectSubscriptError(const std::function<void()>& f, const char* what) {
  try {
    f();
    ADD_FAILURE() << what << " did not throw";
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "invalid vector<T> subscript") << what;
  }
}

void ExpectPoint(const BCFPoint& p, float x, float z) {
  EXPECT_EQ(p.x, x);
  EXPECT_EQ(p.y, z);
  EXPECT_EQ(p.eps, 0.0f);
}

TEST(FPointArray, EmptyArrayRefusesEveryAccess) {
  FPointArray a;
  EXPECT_EQ(a.Size(), 0);
  EXPECT_EQ(a.Bytes(), 0);
  ExpectSubscriptError([&] { a.Ptr(); }, "Ptr");
  ExpectSubscriptError([&] { a.First(); }, "First");
  ExpectSubscriptError([&] { a.Last(); }, "Last");
  ExpectSubscriptError([&] { a.GetX(0); }, "GetX");
  ExpectSubscriptError([&] { a.SetZ(0, 1); }, "SetZ");
}

TEST(FPointArray, AddGetAndLayout) {
  FPointArray a;
  a.Add(1, 2);
  a.Add(BCFPoint(3, 4, 0.5f));
  ASSERT_EQ(a.Size(), 2);
  EXPECT_EQ(a.Bytes(), 16);
  ExpectPoint(a.Get(1), 3, 4);
  ExpectPoint(a.First(), 1, 2);
  ExpectPoint(a.Last(), 3, 4);
  const float* block = a.Ptr();
  EXPECT_EQ(block[0], 1.0f);
  EXPECT_EQ(block[1], 2.0f);
  EXPECT_EQ(block[2], 3.0f);
  EXPECT_EQ(block[3], 4.0f);

  a.Set(0, BCFPoint(5, 6, 9));
  a.SetX(1, 7);
  a.SetZ(1, 8);
  EXPECT_EQ(a.GetX(0), 5.0f);
  EXPECT_EQ(a.GetZ(0), 6.0f);
  ExpectPoint(a.Get(1), 7, 8);
}

// Each index is checked in 64 bits: 2i for i >= 2^31 must not wrap around to a small index.
TEST(FPointArray, IndexChecksAtTheEndAndBeyondWrapAround) {
  FPointArray a(3);
  EXPECT_EQ(a.Size(), 3);
  EXPECT_EQ(a.Bytes(), 24);
  EXPECT_EQ(a.GetZ(2), 0.0f);
  const unsigned int bad[] = {3u, 0x80000000u, 0x80000001u, 0xFFFFFFFFu};
  for (unsigned int i : bad) {
    std::string at = std::to_string(i);
    ExpectSubscriptError([&] { a.Get(i); }, ("Get " + at).c_str());
    ExpectSubscriptError([&] { a.GetX(i); }, ("GetX " + at).c_str());
    ExpectSubscriptError([&] { a.GetZ(i); }, ("GetZ " + at).c_str());
    ExpectSubscriptError([&] { a.Set(i, BCFPoint(1, 1, 0)); }, ("Set " + at).c_str());
    ExpectSubscriptError([&] { a.SetX(i, 1); }, ("SetX " + at).c_str());
    ExpectSubscriptError([&] { a.SetZ(i, 1); }, ("SetZ " + at).c_str());
  }
  ExpectPoint(a.Get(0), 0, 0);  // nothing was written
}

TEST(FPointArray, DeleteResizeClear) {
  FPointArray a;
  for (int i = 0; i < 4; ++i) a.Add(static_cast<float>(i), static_cast<float>(10 * i));
  for (int i : {-1, 4, 100}) a.Delete(i);
  EXPECT_EQ(a.Size(), 4);
  a.Delete(1);
  ASSERT_EQ(a.Size(), 3);
  ExpectPoint(a.Get(1), 2, 20);
  a.Resize(1);
  ASSERT_EQ(a.Size(), 1);
  ExpectPoint(a.Get(0), 0, 0);
  a.SetX(0, 5);
  a.Resize(3);
  ExpectPoint(a.Get(0), 5, 0);
  ExpectPoint(a.Get(2), 0, 0);
  a.Reserve(100);
  EXPECT_EQ(a.Size(), 3);
  a.Clear();
  EXPECT_EQ(a.Size(), 0);
  a.Delete(0);
  EXPECT_EQ(a.Size(), 0);
}

TEST(FPointArray, NegativeCountsAreLengthErrors) {
  FPointArray a;
  a.Add(1, 2);
  for (auto call : {+[](FPointArray& x) { x.Reserve(-1); }, +[](FPointArray& x) { x.Resize(-2); }}) {
    try {
      call(a);
      ADD_FAILURE() << "no length error";
    } catch (const std::length_error& e) {
      EXPECT_STREQ(e.what(), "vector<T> too long");
    }
    EXPECT_EQ(a.Size(), 1);
  }
  EXPECT_THROW(FPointArray(-1), std::length_error);
}

TEST(FPointArray, CopiesAreIndependent) {
  FPointArray a;
  a.Add(1, 2);
  FPointArray b = a;
  b.SetX(0, 9);
  EXPECT_EQ(a.GetX(0), 1.0f);
  a = b;
  EXPECT_EQ(a.GetX(0), 9.0f);
}

}  // namespace
