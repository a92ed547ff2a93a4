#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/UDer.h"
#include "tools/packer/Packer.h"
#include "tools/packer/PrefixCode.h"
#include "tools/patchkit/Commands.h"
#include "tools/patchkit/InputFiles.h"
#include "tools/patchkit/MessageText.h"
#include "tools/patchkit/OutputFolder.h"
#include "tools/patchkit/Utf8Path.h"

namespace patcher::patchkit {
namespace {

// The input of a command that turns one file into another: a regular file of at most `limit` bytes, which
// the output may not be (writing it would destroy what is read).
std::vector<std::uint8_t> ReadInput(const std::string& in,
                                    const std::string& out,
                                    std::uint64_t limit,
                                    const std::string& limitText) {
    std::vector<std::uint8_t> bytes;
    try {
        bytes = ReadRegularFile(PathFromUtf8(in), limit, limitText);
    } catch (const ReadError& error) {
        throw std::runtime_error(Quoted(in) + " cannot be read (" + error.what() + ")");
    }
    if (SameFile(PathFromUtf8(in), PathFromUtf8(out))) {
        throw std::runtime_error(Quoted(out) + " is the input " + Quoted(in) +
                                 " itself, which writing it would destroy");
    }
    return bytes;
}

// How many bytes of `packed` its stream takes: the code table, the intermediate length and the codes that
// the Huffman stage reads, each part rounded up to whole bytes as the packer writes it. The decoder never
// looks past them, so the file that holds one stream must end there.
std::uint64_t StreamBytes(DecoderState& state, std::span<const std::uint8_t> packed) {
    const std::span<const std::uint8_t> intermediate = HuffmanStage(state, packed);
    packer::PrefixCode code;
    const CodeTable& table = state.Codes();
    for (std::size_t i = 0; i < table.Count; ++i) {
        code.Lengths[table.Entries[i].Symbol] = table.Entries[i].Length;
    }
    return packer::PackedSize(code, packer::CountSymbols(intermediate));
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
        ReadInput(paths[0], paths[1], UnpackCapacity, "that one packed stream may unpack to");
    std::vector<std::uint8_t> packed;
    try {
        packed = packer::Pack(data, method);
    } catch (const packer::PackError& error) {
        throw std::runtime_error(Quoted(paths[0]) + " cannot be packed: " + error.what());
    }
    ReplaceFile(PathFromUtf8(paths[1]), packed);
    return 0;
}

int RunUnpack(const Arguments& arguments) {
    if (arguments.size() != 2) {
        throw UsageError{"takes an input and an output path"};
    }
    const std::vector<std::uint8_t> packed =
        ReadInput(arguments[0], arguments[1], packer::kMaxPackedBytes, "that any packed stream needs");
    DecoderState state;
    std::span<const std::uint8_t> unpacked;
    try {
        const std::uint64_t streamBytes = StreamBytes(state, packed);
        if (streamBytes < packed.size()) {
            throw UnpackError("its stream ends after " + std::to_string(streamBytes) + " bytes, and " +
                              std::to_string(packed.size() - streamBytes) + " more follow");
        }
        unpacked = Unpack(state, packed);
    } catch (const UnpackError& error) {
        throw std::runtime_error(Quoted(arguments[0]) + " does not unpack: " + error.what());
    }
    ReplaceFile(PathFromUtf8(arguments[1]), unpacked);
    return 0;
}

}  // namespace patcher::patchkit
