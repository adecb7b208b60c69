#include "FPointArray.h"

#include <cstdint>
#include <stdexcept>

namespace {

constexpr const char* kSubscriptMessage = "invalid vector<T> subscript";
constexpr const char* kTooLongMessage = "vector<T> too long";
constexpr std::uint64_t kElementsPerPoint = 2;

// The element index of coordinate `part` (0 = x, 1 = Z) of point i, checked against the element
// count in 64 bits, so that no large i wraps around to a small index.
std::size_t ElementIndex(const std::vector<float>& data, unsigned int i, unsigned int part) {
  std::uint64_t index = kElementsPerPoint * i + part;
  if (index >= data.size()) throw std::out_of_range(kSubscriptMessage);
  return static_cast<std::size_t>(index);
}

// The element count of n points; a negative n stands for a count no vector can hold.
std::size_t ElementCount(const std::vector<float>& data, int n) {
  if (n < 0 || kElementsPerPoint * static_cast<std::uint64_t>(n) > data.max_size())
    throw std::length_error(kTooLongMessage);
  return static_cast<std::size_t>(kElementsPerPoint * static_cast<std::uint64_t>(n));
}

}  // namespace

FPointArray::FPointArray() = default;

FPointArray::FPointArray(int n) { FData.resize(ElementCount(FData, n)); }

int FPointArray::Size() const { return static_cast<int>(FData.size() / kElementsPerPoint); }

void FPointArray::Reserve(int n) { FData.reserve(ElementCount(FData, n)); }

void FPointArray::Resize(int n) { FData.resize(ElementCount(FData, n)); }

// Both coordinates go in with one insertion, so a failed allocation leaves the count even.
void FPointArray::Add(float x, float z) {
  if (FData.size() > FData.max_size() - kElementsPerPoint) throw std::length_error(kTooLongMessage);
  const float point[] = {x, z};
  FData.insert(FData.end(), point, point + kElementsPerPoint);
}

void FPointArray::Add(const BCFPoint& p) { Add(p.x, p.y); }

void FPointArray::Clear() { FData.clear(); }

void FPointArray::Delete(int i) {
  if (i < 0 || i >= Size()) return;
  auto first = FData.begin() + static_cast<std::ptrdiff_t>(kElementsPerPoint * i);
  FData.erase(first, first + kElementsPerPoint);
}

BCFPoint FPointArray::Get(unsigned int i) const {
  float x = FData[ElementIndex(FData, i, 0)];
  float z = FData[ElementIndex(FData, i, 1)];
  return BCFPoint(x, z, 0);
}

BCFPoint FPointArray::First() const { return Get(0); }

// On an empty array Size() - 1 is the largest unsigned index, which the check refuses.
BCFPoint FPointArray::Last() const { return Get(static_cast<unsigned int>(Size() - 1)); }

float FPointArray::GetX(unsigned int i) const { return FData[ElementIndex(FData, i, 0)]; }
float FPointArray::GetZ(unsigned int i) const { return FData[ElementIndex(FData, i, 1)]; }

void FPointArray::Set(unsigned int i, const BCFPoint& p) {
  std::size_t ix = ElementIndex(FData, i, 0);
  std::size_t iz = ElementIndex(FData, i, 1);
  FData[ix] = p.x;
  FData[iz] = p.y;
}

void FPointArray::SetX(unsigned int i, float x) { FData[ElementIndex(FData, i, 0)] = x; }
void FPointArray::SetZ(unsigned int i, float z) { FData[ElementIndex(FData, i, 1)] = z; }

int FPointArray::Bytes() const {
  return Size() * static_cast<int>(kElementsPerPoint * sizeof(float));
}

const float* FPointArray::Ptr() const { return &FData[ElementIndex(FData, 0, 0)]; }
