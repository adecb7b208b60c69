// The multipart reader on arbitrary bodies: the first byte chooses the boundary's length
// (2 to 17), the boundary follows, the rest is the body. Reading the body in memory and from
// a temporary file must end alike: the same fault message (or none), the same names, values
// and uploads, every upload inside the body.
#include "lectern/lc/lcHttpValues.h"
#include "lectern/lc/lcInfo.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr size_t kFuzzBoundaryLengths = 16;
constexpr size_t kFuzzShortestBoundary = 2;

struct TOutcome {
    std::string fault;
    std::vector<std::string> entries;  // name, then its values or its upload's place
    bool operator==(const TOutcome&) const = default;
};

TOutcome Read(const std::string& boundary, const std::string& body, bool inFile)
{
    TOutcome outcome;
    TLcHttpValues values;
    values.SetCacheLimit(inFile ? 1 : -1);
    values.SetSeparator(boundary);
    values.AddText(body);
    if (values.TempFileName().empty() == inFile) {
        std::abort();
    }
    try {
        values.NameCount();
    } catch (const ELcInfo& e) {
        outcome.fault = e.Message();
    }
    // Positions count from 1 in memory and from 0 in a file.
    const int64_t origin = inFile ? 0 : 1;
    for (int i = 0; i < values.NameCount(); ++i) {
        const std::string name = values.NameAt(i);
        outcome.entries.push_back("N" + name);
        if (const TUploadFileObject* upload = values.UploadOf(name)) {
            const int64_t offset = upload->Start() - origin;
            if (offset < 0 || upload->Length() < 0 ||
                offset + upload->Length() > static_cast<int64_t>(body.size())) {
                std::abort();
            }
            outcome.entries.push_back("U" + upload->FileName() + ":" + std::to_string(offset) + ":" +
                                      std::to_string(upload->Length()));
            continue;
        }
        for (int j = 0; j < values.ValueCountOf(name); ++j) {
            outcome.entries.push_back("V" + values.ValueOf(name, j));
        }
    }
    return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) {
        return 0;
    }
    const size_t boundaryLength = kFuzzShortestBoundary + data[0] % kFuzzBoundaryLengths;
    if (size <= 1 + boundaryLength) {
        return 0;  // no body: nothing would go to a file
    }
    const std::string boundary(reinterpret_cast<const char*>(data + 1), boundaryLength);
    const std::string body(reinterpret_cast<const char*>(data + 1 + boundaryLength), size - 1 - boundaryLength);
    if (Read(boundary, body, false) != Read(boundary, body, true)) {
        std::abort();
    }
    return 0;
}
