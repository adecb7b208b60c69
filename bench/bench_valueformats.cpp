// The value model's two text formats: writing and reading an array of mixed simple values and
// one long string, at three sizes each a tenfold of the last (up to a 100,000-element array and
// a 10 MB string). Prints the text's size, milliseconds and MB/s of text per operation (best of
// several runs): a cost linear in size shows as MB/s that stay level from 1x to 100x.
#include "lectern/lc/lcDataSet.h"
#include "lectern/lc/lcFastStrings.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

namespace {

constexpr int kRounds = 3;
constexpr int kLargestElements = 100000;
constexpr size_t kLargestStringBytes = 10u * 1000 * 1000;
constexpr int kSizes[] = {1, 10, 100};   // in hundredths of the largest

volatile size_t gSink;

double BestMs(const std::function<void()>& body)
{
    double best = 1e300;
    for (int round = 0; round < kRounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        body();
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

// Elements cycle through an integer, a short string, a float and a Boolean.
std::unique_ptr<TLcValueObject> MixedArray(int elements)
{
    auto array = std::make_unique<TLcArray>();
    for (int i = 0; i < elements; ++i) {
        std::unique_ptr<TLcSimpleValue> v;
        switch (i % 4) {
        case 0: v = std::make_unique<TLcIntegerValue>(); v->SetInteger(i * 7919); break;
        case 1: v = std::make_unique<TLcStringValue>(); v->SetString("item <" + std::to_string(i) + "> & more"); break;
        case 2: v = std::make_unique<TLcFloatValue>(); v->SetFloat(i / 3.0); break;
        default: v = std::make_unique<TLcBooleanValue>(); v->SetBoolean(i % 8 == 3); break;
        }
        array->AppendItem(std::move(v));
    }
    return array;
}

std::unique_ptr<TLcValueObject> LongString(size_t bytes)
{
    std::string text(bytes, ' ');
    for (size_t i = 0; i < bytes; ++i) {
        text[i] = "abcdefghij<&>;\"0123456789 "[i % 26];
    }
    auto value = std::make_unique<TLcStringValue>();
    value->SetString(text);
    return value;
}

void Measure(const char* what, const char* format, TLcValueObject& value, bool xml)
{
    std::string text;
    const double writeMs = BestMs([&] {
        TLcHugeString builder;
        if (xml) {
            value.to_XMLRPC(builder);
        } else {
            value.to_Code(builder);
        }
        text = builder.GetText();
    });
    const double readMs = BestMs([&] {
        auto back = ObjectFromType(value.GetType());
        size_t at = 0;
        if (xml) {
            back->from_XMLrpc(text, at);
        } else {
            back->from_Code(text, at);
        }
        gSink = at;
    });
    const double mb = static_cast<double>(text.size()) / 1e6;
    std::printf("%-22s %-8s %10.2f MB  write %9.1f ms %8.1f MB/s   read %9.1f ms %8.1f MB/s\n", what, format, mb,
                writeMs, mb / (writeMs / 1000), readMs, mb / (readMs / 1000));
}

}  // namespace

int main()
{
    for (const int hundredths : kSizes) {
        const int elements = kLargestElements / 100 * hundredths;
        auto array = MixedArray(elements);
        const std::string name = "array " + std::to_string(elements);
        Measure(name.c_str(), "code", *array, false);
        Measure(name.c_str(), "XML-RPC", *array, true);
    }
    for (const int hundredths : kSizes) {
        const size_t bytes = kLargestStringBytes / 100 * hundredths;
        auto text = LongString(bytes);
        const std::string name = "string " + std::to_string(bytes / 1000) + " KB";
        Measure(name.c_str(), "code", *text, false);
        Measure(name.c_str(), "XML-RPC", *text, true);
    }
    return 0;
}
