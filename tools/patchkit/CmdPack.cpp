#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/UDer.h"
#include "tools/packer/Packer.h"
#include "tools/patchkit/Commands.h"
#include "tools/patchkit/OutputFiles.h"

namespace patcher::patchkit {
namespace {

// Reads a whole regular file; one that is larger than `limit` bytes is refused unread.
std::vector<std::uint8_t> ReadWholeFile(const std::string& path, std::uintmax_t limit, const char* tooLarge) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        throw std::runtime_error("cannot read " + path +
                                 (std::filesystem::exists(path, error) ? ": not a regular file" : ": no such file"));
    }
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (!error && size > limit) {
        throw std::runtime_error(path + " has " + std::to_string(size) + " bytes, " + tooLarge);
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot open " + path);
    }
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        throw std::runtime_error("cannot read " + path);
    }
    return bytes;
}

}  // namespace

int RunPack(const Arguments& arguments) {
    Arguments paths = arguments;
    packer::ParseMethod method = packer::ParseMethod::Optimal;
    if (!paths.empty() && paths[0] == "--greedy") {
        method = packer::ParseMethod::Greedy;
        paths.erase(paths.begin());
    }
    if (paths.size() != 2) {
        throw UsageError{"takes an input and an output path"};
    }
    const std::vector<std::uint8_t> data =
        ReadWholeFile(paths[0], UnpackCapacity, "more than the 2097152 that one packed stream may unpack to");
    WriteWholeFile(paths[1], packer::Pack(data, method));
    return 0;
}

int RunUnpack(const Arguments& arguments) {
    if (arguments.size() != 2) {
        throw UsageError{"takes an input and an output path"};
    }
    // The codes of a token string (at most twice the capacity, at most 16 bits each) never need more.
    const std::vector<std::uint8_t> packed =
        ReadWholeFile(arguments[0], std::uintmax_t{8} * UnpackCapacity + 4096, "more than any packed stream needs");
    DecoderState state;
    WriteWholeFile(arguments[1], Unpack(state, packed));
    return 0;
}

}  // namespace patcher::patchkit
