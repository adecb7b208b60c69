// Scratch arrays of numkit's routines: allocated without exceptions, freed with their owner.
// Get() is null when the memory cannot be had, also when the byte count would not fit in a
// size_t (an array new-expression would throw then, even in its non-throwing form).
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

namespace numkit {

template <class T>
class Scratch {
 public:
  explicit Scratch(std::size_t count)
      : FItems(count <= SIZE_MAX / sizeof(T) ? new (std::nothrow) T[count] : nullptr) {}
  ~Scratch() { delete[] FItems; }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  T* Get() const { return FItems; }

 private:
  T* FItems;
};

}  // namespace numkit
