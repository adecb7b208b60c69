// numkit's windowed routines on n = 10^6 doubles, h = 1, 10, 100, 1000: M_Smooth's median (kept
// ordered as the window slides) against sorting every window anew, and M_Smooth's mean (of the
// doubles and of the same values as floats) and M_Derivative (each window summed on its own, as
// defined).
//
//   bench_numkit [--in FILE] [--out DIR]
// --in reads the doubles from FILE (raw, little-endian) instead of generating them; --out writes
// each median result to DIR/median_h<h>.bin, for bench/numkit_median.py, which times
// scipy.ndimage.median_filter on the same data and compares.
//
// The sorting reference is timed over every window for h <= 10 and over every s-th window
// beyond (s in the table), its time scaled to n windows; its results are compared with
// numkit's at every window it computed.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "NumKit.h"

namespace {

constexpr int kCount = 1000000;
constexpr int kHalfWidths[] = {1, 10, 100, 1000};
constexpr int kFullSortUpToHalfWidth = 10;
constexpr int kSampledWindows = 20000;

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

template <class F>
double TimeBestOf(int runs, F f) {
  double best = 1e300;
  for (int r = 0; r < runs; ++r) {
    auto t0 = std::chrono::steady_clock::now();
    f();
    best = std::min(best, Seconds(std::chrono::steady_clock::now() - t0));
  }
  return best;
}

// Sort-per-window median at window i (the definition; no NaNs in the benchmark data).
double SortedWindowMedian(const std::vector<double>& in, int i, int h, std::vector<double>& scratch) {
  int n = static_cast<int>(in.size());
  int lo = std::max(i - h, 0), hi = std::min(i + h, n - 1);
  scratch.assign(in.begin() + lo, in.begin() + hi + 1);
  std::sort(scratch.begin(), scratch.end());
  std::size_t m = scratch.size(), k = m / 2;
  return m % 2 ? scratch[k] : (scratch[k] + scratch[k - 1]) * 0.5;
}

std::vector<double> Generate() {
  std::vector<double> v(kCount);
  std::uint32_t s = 2463534242u;
  for (auto& e : v) {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    e = static_cast<double>(s % 100000) / 1000.0;  // three decimals: ties occur
  }
  return v;
}

}  // namespace

int main(int argc, char** argv) {
  std::string inPath, outDir;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--in")) inPath = argv[i + 1];
    if (!std::strcmp(argv[i], "--out")) outDir = argv[i + 1];
  }
  std::vector<double> in;
  if (inPath.empty()) {
    in = Generate();
  } else {
    FILE* f = std::fopen(inPath.c_str(), "rb");
    if (!f) return std::perror(inPath.c_str()), 1;
    in.resize(kCount);
    in.resize(std::fread(in.data(), sizeof(double), in.size(), f));
    std::fclose(f);
  }
  const int n = static_cast<int>(in.size());
  std::vector<double> x(n);
  for (int i = 0; i < n; ++i) x[i] = i * 0.01;

  std::printf("numkit windows, n = %d doubles (ms)\n", n);
  std::vector<float> floats(in.begin(), in.end());
  std::printf("%6s %12s %14s %8s %8s %12s %12s %12s\n", "h", "median", "sort/window", "every", "equal", "mean",
              "float mean", "derivative");
  std::vector<double> out(n), scratch;
  for (int h : kHalfWidths) {
    int runs = h <= 10 ? 5 : 2;
    double median = TimeBestOf(runs, [&] { M_Smooth(in.data(), out.data(), n, h, true); });
    if (!outDir.empty()) {
      std::string path = outDir + "/median_h" + std::to_string(h) + ".bin";
      FILE* f = std::fopen(path.c_str(), "wb");
      if (!f) return std::perror(path.c_str()), 1;
      std::fwrite(out.data(), sizeof(double), out.size(), f);
      std::fclose(f);
    }
    int stride = h <= kFullSortUpToHalfWidth ? 1 : std::max(1, n / kSampledWindows);
    bool equal = true;
    auto t0 = std::chrono::steady_clock::now();
    int windows = 0;
    for (int i = 0; i < n; i += stride, ++windows) {
      double want = SortedWindowMedian(in, i, h, scratch);
      equal = equal && std::memcmp(&want, &out[i], sizeof want) == 0;
    }
    double sorting = Seconds(std::chrono::steady_clock::now() - t0) * n / windows;

    std::vector<double> result(n);
    double mean = TimeBestOf(h <= 10 ? 3 : 1, [&] { M_Smooth(in.data(), result.data(), n, h, false); });
    std::vector<float> floatResult(n);
    double floatMean = TimeBestOf(h <= 10 ? 3 : 1, [&] { M_Smooth(floats.data(), floatResult.data(), n, h, false); });
    double derivative = TimeBestOf(1, [&] { M_Derivative(x.data(), in.data(), result.data(), n, h); });
    std::printf("%6d %12.1f %14.1f %8d %8s %12.1f %12.1f %12.1f\n", h, median * 1e3, sorting * 1e3, stride,
                equal ? "yes" : "NO", mean * 1e3, floatMean * 1e3, derivative * 1e3);
    std::fflush(stdout);
  }
  return 0;
}
