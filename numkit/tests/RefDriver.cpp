// Runs numkit on cases read from stdin, one per line, and writes one result line per case, for
// numkit_reference.py, which computes the same cases with numpy and compares bit for bit.
// Every number travels as the hex digits of its bits: doubles 16, floats 8, long doubles 20
// (the ten bytes of the x87 format, most significant first). Output arrays are filled with a
// marker first, so that values a routine did not write show as the marker.
//
//   smooth <d|f> n h median in[n]           -> ok out[n]
//   deriv <d|f> n h x[n] y[n]               -> ok out[n]
//   lsq <d|f> n x[n] y[n]                   -> ok a b rms            (doubles)
//   lsqv n x[n] y[n]                        -> ok a b rms            (float vectors, float results)
//   lintval <d|f> n v x[n] y[n]             -> code result
//   linttab <d|f> n m x[n] y[n] vs[m]       -> code results[m]
//   norm3 x y z                             -> norm                  (long double)
//   normn n v[n]                            -> norm
//   zero x                                  -> iszero sign           (float x)
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "NumKit.h"

namespace {

// Quiet NaNs with payloads no routine makes (they survive the x87 registers unchanged).
const std::uint64_t kMarker64 = 0x7FF8DEADBEEF0001ull;
const std::uint32_t kMarker32 = 0x7FC0DEADu;

template <class T>
T Read(std::istream& in);
template <>
double Read<double>(std::istream& in) {
  std::string hex;
  in >> hex;
  std::uint64_t bits = std::stoull(hex, nullptr, 16);
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}
template <>
float Read<float>(std::istream& in) {
  std::string hex;
  in >> hex;
  std::uint32_t bits = static_cast<std::uint32_t>(std::stoul(hex, nullptr, 16));
  float v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}
template <>
int Read<int>(std::istream& in) {
  long long v;
  in >> v;
  return static_cast<int>(v);
}

template <class T>
std::vector<T> ReadArray(std::istream& in, int n) {
  std::vector<T> v(n > 0 ? n : 0);
  for (auto& e : v) e = Read<T>(in);
  return v;
}

void Write(std::ostream& out, double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  char buf[20];
  std::snprintf(buf, sizeof buf, " %016" PRIx64, bits);
  out << buf;
}
void Write(std::ostream& out, float v) {
  std::uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  char buf[12];
  std::snprintf(buf, sizeof buf, " %08" PRIx32, bits);
  out << buf;
}
void Write(std::ostream& out, long double v) {
  unsigned char bytes[sizeof v];
  std::memcpy(bytes, &v, sizeof v);
  out << ' ';
  char buf[4];
  for (int i = 9; i >= 0; --i) {
    std::snprintf(buf, sizeof buf, "%02x", bytes[i]);
    out << buf;
  }
}

template <class T>
T Marker() {
  T v;
  if constexpr (sizeof(T) == 8) std::memcpy(&v, &kMarker64, 8);
  else std::memcpy(&v, &kMarker32, 4);
  return v;
}

template <class T>
void WriteArray(std::ostream& out, const std::vector<T>& v) {
  for (T e : v) Write(out, e);
}

template <class T>
void Smooth(std::istream& in, std::ostream& out) {
  int n = Read<int>(in), h = Read<int>(in), median = Read<int>(in);
  std::vector<T> values = ReadArray<T>(in, n);
  std::vector<T> result(values.size(), Marker<T>());
  out << M_Smooth(values.data(), result.data(), n, h, median != 0);
  WriteArray(out, result);
}

template <class T>
void Deriv(std::istream& in, std::ostream& out) {
  int n = Read<int>(in), h = Read<int>(in);
  std::vector<T> x = ReadArray<T>(in, n), y = ReadArray<T>(in, n);
  std::vector<T> result(x.size(), Marker<T>());
  out << M_Derivative(x.data(), y.data(), result.data(), n, h);
  WriteArray(out, result);
}

template <class T>
void Lsq(std::istream& in, std::ostream& out) {
  int n = Read<int>(in);
  std::vector<T> x = ReadArray<T>(in, n), y = ReadArray<T>(in, n);
  double a = Marker<double>(), b = Marker<double>(), rms = Marker<double>();
  out << M_LinLSQ(x.data(), y.data(), n, a, b, rms);
  Write(out, a);
  Write(out, b);
  Write(out, rms);
}

void LsqFloatVectors(std::istream& in, std::ostream& out) {
  int n = Read<int>(in);
  std::vector<float> x = ReadArray<float>(in, n), y = ReadArray<float>(in, n);
  float a = Marker<float>(), b = Marker<float>(), rms = Marker<float>();
  out << M_LinLSQ(x, y, n, a, b, rms);
  Write(out, a);
  Write(out, b);
  Write(out, rms);
}

template <class T>
void LintVal(std::istream& in, std::ostream& out) {
  int n = Read<int>(in);
  double v = Read<double>(in);
  std::vector<T> x = ReadArray<T>(in, n), y = ReadArray<T>(in, n);
  double result = Marker<double>();
  int code;
  if constexpr (sizeof(T) == 4) code = M_lintvalf(n, x.data(), y.data(), v, &result);
  else code = M_lintvald(n, x.data(), y.data(), v, &result);
  out << code;
  Write(out, result);
}

template <class T>
void LintTab(std::istream& in, std::ostream& out) {
  int n = Read<int>(in), m = Read<int>(in);
  std::vector<T> x = ReadArray<T>(in, n), y = ReadArray<T>(in, n), vs = ReadArray<T>(in, m);
  std::vector<T> results(vs.size(), Marker<T>());
  int code;
  if constexpr (sizeof(T) == 4) code = M_linttabf(n, x.data(), y.data(), m, vs.data(), results.data());
  else code = M_linttabd(n, x.data(), y.data(), m, vs.data(), results.data());
  out << code;
  WriteArray(out, results);
}

void Case(const std::string& line, std::ostream& out) {
  std::istringstream in(line);
  std::string op, type;
  in >> op;
  bool isDouble = false;
  if (op == "smooth" || op == "deriv" || op == "lsq" || op == "lintval" || op == "linttab") {
    in >> type;
    isDouble = type == "d";
  }
  if (op == "smooth") isDouble ? Smooth<double>(in, out) : Smooth<float>(in, out);
  else if (op == "deriv") isDouble ? Deriv<double>(in, out) : Deriv<float>(in, out);
  else if (op == "lsq") isDouble ? Lsq<double>(in, out) : Lsq<float>(in, out);
  else if (op == "lsqv") LsqFloatVectors(in, out);
  else if (op == "lintval") isDouble ? LintVal<double>(in, out) : LintVal<float>(in, out);
  else if (op == "linttab") isDouble ? LintTab<double>(in, out) : LintTab<float>(in, out);
  else if (op == "norm3") {
    double x = Read<double>(in), y = Read<double>(in), z = Read<double>(in);
    Write(out, M_Norm(x, y, z));
  } else if (op == "normn") {
    int n = Read<int>(in);
    std::vector<double> v = ReadArray<double>(in, n);
    Write(out, M_Norm(n, v.data()));
  } else if (op == "zero") {
    float x = Read<float>(in);
    out << M_IsZero(x) << ' ' << static_cast<int>(M_Sign(x));
  } else {
    out << "unknown " << op;
  }
  out << '\n';
}

}  // namespace

int main() {
  std::ios::sync_with_stdio(false);
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    Case(line, std::cout);
  }
  return 0;
}
