// FPointArray: a growable array of float points (x, Z), stored interleaved in one vector of
// floats: point i is elements 2i (x) and 2i + 1 (Z). The element count is always even.
//
// Errors are thrown to the caller as the standard library's exceptions: std::out_of_range
// "invalid vector<T> subscript" for an index at or beyond the element count, std::length_error
// "vector<T> too long" for a count the vector cannot hold (negative counts included). This is
// why geomprim and its callers share the C++ run-time DLLs (GeomPrimApi.h). Destructor, copy
// and assignment are the caller's compiler-generated ones.
#pragma once

#include <vector>

#include "GeomPrim.h"

class FPointArray {
 public:
  GEOMPRIM_API GEOMPRIM_CALL FPointArray();
  GEOMPRIM_API explicit GEOMPRIM_CALL FPointArray(int n);  // n points (0, 0)

  GEOMPRIM_API int GEOMPRIM_CALL Size() const;
  GEOMPRIM_API void GEOMPRIM_CALL Reserve(int n);
  GEOMPRIM_API void GEOMPRIM_CALL Resize(int n);
  GEOMPRIM_API void GEOMPRIM_CALL Add(float x, float z);
  GEOMPRIM_API void GEOMPRIM_CALL Add(const BCFPoint& p);  // p.eps is not stored
  GEOMPRIM_API void GEOMPRIM_CALL Clear();                 // keeps the storage
  GEOMPRIM_API void GEOMPRIM_CALL Delete(int i);           // out of range: nothing happens
  GEOMPRIM_API BCFPoint GEOMPRIM_CALL Get(unsigned int i) const;
  GEOMPRIM_API BCFPoint GEOMPRIM_CALL First() const;
  GEOMPRIM_API BCFPoint GEOMPRIM_CALL Last() const;
  GEOMPRIM_API float GEOMPRIM_CALL GetX(unsigned int i) const;
  GEOMPRIM_API float GEOMPRIM_CALL GetZ(unsigned int i) const;
  GEOMPRIM_API void GEOMPRIM_CALL Set(unsigned int i, const BCFPoint& p);
  GEOMPRIM_API void GEOMPRIM_CALL SetX(unsigned int i, float x);
  GEOMPRIM_API void GEOMPRIM_CALL SetZ(unsigned int i, float z);
  GEOMPRIM_API int GEOMPRIM_CALL Bytes() const;  // Size() * 8
  // The first x of the block of pairs; throws on an empty array.
  GEOMPRIM_API const float* GEOMPRIM_CALL Ptr() const;

 private:
  std::vector<float> FData;
};
