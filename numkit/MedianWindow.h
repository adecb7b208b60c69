// Running medians over the clipped windows of M_Smooth, equal bit for bit to sorting each
// window and taking its middle.
//
// The order. Values are compared by their bit patterns in a strict total order: ascending by
// value with -0 before +0, and NaNs after everything, among themselves ascending by payload and
// then by sign (positive first). Equal in this order means equal bits, so the k-th element of
// a window is one definite bit pattern whichever way the window is kept ordered; the median of
// an even count is then (copy[k] + copy[k - 1]) * 0.5 with k = m / 2 (see MiddleOf for NaNs).
//
// Two ways of keeping the window ordered as it slides by one element:
//  - SortedWindow, a sorted array: the leaving element is replaced by the entering one and
//    moved to its place. Each step costs O(distance moved); the cheapest for small windows.
//  - HeapWindow, two indexed heaps over a ring of the window's values: "low" (a max-heap) holds
//    the ceil(m / 2) smallest, "high" (a min-heap) the rest, so the median is the top of low, or
//    the mean of both tops for an even m. Each slot of the ring knows its heap and its position
//    there, so the leaving element is removed in O(log h); a step is O(log h).
// RunMedian picks by window size (kHeapFromWindow) unless told which one to use; windows of
// three (h = 1) take the middle of three keys without branches (Triples).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "Scratch.h"

namespace numkit {

template <class T>
struct FloatBits;
template <>
struct FloatBits<float> {
  using Bits = std::uint32_t;
  static constexpr Bits kSign = 0x80000000u;
  static constexpr Bits kExponent = 0x7F800000u;
};
template <>
struct FloatBits<double> {
  using Bits = std::uint64_t;
  static constexpr Bits kSign = 0x8000000000000000ull;
  static constexpr Bits kExponent = 0x7FF0000000000000ull;
};

template <class T>
typename FloatBits<T>::Bits ToBits(T v) {
  typename FloatBits<T>::Bits b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

template <class T>
T FromBits(typename FloatBits<T>::Bits b) {
  T v;
  std::memcpy(&v, &b, sizeof v);
  return v;
}

// The order described above, as a bijection between bit patterns and unsigned keys that is
// monotone in the order, so that the windows compare plain integers:
//   -inf .. -0        -> 0 .. K - 1           (~bits, shifted down by the mantissa mask M)
//   +0 .. +inf        -> K .. I               (bits | sign, shifted down by M)
//   NaNs              -> I + 1 .. all ones    (I + 1 + 2 (payload - 1) + sign)
template <class T>
struct TotalOrder {
  using Traits = FloatBits<T>;
  using Bits = typename Traits::Bits;
  static constexpr Bits kMantissa = static_cast<Bits>(~(Traits::kSign | Traits::kExponent));
  static constexpr Bits kInfinityKey = (Traits::kSign | Traits::kExponent) - kMantissa;

  static bool IsNan(Bits b) { return (b & Traits::kExponent) == Traits::kExponent && (b & kMantissa) != 0; }

  static Bits Key(Bits b) {
    if (IsNan(b)) return kInfinityKey + 1 + 2 * ((b & kMantissa) - 1) + (b >> (sizeof(Bits) * 8 - 1));
    return ((b & Traits::kSign) ? static_cast<Bits>(~b) : (b | Traits::kSign)) - kMantissa;
  }

  static Bits FromKey(Bits k) {
    if (k > kInfinityKey) {
      Bits t = k - kInfinityKey - 1;
      return ((t & 1) ? Traits::kSign : 0) | Traits::kExponent | ((t >> 1) + 1);
    }
    Bits u = k + kMantissa;
    return (u & Traits::kSign) ? (u & ~Traits::kSign) : static_cast<Bits>(~u);
  }

  static bool Less(Bits a, Bits b) { return Key(a) < Key(b); }
};

template <class T>
typename FloatBits<T>::Bits KeyOf(T v) {
  return TotalOrder<T>::Key(ToBits(v));
}

template <class T>
T ValueOf(typename FloatBits<T>::Bits key) {
  return FromBits<T>(TotalOrder<T>::FromKey(key));
}

// The median of a window: upper = copy[k], lower = copy[k - 1]. When copy[k] is a NaN the sum
// is that NaN (as x86 gives the first operand's NaN when both are NaNs); answering it directly
// keeps the payload from depending on the order in which a compiler emits the addition.
//
// The midpoint of an even window is (upper + lower) * 0.5, except where that sum of two finite
// values overflows: then both halves are exact (the values are far from the subnormals) and
// their sum is the midpoint rounded once, finite. Every result that was finite stays the same
// bit for bit; infinities and NaNs in the window give what they gave.
template <class T>
T MiddleOf(T upper, T lower, bool even) {
  if (!even) return upper;
  if (upper != upper) return upper * T(0.5);
  const T sum = upper + lower;
  if (std::isinf(sum) && std::isfinite(upper) && std::isfinite(lower)) return upper * T(0.5) + lower * T(0.5);
  return sum * T(0.5);
}

// ---- Sorted array

template <class T>
class SortedWindow {
 public:
  using Key = typename FloatBits<T>::Bits;

  explicit SortedWindow(Key* storage) : FItems(storage), FCount(0) {}

  void Insert(Key v) {
    std::size_t at = FCount;
    while (at > 0 && v < FItems[at - 1]) {
      FItems[at] = FItems[at - 1];
      --at;
    }
    FItems[at] = v;
    ++FCount;
  }

  void Remove(Key v) {
    std::size_t at = Find(v);
    std::memmove(FItems + at, FItems + at + 1, (FCount - at - 1) * sizeof(Key));
    --FCount;
  }

  // Removes `out` and inserts `in` by moving the elements between their places by one.
  void Replace(Key out, Key in) {
    std::size_t at = Find(out);
    while (at > 0 && in < FItems[at - 1]) {
      FItems[at] = FItems[at - 1];
      --at;
    }
    while (at + 1 < FCount && FItems[at + 1] < in) {
      FItems[at] = FItems[at + 1];
      ++at;
    }
    FItems[at] = in;
  }

  T Median() const {
    std::size_t k = FCount / 2;
    bool even = FCount % 2 == 0;
    return MiddleOf(ValueOf<T>(FItems[k]), even ? ValueOf<T>(FItems[k - 1]) : T(0), even);
  }

 private:
  std::size_t Find(Key v) const {
    return static_cast<std::size_t>(std::lower_bound(FItems, FItems + FCount, v) - FItems);
  }

  Key* FItems;
  std::size_t FCount;
};

// ---- Two indexed heaps

template <class T>
class HeapWindow {
 public:
  using Key = typename FloatBits<T>::Bits;
  using Slot = std::uint32_t;

  // ring, heapPos: one per slot; low, high: room for every slot each.
  HeapWindow(std::size_t slots, Key* ring, Slot* heapPos, std::uint8_t* inLow, Slot* low, Slot* high)
      : FSlots(slots), FRing(ring), FPos(heapPos), FInLow(inLow), FLow(low), FHigh(high) {}

  void Insert(std::size_t element, Key v) {
    Slot s = static_cast<Slot>(element % FSlots);
    FRing[s] = v;
    if (FLowCount > 0 && !(FRing[FLow[0]] < v))
      Push(true, s);
    else
      Push(false, s);
    Balance();
  }

  void Remove(std::size_t element) {
    Slot s = static_cast<Slot>(element % FSlots);
    Erase(FInLow[s] != 0, FPos[s]);
    Balance();
  }

  T Median() const {
    T lowTop = ValueOf<T>(FRing[FLow[0]]);
    if (FLowCount > FHighCount) return lowTop;
    return MiddleOf(ValueOf<T>(FRing[FHigh[0]]), lowTop, true);
  }

 private:
  // low is a max-heap, high a min-heap: "above" is the order each keeps at its top.
  bool Above(bool low, Slot a, Slot b) const {
    return low ? FRing[b] < FRing[a] : FRing[a] < FRing[b];
  }
  Slot* Heap(bool low) const { return low ? FLow : FHigh; }
  std::size_t& Count(bool low) { return low ? FLowCount : FHighCount; }

  void Place(bool low, std::size_t at, Slot s) {
    Heap(low)[at] = s;
    FPos[s] = static_cast<Slot>(at);
    FInLow[s] = low;
  }

  void SiftUp(bool low, std::size_t at) {
    Slot* h = Heap(low);
    Slot s = h[at];
    while (at > 0) {
      std::size_t parent = (at - 1) / 2;
      if (!Above(low, s, h[parent])) break;
      Place(low, at, h[parent]);
      at = parent;
    }
    Place(low, at, s);
  }

  void SiftDown(bool low, std::size_t at) {
    Slot* h = Heap(low);
    std::size_t count = Count(low);
    Slot s = h[at];
    for (;;) {
      std::size_t child = 2 * at + 1;
      if (child >= count) break;
      if (child + 1 < count && Above(low, h[child + 1], h[child])) ++child;
      if (!Above(low, h[child], s)) break;
      Place(low, at, h[child]);
      at = child;
    }
    Place(low, at, s);
  }

  void Push(bool low, Slot s) {
    std::size_t at = Count(low)++;
    Place(low, at, s);
    SiftUp(low, at);
  }

  Slot Erase(bool low, std::size_t at) {
    Slot* h = Heap(low);
    Slot gone = h[at];
    std::size_t last = --Count(low);
    if (at != last) {
      Slot moved = h[last];
      Place(low, at, moved);
      SiftUp(low, at);
      if (FPos[moved] == at) SiftDown(low, at);
    }
    return gone;
  }

  // low keeps ceil(m / 2) elements.
  void Balance() {
    std::size_t m = FLowCount + FHighCount;
    std::size_t wantLow = (m + 1) / 2;
    while (FLowCount > wantLow) Push(false, Erase(true, 0));
    while (FLowCount < wantLow) Push(true, Erase(false, 0));
  }

  std::size_t FSlots;
  Key* FRing;
  Slot* FPos;
  std::uint8_t* FInLow;
  Slot* FLow;
  Slot* FHigh;
  std::size_t FLowCount = 0;
  std::size_t FHighCount = 0;
};

enum class MedianMethod { Auto, Sorted, Heaps, Triples };

// h = 1: out[i] is the middle of keys i - 1, i and i + 1 (min and max only), the two ends the
// mean of their pairs. Needs n >= 3.
template <class T>
void RunTriples(const T* in, T* out, std::size_t n) {
  using Key = typename FloatBits<T>::Bits;
  auto pairMedian = [](Key a, Key b) {
    return MiddleOf(ValueOf<T>(std::max(a, b)), ValueOf<T>(std::min(a, b)), true);
  };
  Key a = KeyOf(in[0]), b = KeyOf(in[1]);
  out[0] = pairMedian(a, b);
  for (std::size_t i = 1; i + 1 < n; ++i) {
    Key c = KeyOf(in[i + 1]);
    out[i] = ValueOf<T>(std::max(std::min(a, b), std::min(std::max(a, b), c)));
    a = b;
    b = c;
  }
  out[n - 1] = pairMedian(a, b);
}

// From this window size (h = 64) on, the heaps beat the sorted array on random doubles.
constexpr std::size_t kHeapFromWindow = 129;

// out[i] = median of in[max(i - h, 0) .. min(i + h, n - 1)] for n >= 1, h >= 1. in and out must
// not overlap. False when the scratch memory cannot be had.
template <class T>
bool RunMedian(const T* in, T* out, std::size_t n, std::size_t h, MedianMethod method = MedianMethod::Auto) {
  using Key = typename FloatBits<T>::Bits;
  // Window size min(2h + 1, n), without overflow.
  const std::size_t slots = h >= n ? n : std::min(n, 2 * h + 1);
  const std::size_t lastFirst = n - 1;
  if (method == MedianMethod::Auto) {
    if (h == 1 && n >= 3)
      method = MedianMethod::Triples;
    else
      method = slots >= kHeapFromWindow ? MedianMethod::Heaps : MedianMethod::Sorted;
  }
  if (method == MedianMethod::Triples) {
    if (h != 1 || n < 3) return false;
    RunTriples(in, out, n);
    return true;
  }

  // The window of i is [lo(i), hi(i)]; moving to i + 1 drops element i - h (when i >= h) and
  // adds element i + h + 1 (when it exists).
  auto firstHi = std::min(h, lastFirst);
  if (method == MedianMethod::Sorted) {
    Scratch<Key> items(slots);
    if (!items.Get()) return false;
    SortedWindow<T> w(items.Get());
    for (std::size_t j = 0; j <= firstHi; ++j) w.Insert(KeyOf(in[j]));
    for (std::size_t i = 0; i < n; ++i) {
      out[i] = w.Median();
      if (i + 1 == n) break;
      bool drop = i >= h;
      bool add = h < n - 1 - i;  // i + h + 1 <= n - 1
      if (drop && add)
        w.Replace(KeyOf(in[i - h]), KeyOf(in[i + h + 1]));
      else if (drop)
        w.Remove(KeyOf(in[i - h]));
      else if (add)
        w.Insert(KeyOf(in[i + h + 1]));
    }
    return true;
  }

  using Slot = typename HeapWindow<T>::Slot;
  Scratch<Key> ring(slots);
  Scratch<Slot> heapPos(slots), low(slots), high(slots);
  Scratch<std::uint8_t> inLow(slots);
  if (!ring.Get() || !heapPos.Get() || !low.Get() || !high.Get() || !inLow.Get()) return false;
  HeapWindow<T> w(slots, ring.Get(), heapPos.Get(), inLow.Get(), low.Get(), high.Get());
  for (std::size_t j = 0; j <= firstHi; ++j) w.Insert(j, KeyOf(in[j]));
  for (std::size_t i = 0; i < n; ++i) {
    out[i] = w.Median();
    if (i + 1 == n) break;
    if (i >= h) w.Remove(i - h);
    if (h < n - 1 - i) w.Insert(i + h + 1, KeyOf(in[i + h + 1]));
  }
  return true;
}

}  // namespace numkit
