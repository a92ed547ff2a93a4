// libFuzzer harness for Unpack: no stream may make it read or write outside its buffers, hang, or fail with
// anything but UnpackError; and whatever it unpacks, the bit-at-a-time reference unpacks alike.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "engine/UDer.h"
#include "tools/packer/ReferenceUnpack.h"

namespace {

// The reference reads bit by bit; longer inputs are only unpacked the fast way.
constexpr std::size_t kCompareUpTo = 16384;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // One state for every input, as the patcher keeps one for all its resources.
    static patcher::DecoderState state;
    const std::span<const std::uint8_t> packed(data, size);

    std::vector<std::uint8_t> fast;
    std::string fastError;
    try {
        const std::span<const std::uint8_t> out = patcher::Unpack(state, packed);
        fast.assign(out.begin(), out.end());
    } catch (const patcher::UnpackError& error) {
        fastError = error.what();
    }
    if (size > kCompareUpTo) {
        return 0;
    }

    std::vector<std::uint8_t> slow;
    bool slowFailed = false;
    try {
        slow = patcher::packer::ReferenceUnpack(packed);
    } catch (const patcher::UnpackError&) {
        slowFailed = true;
    }
    if (fastError.empty()) {
        if (slowFailed || slow != fast) {
            std::abort();  // unpacked what the reference does not, or differently
        }
    } else if (!slowFailed && fastError.find("not a prefix code") == std::string::npos) {
        std::abort();  // refused a stream that the reference unpacks, for a reason other than its table
    }
    return 0;
}
