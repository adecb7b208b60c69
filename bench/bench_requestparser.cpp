// The request parser on a browser's traffic: pipelined request heads cut into TCP-sized
// packets, in microseconds per request, and a large body by length and in chunks, in MB/s
// (best of several rounds).
#include "BenchRequestHead.h"
#include "lectern/lc/lcHttpHeader.h"
#include "lectern/lc/lcHttpRequestParser.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

namespace {

constexpr int kRequests = 20000;
constexpr int kRounds = 5;
constexpr std::size_t kPacketBytes = 1460;       // one Ethernet segment of payload
constexpr std::size_t kBodyBytes = 16 << 20;     // 16 MiB
constexpr std::size_t kBodyPacketBytes = 64 << 10;
constexpr std::size_t kChunkBytes = 8 << 10;

// Feeds stream in packets and answers every complete request at once; seconds taken.
double Parse(const std::string& stream, std::size_t packet, int& requests, int64_t& bodyBytes)
{
    TLcRequest request;
    TLcHttpRequestParser parser;
    parser.SetRequest(&request);
    parser.SetMaxRequestSize(128000);
    parser.SetMaxHeaderSize(16000);
    requests = 0;
    bodyBytes = 0;
    const auto start = std::chrono::steady_clock::now();
    std::size_t at = 0;
    for (;;) {
        const TLcRequestStep step = parser.Next();
        if (step == TLcRequestStep::Delivery) {
            bodyBytes += static_cast<int64_t>(parser.Read().size());
            if (parser.Complete()) {
                ++requests;
                parser.NextRequest();
            }
        } else if (step == TLcRequestStep::NeedMore && at < stream.size()) {
            const std::size_t n = std::min(packet, stream.size() - at);
            parser.Feed(std::string_view(stream).substr(at, n));
            at += n;
        } else {
            break;
        }
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Best(const std::string& stream, std::size_t packet, int& requests, int64_t& bodyBytes)
{
    double best = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        best = std::min(best, Parse(stream, packet, requests, bodyBytes));
    }
    return best;
}

}  // namespace

int main()
{
    std::string heads;
    for (int i = 0; i < kRequests; ++i) {
        heads += kRequestHead;
    }
    int requests = 0;
    int64_t body = 0;
    double s = Best(heads, kPacketBytes, requests, body);
    std::printf("pipelined heads (%zu bytes each, %zu-byte packets): %.3f us per request, %d requests\n",
                kRequestHead.size(), kPacketBytes, s * 1e6 / requests, requests);

    const std::string lengthBody = "POST /up HTTP/1.1\r\nContent-Length: " + std::to_string(kBodyBytes) +
                                   "\r\n\r\n" + std::string(kBodyBytes, 'b');
    s = Best(lengthBody, kBodyPacketBytes, requests, body);
    std::printf("body by length (%zu MiB, %zu KiB packets): %.0f MB/s, %lld bytes\n", kBodyBytes >> 20,
                kBodyPacketBytes >> 10, body / s / 1e6, static_cast<long long>(body));

    std::string chunked = "POST /up HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n";
    char size[32];
    std::snprintf(size, sizeof size, "%zx\r\n", kChunkBytes);
    for (std::size_t done = 0; done < kBodyBytes; done += kChunkBytes) {
        chunked += size + std::string(kChunkBytes, 'c') + "\r\n";
    }
    chunked += "0\r\n\r\n";
    s = Best(chunked, kBodyPacketBytes, requests, body);
    std::printf("chunked body (%zu MiB in %zu KiB chunks, %zu KiB packets): %.0f MB/s, %lld bytes\n",
                kBodyBytes >> 20, kChunkBytes >> 10, kBodyPacketBytes >> 10, body / s / 1e6,
                static_cast<long long>(body));
    return 0;
}
