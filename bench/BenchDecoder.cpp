// The packed-data format: packed sizes of the greedy and the optimal parse, and the time to unpack them with
// the bit-at-a-time reference, with Unpack, and (for scale) with zlib's uncompress of the same bytes
// compressed at level 9. Also the time to pack 2 MiB.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "bench/Bench.h"
#include "engine/UDer.h"
#include "tools/packer/Packer.h"
#include "tools/packer/ReferenceUnpack.h"
#include "tools/standin/StandinGenerator.h"

namespace patcher::bench {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The build splits the newest VokarEn.exe into resources of this many bytes and the rest.
constexpr std::size_t kFirstResourceSize = 1'000'000;
constexpr const char* kKernel32 = "/usr/lib/i386-linux-gnu/wine/i386-windows/kernel32.dll";
constexpr const char* kHeaders = "/usr/include/c++/12/bits";
constexpr std::size_t kTextSize = 1 << 20;

struct Input {
    std::string Name;
    Bytes Data;
};

Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Text: the first MiB of GCC's C++ library headers, in name order.
Bytes HeaderText() {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(kHeaders, error)) {
        if (entry.path().extension() == ".h") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    Bytes text;
    for (const auto& file : files) {
        const Bytes content = ReadFile(file);
        text.insert(text.end(), content.begin(), content.end());
        if (text.size() >= kTextSize) {
            text.resize(kTextSize);
            break;
        }
    }
    return text;
}

double Milliseconds(double seconds) {
    return seconds * 1e3;
}

double MegabytesPerSecond(std::size_t bytes, double seconds) {
    return static_cast<double>(bytes) / seconds / 1e6;
}

struct Figures {
    std::size_t Size = 0;
    std::size_t Greedy = 0;
    std::size_t Optimal = 0;
    double PackSeconds = 0;
    double Reference = 0;  // seconds to unpack
    double Ours = 0;
    double Zlib = 0;
    bool Same = true;
};

void Print(const std::string& name, const Figures& f) {
    std::printf(
        "%-22s %9zu  %9zu %9zu  %6.4f %6.2f s  %8.2f ms %5.0f MB/s  %6.3f ms %5.0f MB/s  %6.3f ms %5.0f MB/s"
        "  %5.3f  %6.4f (%4.1fx)%s\n",
        name.c_str(), f.Size, f.Greedy, f.Optimal, static_cast<double>(f.Optimal) / static_cast<double>(f.Greedy),
        f.PackSeconds, Milliseconds(f.Reference), MegabytesPerSecond(f.Size, f.Reference), Milliseconds(f.Ours),
        MegabytesPerSecond(f.Size, f.Ours), Milliseconds(f.Zlib), MegabytesPerSecond(f.Size, f.Zlib), f.Ours / f.Zlib,
        f.Ours / f.Reference, f.Reference / f.Ours, f.Same ? "" : "  UNPACKED BYTES DIFFER");
}

Figures Measure(const Input& input, DecoderState& state) {
    if (input.Data.empty()) {
        std::printf("%-22s not found\n", input.Name.c_str());
        return {};
    }
    const Bytes greedy = packer::Pack(input.Data, packer::ParseMethod::Greedy);
    Bytes packed;
    const double packSeconds = BestSeconds(1, [&] { packed = packer::Pack(input.Data); });

    const auto unpacked = Unpack(state, packed);
    const bool same = std::equal(unpacked.begin(), unpacked.end(), input.Data.begin(), input.Data.end()) &&
                      packer::ReferenceUnpack(packed) == input.Data;
    const double reference = BestSeconds(3, [&] { packer::ReferenceUnpack(packed); });
    const double ours = BestSeconds(40, [&] { Unpack(state, packed); });

    uLongf zippedSize = compressBound(static_cast<uLong>(input.Data.size()));
    Bytes zipped(zippedSize);
    compress2(zipped.data(), &zippedSize, input.Data.data(), static_cast<uLong>(input.Data.size()), 9);
    Bytes inflated(input.Data.size());
    const double zlib = BestSeconds(40, [&] {
        uLongf size = static_cast<uLongf>(inflated.size());
        uncompress(inflated.data(), &size, zipped.data(), zippedSize);
    });

    const Figures figures{input.Data.size(), greedy.size(), packed.size(), packSeconds, reference, ours, zlib, same};
    Print(input.Name, figures);
    return figures;
}

void MeasurePacking(const std::string& name, Bytes data) {
    if (data.empty()) {
        return;
    }
    const std::size_t capacity = UnpackCapacity;
    const std::size_t original = data.size();
    for (std::size_t at = 0; data.size() < capacity; at = (at + 1) % original) {
        data.push_back(data[at]);
    }
    data.resize(capacity);
    std::size_t packedSize = 0;
    const double seconds = BestSeconds(1, [&] { packedSize = packer::Pack(data).size(); });
    std::printf("packing 2 MiB of %s: %.2f s (%zu bytes packed)\n", name.c_str(), seconds, packedSize);
}

}  // namespace

void BenchDecoder() {
    const Bytes standin = standin::GenerateStandin(1, 11);
    const auto split = standin.begin() + static_cast<std::ptrdiff_t>(std::min(kFirstResourceSize, standin.size()));
    const Bytes kernel32 = ReadFile(kKernel32);
    const std::vector<Input> inputs = {
        {"VokarEn.exe 11, part 1", Bytes(standin.begin(), split)},
        {"VokarEn.exe 11, part 2", Bytes(split, standin.end())},
        {"kernel32.dll (Wine)", kernel32},
        {"C++ headers (text)", HeaderText()},
    };

    std::printf(
        "Packed sizes (greedy and optimal parse, and the time to pack optimally); time to unpack the\n"
        "optimal stream (best of runs) with the bit-at-a-time reference, with Unpack, and with zlib's\n"
        "uncompress of the same bytes at level 9; then Unpack / zlib and Unpack / reference.\n");
    std::printf("%-22s %9s  %9s %9s  %6s %8s  %22s  %21s  %21s  %5s  %s\n", "input", "bytes", "greedy", "optimal",
                "ratio", "pack", "bit-at-a-time", "Unpack", "zlib -9", "/zlib", "/bit-at-a-time");
    const auto state = std::make_unique<DecoderState>();
    std::vector<Figures> figures;
    for (const Input& input : inputs) {
        figures.push_back(Measure(input, *state));
        std::fflush(stdout);
    }
    // Both resources of the stand-in together, as the patcher unpacks them one after the other.
    const Figures& a = figures[0];
    const Figures& b = figures[1];
    Print("VokarEn.exe 11, both",
          {a.Size + b.Size, a.Greedy + b.Greedy, a.Optimal + b.Optimal, a.PackSeconds + b.PackSeconds,
           a.Reference + b.Reference, a.Ours + b.Ours, a.Zlib + b.Zlib, a.Same && b.Same});
    MeasurePacking("VokarEn.exe 11", standin);
    MeasurePacking("kernel32.dll, repeated", kernel32);
}

}  // namespace patcher::bench
