// The string builder against std::string +=: 10^6 appends of small pieces (4 to 28 bytes),
// then the joined text. Prints milliseconds per run, best of several runs.
#include "lectern/lc/lcFastStrings.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kRounds = 5;
constexpr size_t kPieces = 1000000;

volatile size_t gSink;

template <class TBody>
double BestMs(TBody body)
{
    double best = 1e300;
    for (int round = 0; round < kRounds; ++round) {
        auto start = std::chrono::steady_clock::now();
        body();
        std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

} // namespace

int main()
{
    std::vector<std::string> pieces(kPieces);
    size_t total = 0;
    for (size_t i = 0; i < kPieces; ++i) {
        pieces[i] = std::string(4 + i * 7 % 25, static_cast<char>('a' + i % 26));
        total += pieces[i].size();
    }

    TLcHugeString builder;
    double huge = BestMs([&] {
        builder.Clear();
        for (const std::string& piece : pieces) {
            builder.Append(piece);
        }
        gSink = builder.GetText().size();
    });
    double plus = BestMs([&] {
        std::string text;
        for (const std::string& piece : pieces) {
            text += piece;
        }
        gSink = text.size();
    });
    if (builder.GetText().size() != total) {
        std::printf("builder lost bytes\n");
        return 1;
    }
    std::printf("%zu appends, %zu bytes: TLcHugeString %.2f ms (%.1f ns/append)   std::string += %.2f ms (%.1f ns/append)\n",
                kPieces, total, huge, huge * 1e6 / kPieces, plus, plus * 1e6 / kPieces);
    return 0;
}
