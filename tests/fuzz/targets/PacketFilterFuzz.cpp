// The packet filter on arbitrary start and stop strings, sizes, limits and chunk boundaries. Checks:
// every packet is text of the stream (with its start and stop strings around it when they are cut
// off), every byte value passes unchanged, the buffer stays below its limit after every chunk.
#include "link/DataPacket.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace mirota;

namespace {
std::string Shown(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        char hex[8];
        std::snprintf(hex, sizeof hex, c >= 0x20 && c < 0x7F && c != '\\' ? "%c" : "\\x%02x", c);
        out += hex;
    }
    return out;
}
} // namespace

#define Check(ok)                                                                                            \
    do {                                                                                                     \
        if (!(ok)) {                                                                                         \
            std::fprintf(stderr,                                                                             \
                         "failed: %s\nstart \"%s\" stop \"%s\" size %d include %d limit %d\nstream "         \
                         "\"%s\"\npacket \"%s\"\n",                                                          \
                         #ok, Shown(start).c_str(), Shown(stop).c_str(), fixedSize, include,                 \
                         filter.MaxBufferSize, Shown(stream).c_str(), Shown(packet).c_str());                \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (0)

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    TComDataPacket filter;
    const std::string start = in.ConsumeRandomLengthString(6);
    const std::string stop = in.ConsumeRandomLengthString(6);
    const int fixedSize = in.ConsumeBool() ? in.ConsumeIntegralInRange<int>(0, 64) : 0;
    const bool include = in.ConsumeBool();
    const bool caseInsensitive = in.ConsumeBool();
    filter.SetStartString(start);
    filter.SetStopString(stop);
    filter.SetSize(fixedSize);
    filter.SetCaseInsensitive(caseInsensitive);
    filter.IncludeStrings = include;
    filter.MaxBufferSize = in.ConsumeBool() ? 1024 : in.ConsumeIntegralInRange<int>(0, 64);

    std::string stream;
    std::size_t delivered = 0;
    const bool passThrough = fixedSize <= 0 && stop.empty();
    filter.OnPacket = [&](TComDataPacket*, const std::string& packet) {
        ++delivered;
        if (passThrough || caseInsensitive) return; // chunks as they came / matched in another letter case
        if (include || fixedSize > 0) {
            Check(stream.find(packet) != std::string::npos);
            if (include && (fixedSize <= 0 || static_cast<std::size_t>(fixedSize) >= start.size()))
                Check(packet.compare(0, start.size(), start) == 0);
            if (include && fixedSize <= 0)
                Check(packet.size() >= stop.size() &&
                      packet.compare(packet.size() - stop.size(), stop.size(), stop) == 0);
        } else {
            Check(stream.find(start + packet + stop) != std::string::npos);
        }
    };
    while (in.remaining_bytes() > 0) {
        const std::string chunk = in.ConsumeRandomLengthString(2048);
        stream += chunk;
        filter.AddData(chunk);
        const std::string& packet = filter.Buffered();
        if (filter.MaxBufferSize > 0) Check(packet.size() < static_cast<std::size_t>(filter.MaxBufferSize));
    }
    return 0;
}
