// Insert, find and remove on the ordered trees against std::map, at 10^5 and 10^6 keys in
// random order: tBinList (number keys, nodes pooled in blocks of 128) and tStrIntList
// (string keys, blocks of 16). Prints nanoseconds per operation, best of several rounds.
#include "lectern/lc/memBinList.h"
#include "lectern/lc/memStrIntList.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kRounds = 3;

volatile std::uintptr_t gSink;

void Report(const char* what, size_t n, const char* op, double tree, double map)
{
    std::printf("%-22s n=%-8zu %-7s tree %8.1f ns/op   std::map %8.1f ns/op   ratio %.2f\n", what, n, op, tree, map,
                tree / map);
}

// Each round inserts every key into the empty container, finds every key, then removes every
// key; the three phases are timed apart and the best round of each is reported.
template <class TKey, class TTree, class TMap, class TInsert, class TFind, class TRemove>
void Compare(const char* what, const std::vector<TKey>& keys, TTree& tree, TMap& map, TInsert insert, TFind find,
             TRemove remove)
{
    const size_t n = keys.size();
    double treeIns = 1e300, treeFind = 1e300, treeRem = 1e300;
    double mapIns = 1e300, mapFind = 1e300, mapRem = 1e300;
    for (int round = 0; round < kRounds; ++round) {
        auto phase = [&](auto body) {
            auto start = std::chrono::steady_clock::now();
            body();
            std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
            return took.count() / static_cast<double>(n);
        };
        treeIns = std::min(treeIns, phase([&] { for (size_t i = 0; i < n; ++i) insert(tree, keys[i], i); }));
        treeFind = std::min(treeFind, phase([&] { std::uintptr_t s = 0; for (const TKey& k : keys) s += find(tree, k); gSink = s; }));
        treeRem = std::min(treeRem, phase([&] { for (const TKey& k : keys) remove(tree, k); }));
        mapIns = std::min(mapIns, phase([&] { for (size_t i = 0; i < n; ++i) map.emplace(keys[i], i); }));
        mapFind = std::min(mapFind, phase([&] { std::uintptr_t s = 0; for (const TKey& k : keys) s += map.find(k)->second; gSink = s; }));
        mapRem = std::min(mapRem, phase([&] { for (const TKey& k : keys) map.erase(k); }));
    }
    Report(what, n, "insert", treeIns, mapIns);
    Report(what, n, "find", treeFind, mapFind);
    Report(what, n, "remove", treeRem, mapRem);
}

} // namespace

int main()
{
    std::mt19937 rng(12345);
    for (size_t n : {size_t(100000), size_t(1000000)}) {
        std::vector<std::uintptr_t> numbers(n);
        for (size_t i = 0; i < n; ++i) {
            numbers[i] = static_cast<std::uintptr_t>(i) * 2654435761u + 1;
        }
        std::shuffle(numbers.begin(), numbers.end(), rng);
        tBinList bin(128);
        std::map<std::uintptr_t, std::uintptr_t> numberMap;
        Compare(
            "tBinList", numbers, bin, numberMap,
            [](tBinList& t, std::uintptr_t k, size_t i) { t.Insert(k, i); },
            [](tBinList& t, std::uintptr_t k) { return t.Find(k); }, [](tBinList& t, std::uintptr_t k) { t.Remove(k); });

        std::vector<std::string> names(n);
        for (size_t i = 0; i < n; ++i) {
            names[i] = "X-Field-" + std::to_string(numbers[i]);
        }
        tStrIntList strInt(16);
        std::map<std::string, std::uintptr_t> nameMap;
        Compare(
            "tStrIntList", names, strInt, nameMap,
            [](tStrIntList& t, const std::string& k, size_t i) { t.Insert(k, static_cast<int>(i)); },
            [](tStrIntList& t, const std::string& k) { return static_cast<std::uintptr_t>(t.Find(k)); },
            [](tStrIntList& t, const std::string& k) { t.Remove(k); });
    }
    return 0;
}
