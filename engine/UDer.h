#pragma once

// The packed-data decoder. A packed stream is a stored prefix code over byte values, the length L of an
// intermediate string, and L codes; the intermediate string is a sequence of literal-run and copy tokens
// that expands into the unpacked bytes:
//
//   code table  for each byte value 0..255: a presence bit, then a 4-bit length (0 = 16) and the code
//   fill bits   the rest of the byte in which the table ends
//   L           unsigned 32-bit, little-endian
//   symbols     L codes back to back, first bit read = bit 7 of a byte; whatever follows is never read
//
//   token 0x80..0xFF   literal run: the next (t & 0x7F) + 1 intermediate bytes, copied as they are
//   token 0x00..0x7F   copy of (t >> 4) + 3 bytes from D = (t & 0x0F) * 256 + next byte places back

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>

namespace patcher {

// The most bytes that one packed stream may unpack to.
inline constexpr std::int32_t UnpackCapacity = 2'097'152;

// A packed stream that breaks a limit of the format (truncated, a code that matches no entry, a token past
// the end of the intermediate string, a copy from before the output, output past UnpackCapacity, ...).
class UnpackError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// One stored code: the low Length bits of Code, first bit read = most significant.
struct CodeEntry {
    std::uint8_t Length = 0;  // 1..16
    std::uint16_t Code = 0;
    std::uint8_t Symbol = 0;
};

// The code of the last stream read, sorted by length (equal lengths in increasing byte value).
struct CodeTable {
    std::array<CodeEntry, 256> Entries{};
    std::uint16_t Count = 0;
};

namespace uder_detail {
// Lookup of the stored code: a first-level table indexed by the next 11 bits, and for codes longer than that
// up to 256 second-level tables indexed by the 5 bits after them.
inline constexpr int kPrimaryBits = 11;
inline constexpr int kSecondaryBits = 16 - kPrimaryBits;
inline constexpr std::size_t kLookupSize = (std::size_t{1} << kPrimaryBits) + 256 * (std::size_t{1} << kSecondaryBits);
// A table of the next 12 bits that yields two symbols at once where both codes fit in them.
inline constexpr int kPairBits = 12;
inline constexpr std::size_t kPairSize = std::size_t{1} << kPairBits;

// A byte buffer sized once for a stage, without clearing it first; it keeps its room between streams.
class ByteBuffer {
  public:
    std::uint8_t* Reserve(std::size_t size);
    std::uint8_t* Data() const { return bytes_.get(); }
    void Release();

  private:
    std::unique_ptr<std::uint8_t[]> bytes_;
    std::size_t capacity_ = 0;
};
}  // namespace uder_detail

class DecoderState;

// Unpacks one packed stream: HuffmanStage, then LzStage. The bytes returned belong to the state and stay
// valid until the next call on it. Throws UnpackError for a broken stream, std::bad_alloc when the buffers
// cannot be had; never reads or writes outside its buffers.
std::span<const std::uint8_t> Unpack(DecoderState& state, std::span<const std::uint8_t> packed);

// Reads the code table and L, and decodes the L codes into the state's intermediate buffer (exactly L bytes,
// returned). Refuses codes that are not prefix-free and an L that no stream of that size, or no output
// within UnpackCapacity, can hold. Uses the output buffer as scratch room on the way.
std::span<const std::uint8_t> HuffmanStage(DecoderState& state, std::span<const std::uint8_t> packed);

// Expands a token string into the state's output buffer (UnpackCapacity bytes); returns the produced count.
std::int32_t LzStage(DecoderState& state, std::span<const std::uint8_t> intermediate);

// Everything one decode needs, reused from stream to stream: the code table and its lookups (some 40 KB, so
// best kept static or on the heap), the buffers and their counts. One decode at a time; not to be shared
// between threads.
class DecoderState {
  public:
    const CodeTable& Codes() const { return codes_; }
    std::uint32_t IntermediateLength() const { return intermediateLength_; }
    std::int32_t ProducedCount() const { return produced_; }

    // Frees both buffers (the next stream sizes them again).
    void ReleaseBuffers();

  private:
    friend std::span<const std::uint8_t> Unpack(DecoderState&, std::span<const std::uint8_t>);
    friend std::span<const std::uint8_t> HuffmanStage(DecoderState&, std::span<const std::uint8_t>);
    friend std::int32_t LzStage(DecoderState&, std::span<const std::uint8_t>);

    CodeTable codes_;
    std::array<std::uint16_t, uder_detail::kLookupSize> lookup_{};
    std::array<std::uint32_t, uder_detail::kPairSize> pairs_{};
    std::uint32_t intermediateLength_ = 0;
    uder_detail::ByteBuffer intermediate_;
    uder_detail::ByteBuffer output_;
    std::int32_t produced_ = 0;
};

}  // namespace patcher
