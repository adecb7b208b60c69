// The two ordered windows of the running median against sorting every window anew.
#include "MedianWindow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

using numkit::MedianMethod;
using numkit::RunMedian;

// The definition: copy the window, sort it in the total order, take the middle.
template <class T>
std::vector<T> SortEachWindow(const std::vector<T>& in, std::size_t h) {
  using Order = numkit::TotalOrder<T>;
  const std::size_t n = in.size();
  std::vector<T> out(n);
  for (std::size_t i = 0; i < n; ++i) {
    std::size_t lo = i >= h ? i - h : 0, hi = std::min(n - 1, i + h);
    std::vector<typename Order::Bits> w;
    for (std::size_t j = lo; j <= hi; ++j) w.push_back(numkit::ToBits(in[j]));
    std::sort(w.begin(), w.end(), Order::Less);
    std::size_t k = w.size() / 2;
    bool even = w.size() % 2 == 0;
    out[i] = numkit::MiddleOf(numkit::FromBits<T>(w[k]), even ? numkit::FromBits<T>(w[k - 1]) : T(0), even);
  }
  return out;
}

// A small xorshift generator: the same arrays on every platform.
struct XorShift {
  std::uint32_t state;
  std::uint32_t Next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  }
};

// Arrays that stress the order: few distinct values (ties), signed zeros, NaNs of both signs
// and several payloads, infinities, and plain random values.
template <class T>
std::vector<T> MakeArray(int kind, std::size_t n, XorShift& rng) {
  const T palette[] = {T(0), -T(0), T(1), T(-1), std::numeric_limits<T>::infinity(),
                       -std::numeric_limits<T>::infinity(), std::numeric_limits<T>::quiet_NaN(),
                       -std::numeric_limits<T>::quiet_NaN(), std::numeric_limits<T>::denorm_min()};
  std::vector<T> a(n);
  for (auto& v : a) {
    std::uint32_t r = rng.Next();
    switch (kind) {
      case 0: v = static_cast<T>(r % 4); break;
      case 1: v = palette[r % 9]; break;
      default: v = static_cast<T>(static_cast<std::int32_t>(r)) / T(1 << 20); break;
    }
  }
  if (kind == 1 && n > 2) {  // NaNs with other payloads
    typename numkit::FloatBits<T>::Bits bits = numkit::ToBits(std::numeric_limits<T>::quiet_NaN()) | 5;
    a[n / 2] = numkit::FromBits<T>(bits);
  }
  return a;
}

template <class T>
bool SameBits(const std::vector<T>& a, const std::vector<T>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (numkit::ToBits(a[i]) != numkit::ToBits(b[i])) return false;
  return true;
}

template <class T>
void CompareWithSorting() {
  XorShift rng{12345};
  const std::size_t sizes[] = {1, 2, 3, 4, 7, 64, 129, 300};
  for (std::size_t n : sizes) {
    for (int kind = 0; kind < 3; ++kind) {
      std::vector<T> in = MakeArray<T>(kind, n, rng);
      for (std::size_t h : {std::size_t(1), std::size_t(2), std::size_t(5), std::size_t(31), std::size_t(32),
                            std::size_t(100), n, n + 3}) {
        std::vector<T> want = SortEachWindow(in, h);
        for (MedianMethod method : {MedianMethod::Sorted, MedianMethod::Heaps, MedianMethod::Triples, MedianMethod::Auto}) {
          if (method == MedianMethod::Triples && (h != 1 || n < 3)) continue;
          std::vector<T> out(n);
          ASSERT_TRUE(RunMedian(in.data(), out.data(), n, h, method));
          EXPECT_TRUE(SameBits(out, want)) << "n " << n << " kind " << kind << " h " << h << " method "
                                           << static_cast<int>(method);
        }
      }
    }
  }
}

TEST(MedianWindow, SortedArrayAndHeapsEqualSortingEveryWindowDouble) { CompareWithSorting<double>(); }
TEST(MedianWindow, SortedArrayAndHeapsEqualSortingEveryWindowFloat) { CompareWithSorting<float>(); }

// Every way of keeping the window averages an even window's middle pair without overflow: an
// array of the largest finite values has that value as every median.
template <class T>
void CheckLargestValues() {
  const T top = std::numeric_limits<T>::max();
  for (std::size_t n : {std::size_t(2), std::size_t(3), std::size_t(6), std::size_t(300)}) {
    for (T sign : {T(1), T(-1)}) {
      const std::vector<T> in(n, sign * top);
      for (std::size_t h : {std::size_t(1), std::size_t(2), n}) {
        for (MedianMethod method : {MedianMethod::Sorted, MedianMethod::Heaps, MedianMethod::Triples}) {
          if (method == MedianMethod::Triples && (h != 1 || n < 3)) continue;
          std::vector<T> out(n);
          ASSERT_TRUE(RunMedian(in.data(), out.data(), n, h, method));
          EXPECT_TRUE(SameBits(out, in)) << "n " << n << " h " << h << " method " << static_cast<int>(method)
                                         << " first " << out[0];
        }
      }
    }
  }
}

TEST(MedianWindow, EvenWindowsOfTheLargestValuesDoNotOverflow) {
  CheckLargestValues<double>();
  CheckLargestValues<float>();
}

// Both ways need scratch arrays of the window's size; when they cannot be had (2^31 - 1 keys
// in a 32-bit process) the answer is false, before the input is read.
TEST(MedianWindow, FailedAllocationAnswersFalse) {
  if (sizeof(void*) != 4) GTEST_SKIP() << "needs a 32-bit address space";
  double in[] = {1, 2, 3}, out[] = {7, 7, 7};
  const std::size_t huge = 0x7FFFFFFF;
  EXPECT_FALSE(RunMedian(in, out, huge, huge, MedianMethod::Sorted));
  EXPECT_FALSE(RunMedian(in, out, huge, huge, MedianMethod::Heaps));
  EXPECT_EQ(out[0], 7.0);
}

struct OrderCase {
  double a, b;
  bool less;
};

TEST(MedianWindow, TotalOrderPutsNegativeZeroFirstAndNansLast) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const OrderCase cases[] = {
      {-0.0, 0.0, true}, {0.0, -0.0, false}, {-inf, -1, true}, {inf, nan, true}, {-nan, -inf, false},
      {inf, -nan, true}, {nan, nan, false}, {1, 2, true}, {-2, -1, true}, {-1, -2, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(numkit::TotalOrder<double>::Less(numkit::ToBits(c.a), numkit::ToBits(c.b)), c.less)
        << c.a << " < " << c.b;
  }
  // NaNs differing only in sign are ordered too (by their bits), so no two patterns tie.
  auto pos = numkit::ToBits(nan), neg = numkit::ToBits(-nan);
  EXPECT_NE(numkit::TotalOrder<double>::Less(pos, neg), numkit::TotalOrder<double>::Less(neg, pos));
}

// The keys are a bijection: every bit pattern comes back from its key, so the windows lose
// nothing by holding keys; and adjacent patterns in the order get adjacent keys.
template <class T>
void CheckKeysRoundTrip() {
  using Order = numkit::TotalOrder<T>;
  using Bits = typename Order::Bits;
  const Bits sign = numkit::FloatBits<T>::kSign, exponent = numkit::FloatBits<T>::kExponent;
  std::vector<Bits> patterns = {0, sign, 1, sign | 1, exponent, sign | exponent, exponent | 1, sign | exponent | 1,
                                static_cast<Bits>(~Bits(0)), static_cast<Bits>(~sign), exponent - 1};
  XorShift rng{99};
  for (int i = 0; i < 2000; ++i) {
    Bits b = static_cast<Bits>(rng.Next());
    if constexpr (sizeof(Bits) == 8) b = (b << 32) | rng.Next();
    patterns.push_back(b);
    patterns.push_back(b | exponent);  // NaNs and infinities
  }
  for (Bits b : patterns) EXPECT_EQ(Order::FromKey(Order::Key(b)), b) << std::hex << b;
  EXPECT_EQ(Order::Key(sign | exponent), Bits(0));                        // -inf lowest
  EXPECT_EQ(Order::Key(0), Order::Key(sign) + 1);                         // +0 right after -0
  EXPECT_EQ(Order::Key(exponent | 1), Order::Key(exponent) + 1);          // first NaN after +inf
  EXPECT_EQ(Order::Key(sign | exponent | 1), Order::Key(exponent | 1) + 1);  // then its negative twin
  EXPECT_EQ(Order::Key(static_cast<Bits>(~Bits(0))), static_cast<Bits>(~Bits(0)));
}

TEST(MedianWindow, KeysAreABijectionMonotoneInTheOrder) {
  CheckKeysRoundTrip<double>();
  CheckKeysRoundTrip<float>();
}

}  // namespace
