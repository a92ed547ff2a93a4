#include "engine/UDer.h"

#include <algorithm>
#include <cstring>

namespace patcher {
namespace uder_detail {

std::uint8_t* ByteBuffer::Reserve(std::size_t size) {
    if (size > capacity_) {
        bytes_.reset();
        capacity_ = 0;
        bytes_ = std::make_unique_for_overwrite<std::uint8_t[]>(size);
        capacity_ = size;
    }
    return bytes_.get();
}

void ByteBuffer::Release() {
    bytes_.reset();
    capacity_ = 0;
}

}  // namespace uder_detail

namespace {

using uder_detail::kPairBits;
using uder_detail::kPairSize;
using uder_detail::kPrimaryBits;
using uder_detail::kSecondaryBits;

// Room past the end of each buffer, for moves of whole words that run past the end of a token.
constexpr std::size_t kSlack = 32;

// Every token of k bytes yields at least k / 2 output bytes, so a longer intermediate string can only end in
// output past the capacity.
constexpr std::uint32_t kMaxIntermediateLength = 2u * UnpackCapacity;

// Lookup entries (16 bits):
//   bits 0..4   length of the code in bits (1..16)
//   bit 6       link: bits 8..15 number the second-level table for the code's next 5 bits
//   bit 7       empty: no code starts with these bits
//   bits 8..15  the symbol
// A leaf of the first level holds a code of at most 11 bits, repeated for every value of the bits after it;
// longer codes sit in second-level tables, again repeated for the unused low bits.
constexpr std::uint16_t kLengthMask = 0x3F;  // bit 5 is always clear: a shift count as the CPU masks it
constexpr std::uint16_t kLinkFlag = 0x40;
constexpr std::uint16_t kEmptyFlag = 0x80;
constexpr std::size_t kPrimarySize = std::size_t{1} << kPrimaryBits;
constexpr std::size_t kSecondarySize = std::size_t{1} << kSecondaryBits;

[[noreturn]] void Fail(const char* what) {
    throw UnpackError(what);
}

[[noreturn]] void FailCopy(std::size_t distance) {
    Fail(distance == 0 ? "a copy has distance 0" : "a copy reaches before the start of the output");
}

// The bit reader of the table: the position of the current byte and the bits still unread in it (8..1).
class BitReader {
  public:
    explicit BitReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::uint32_t Read(int count) {
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i) {
            if (position_ >= bytes_.size()) {
                Fail("the packed data ends inside the code table");
            }
            --bitsLeft_;
            value = (value << 1) | ((bytes_[position_] >> bitsLeft_) & 1u);
            if (bitsLeft_ == 0) {
                bitsLeft_ = 8;
                ++position_;
            }
        }
        return value;
    }

    // The byte after the table: the fill bits of a partly read byte are skipped.
    std::size_t NextWholeByte() const { return bitsLeft_ == 8 ? position_ : position_ + 1; }

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t position_ = 0;
    int bitsLeft_ = 8;
};

void ReadCodeTable(BitReader& bits, CodeTable& table) {
    std::array<CodeEntry, 256> read{};
    int count = 0;
    for (int symbol = 0; symbol < 256; ++symbol) {
        if (bits.Read(1) == 0) {
            continue;
        }
        const auto length = static_cast<std::uint8_t>(bits.Read(4));
        CodeEntry& entry = read[static_cast<std::size_t>(count++)];
        entry.Length = length == 0 ? 16 : length;
        entry.Code = static_cast<std::uint16_t>(bits.Read(entry.Length));
        entry.Symbol = static_cast<std::uint8_t>(symbol);
    }
    if (count < 2) {
        Fail("the code table has fewer than two entries");
    }
    // Stable order by length: entries of one length keep increasing byte value.
    std::size_t next = 0;
    for (int length = 1; length <= 16; ++length) {
        for (int i = 0; i < count; ++i) {
            if (read[static_cast<std::size_t>(i)].Length == length) {
                table.Entries[next++] = read[static_cast<std::size_t>(i)];
            }
        }
    }
    table.Count = static_cast<std::uint16_t>(count);
}

void FillSlots(std::uint16_t* slots, std::size_t first, std::size_t count, std::uint16_t entry) {
    for (std::size_t i = first; i < first + count; ++i) {
        if (slots[i] != kEmptyFlag) {
            Fail("the code table is not a prefix code");
        }
        slots[i] = entry;
    }
}

// Builds the lookup from the entries alone, so nothing of an earlier stream can be matched. Two codes of
// which one is a prefix of the other claim the same slot, which is refused.
void BuildLookup(const CodeTable& table, std::uint16_t* lookup) {
    std::fill(lookup, lookup + kPrimarySize, kEmptyFlag);
    std::size_t links = 0;
    for (std::size_t i = 0; i < table.Count; ++i) {
        const CodeEntry& entry = table.Entries[i];
        const int length = entry.Length;
        const auto leaf = static_cast<std::uint16_t>(entry.Symbol << 8 | length);
        if (length <= kPrimaryBits) {
            const int unused = kPrimaryBits - length;
            FillSlots(lookup, std::size_t{entry.Code} << unused, std::size_t{1} << unused, leaf);
            continue;
        }
        const int extra = length - kPrimaryBits;
        const std::size_t prefix = entry.Code >> extra;
        std::uint16_t& slot = lookup[prefix];
        if (slot == kEmptyFlag) {
            slot = static_cast<std::uint16_t>(links << 8 | kLinkFlag);
            std::fill_n(lookup + kPrimarySize + links * kSecondarySize, kSecondarySize, kEmptyFlag);
            ++links;
        } else if ((slot & kLinkFlag) == 0) {
            Fail("the code table is not a prefix code");
        }
        std::uint16_t* secondary = lookup + kPrimarySize + static_cast<std::size_t>(slot >> 8) * kSecondarySize;
        const int unused = kSecondaryBits - extra;
        const std::size_t low = entry.Code & ((std::size_t{1} << extra) - 1);
        FillSlots(secondary, low << unused, std::size_t{1} << unused, leaf);
    }
}

std::uint64_t LoadBigEndian64(const std::uint8_t* bytes) {
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    return __builtin_bswap64(word);
}

// Looks up the code at the top of the window (at least 16 bits there): the leaf entry, or kEmptyFlag when no
// code starts with those bits.
inline std::uint16_t Find(const std::uint16_t* lookup, std::uint64_t window) {
    std::uint16_t entry = lookup[window >> (64 - kPrimaryBits)];
    if ((entry & kLinkFlag) != 0) [[unlikely]] {
        const std::size_t next = (window >> (64 - 16)) & (kSecondarySize - 1);
        entry = lookup[kPrimarySize + static_cast<std::size_t>(entry >> 8) * kSecondarySize + next];
    }
    return entry;
}

inline std::uint16_t LookUp(const std::uint16_t* lookup, std::uint64_t window) {
    const std::uint16_t entry = Find(lookup, window);
    if ((entry & kEmptyFlag) != 0) [[unlikely]] {
        Fail("a code in the packed data matches no entry of its table");
    }
    return entry;
}

// Pair entries (32 bits):
//   bits 0..5    bits taken by the one or two codes
//   bit 7        decode alone: the first code is longer than the pair bits, or matches nothing
//   bits 8..15   first symbol, bits 16..23 second symbol
//   bits 24..25  number of symbols (1 or 2)
constexpr std::uint32_t kAloneFlag = 0x80;

void BuildPairs(const std::uint16_t* lookup, std::uint32_t* pairs) {
    for (std::size_t bits = 0; bits < kPairSize; ++bits) {
        const std::uint64_t window = std::uint64_t{bits} << (64 - kPairBits);
        const std::uint16_t first = lookup[window >> (64 - kPrimaryBits)];
        if ((first & (kLinkFlag | kEmptyFlag)) != 0) {
            pairs[bits] = kAloneFlag;
            continue;
        }
        const unsigned firstLength = first & kLengthMask;
        std::uint32_t entry = firstLength | std::uint32_t{first & 0xFF00u} | 1u << 24;
        // The second code counts only if it lies wholly within the pair bits; the bits after them are zero.
        const std::uint16_t second = lookup[(window << firstLength) >> (64 - kPrimaryBits)];
        const unsigned secondLength = second & kLengthMask;
        if ((second & (kLinkFlag | kEmptyFlag)) == 0 && firstLength + secondLength <= kPairBits) {
            entry = (firstLength + secondLength) | std::uint32_t{first & 0xFF00u} |
                    std::uint32_t{second & 0xFF00u} << 8 | 2u << 24;
        }
        pairs[bits] = entry;
    }
}

// A place in the symbol bits, read a machine word at a time: the next Bits bits of the stream are at the top
// of Window, the bits below them are zero or the stream's own following bits, and In is the first byte not yet
// loaded into the window.
struct SymbolCursor {
    const std::uint8_t* In = nullptr;
    std::uint64_t Window = 0;
    unsigned Bits = 0;

    std::uint64_t BitPosition(const std::uint8_t* data) const {
        return static_cast<std::uint64_t>(In - data) * 8 - Bits;
    }

    // Tops the window up to at least 56 bits; eight bytes must remain from In.
    void Refill() {
        Window |= LoadBigEndian64(In) >> Bits;
        In += (63 - Bits) >> 3;
        Bits |= 56;
    }

    void Take(unsigned length) {
        Window <<= length;
        Bits -= length;
    }
};

// Decodes one group of Steps lookups of one or two symbols each. The cursor must have at least 12 bits and
// eight bytes left, and out room for 2 * Steps symbols. After the refill at least 56 bits are in the window
// and the group takes at most 44 of them (each step at most 44 / Steps), so that the next group finds its
// 12: its first lookup uses the window before its refill, and so does not wait for the refill's load.
// A speculative group stops at a code that matches nothing and returns false, cursor and out at that code.
template <int Steps, bool Speculative>
inline bool DecodeGroup(const std::uint16_t* lookup,
                        const std::uint32_t* pairs,
                        SymbolCursor& cursor,
                        std::uint8_t*& out) {
    std::uint64_t window = cursor.Window;
    const std::uint64_t refilled = window | LoadBigEndian64(cursor.In) >> cursor.Bits;
    cursor.In += (63 - cursor.Bits) >> 3;
    unsigned bits = cursor.Bits | 56;
    std::uint32_t pair = pairs[window >> (64 - kPairBits)];
    window = refilled;
    for (int i = 0; i < Steps; ++i) {
        if (i != 0) {
            pair = pairs[window >> (64 - kPairBits)];
        }
        if ((pair & kAloneFlag) != 0) [[unlikely]] {
            const std::uint16_t entry = Speculative ? Find(lookup, window) : LookUp(lookup, window);
            if (Speculative && (entry & kEmptyFlag) != 0) {
                cursor.Window = window;
                cursor.Bits = bits;
                return false;
            }
            *out++ = static_cast<std::uint8_t>(entry >> 8);
            window <<= (entry & kLengthMask);
            bits -= (entry & kLengthMask);
            continue;
        }
        out[0] = static_cast<std::uint8_t>(pair >> 8);
        out[1] = static_cast<std::uint8_t>(pair >> 16);
        out += pair >> 24;
        window <<= (pair & kLengthMask);
        bits -= (pair & kLengthMask);
    }
    cursor.Window = window;
    cursor.Bits = bits;
    return true;
}

// Decodes symbols from the cursor until out reaches outEnd (which has room for one more byte): whole groups
// while eight bytes remain, then one symbol at a time, byte by byte, as if zero bytes followed the end; a code
// that takes bits past the end fails.
template <int Steps>
void DecodeRest(const std::uint16_t* lookup,
                const std::uint32_t* pairs,
                std::span<const std::uint8_t> packed,
                SymbolCursor cursor,
                std::uint8_t* out,
                std::uint8_t* const outEnd) {
    const std::uint8_t* const data = packed.data();
    const std::uint8_t* const inEnd = data + packed.size();
    if (cursor.Bits < 12 && inEnd - cursor.In >= 8) {
        cursor.Refill();
    }
    while (inEnd - cursor.In >= 8 && outEnd - out >= 2 * Steps) {
        DecodeGroup<Steps, false>(lookup, pairs, cursor, out);
    }

    std::size_t position = static_cast<std::size_t>(cursor.In - data);
    std::uint64_t window = cursor.Window;
    unsigned bits = cursor.Bits;
    const std::uint64_t totalBits = std::uint64_t{packed.size()} * 8;
    while (out != outEnd) {
        while (bits <= 56) {
            const std::uint64_t byte = position < packed.size() ? data[position] : 0;
            window |= byte << (56 - bits);
            ++position;
            bits += 8;
        }
        const std::uint16_t entry = LookUp(lookup, window);
        *out++ = static_cast<std::uint8_t>(entry >> 8);
        window <<= (entry & kLengthMask);
        bits -= (entry & kLengthMask);
        if (std::uint64_t{position} * 8 - bits > totalBits) {
            Fail("the packed data ends inside a code");
        }
    }
}

// Long streams are decoded from both ends of their symbol bits at once, as two independent chains of lookups
// that the processor overlaps. The second half starts at a byte in the middle, which need not be the start of
// a code; but prefix codes find their way back to the codes' own boundaries within a few symbols. The second
// decoder notes where its first kProbe symbols start; the first decodes up to the middle and on until it
// reaches one of those places, after which both read the same codes, and the second's symbols from there on
// are the stream's. If the two never meet, the first simply decodes on to the end. The second half goes to
// `scratch` first and is moved into place once the first half's symbol count is known.
constexpr std::size_t kSplitMinimumBytes = 2048;
constexpr int kProbe = 64;

template <int Steps>
void DecodeSymbols(const std::uint16_t* lookup,
                   const std::uint32_t* pairs,
                   std::span<const std::uint8_t> packed,
                   std::size_t start,
                   std::uint8_t* out,
                   std::size_t count,
                   std::uint8_t* scratch,
                   std::size_t scratchSize) {
    const std::uint8_t* const data = packed.data();
    const std::uint8_t* const inEnd = data + packed.size();
    std::uint8_t* const outEnd = out + count;
    SymbolCursor first{data + start};
    if (packed.size() - start < kSplitMinimumBytes || count < kSplitMinimumBytes) {
        DecodeRest<Steps>(lookup, pairs, packed, first, out, outEnd);
        return;
    }

    const std::size_t middle = start + (packed.size() - start) / 2;
    const std::uint64_t split = std::uint64_t{middle} * 8;
    SymbolCursor second{data + middle};
    std::array<std::uint64_t, kProbe> starts{};
    int probed = 0;
    std::uint8_t* secondOut = scratch;
    std::uint8_t* const scratchEnd = scratch + scratchSize;
    bool secondAlive = true;
    for (; probed < kProbe; ++probed) {
        if (second.Bits < 16) {
            second.Refill();
        }
        starts[static_cast<std::size_t>(probed)] = second.BitPosition(data);
        const std::uint16_t entry = Find(lookup, second.Window);
        if ((entry & kEmptyFlag) != 0) {
            secondAlive = false;
            break;
        }
        *secondOut++ = static_cast<std::uint8_t>(entry >> 8);
        second.Take(entry & kLengthMask);
    }
    if (second.Bits < 12) {
        second.Refill();
    }

    first.Refill();
    while (first.BitPosition(data) + 64 <= split && outEnd - out >= 2 * Steps) {
        DecodeGroup<Steps, false>(lookup, pairs, first, out);
        if (secondAlive && inEnd - second.In >= 8 && scratchEnd - secondOut >= 2 * Steps) {
            secondAlive = DecodeGroup<Steps, true>(lookup, pairs, second, secondOut);
        }
    }

    // One symbol at a time up to the middle and on, until the first decoder stands where the second did.
    int meet = 0;
    for (;;) {
        if (out == outEnd) {
            return;  // the whole stream lay before the middle
        }
        const std::uint64_t at = first.BitPosition(data);
        if (at >= split) {
            while (meet < probed && starts[static_cast<std::size_t>(meet)] < at) {
                ++meet;
            }
            if (meet == probed) {
                DecodeRest<Steps>(lookup, pairs, packed, first, out, outEnd);
                return;
            }
            if (starts[static_cast<std::size_t>(meet)] == at) {
                break;
            }
        }
        if (first.Bits < 16) {
            first.Refill();
        }
        const std::uint16_t entry = LookUp(lookup, first.Window);
        *out++ = static_cast<std::uint8_t>(entry >> 8);
        first.Take(entry & kLengthMask);
    }

    // From the meeting point on the second decoder's symbols are the stream's: it decodes what it still
    // lacks (now failing as any decode would), and its symbols move into place.
    const auto needed = static_cast<std::size_t>(outEnd - out);
    std::uint8_t* const from = scratch + meet;
    if (needed + static_cast<std::size_t>(meet) + 1 > scratchSize) {
        DecodeRest<Steps>(lookup, pairs, packed, first, out, outEnd);
        return;
    }
    if (secondOut < from + needed) {
        DecodeRest<Steps>(lookup, pairs, packed, second, secondOut, from + needed);
    }
    std::memcpy(out, from, needed);
}

inline void Copy16(std::uint8_t* to, const std::uint8_t* from) {
    std::uint8_t chunk[16];
    std::memcpy(chunk, from, sizeof chunk);
    std::memcpy(to, chunk, sizeof chunk);
}

}  // namespace

void DecoderState::ReleaseBuffers() {
    intermediate_.Release();
    output_.Release();
    intermediateLength_ = 0;
    produced_ = 0;
}

std::span<const std::uint8_t> HuffmanStage(DecoderState& state, std::span<const std::uint8_t> packed) {
    state.intermediateLength_ = 0;
    BitReader bits(packed);
    ReadCodeTable(bits, state.codes_);
    BuildLookup(state.codes_, state.lookup_.data());
    BuildPairs(state.lookup_.data(), state.pairs_.data());

    const std::size_t lengthAt = bits.NextWholeByte();
    if (lengthAt > packed.size() || packed.size() - lengthAt < 4) {
        Fail("the packed data ends before the intermediate length");
    }
    const std::uint8_t* field = packed.data() + lengthAt;
    const std::uint32_t length = std::uint32_t{field[0]} | std::uint32_t{field[1]} << 8 |
                                 std::uint32_t{field[2]} << 16 | std::uint32_t{field[3]} << 24;
    const std::size_t symbolsAt = lengthAt + 4;
    if (length == 0) {
        Fail("the intermediate length is 0");
    }
    const std::uint64_t symbolBits = std::uint64_t{packed.size() - symbolsAt} * 8;
    const unsigned shortest = state.codes_.Entries[0].Length;
    if (std::uint64_t{length} * shortest > symbolBits) {
        Fail("the intermediate length counts more codes than the packed data holds");
    }
    if (length > kMaxIntermediateLength) {
        Fail("the intermediate length is more than any output within the capacity needs");
    }

    std::uint8_t* out = state.intermediate_.Reserve(length + kSlack);
    // The output buffer is not in use yet: it holds the second half of the symbols for a while.
    std::uint8_t* scratch = state.output_.Reserve(std::size_t{UnpackCapacity} + kSlack);
    const unsigned longest = state.codes_.Entries[state.codes_.Count - 1u].Length;
    if (longest <= 14) {
        DecodeSymbols<3>(state.lookup_.data(), state.pairs_.data(), packed, symbolsAt, out, length, scratch,
                         UnpackCapacity);
    } else {
        DecodeSymbols<2>(state.lookup_.data(), state.pairs_.data(), packed, symbolsAt, out, length, scratch,
                         UnpackCapacity);
    }
    state.intermediateLength_ = length;
    return {out, length};
}

std::int32_t LzStage(DecoderState& state, std::span<const std::uint8_t> intermediate) {
    state.produced_ = 0;
    std::uint8_t* const base = state.output_.Reserve(std::size_t{UnpackCapacity} + kSlack);
    std::uint8_t* const capacityEnd = base + UnpackCapacity;
    std::uint8_t* out = base;
    const std::uint8_t* in = intermediate.data();
    const std::uint8_t* const inEnd = in + intermediate.size();

    // While a whole token of any kind fits before both ends, tokens need no bounds checks of their own: a
    // literal run is at most 129 bytes in and 128 out, a copy 2 in and 10 out. Runs are moved 32 bytes at
    // first and copies 10 (what lands past the token is overwritten by the next); only runs of more than 32
    // bytes and copies that overlap their own output take a second look.
    while (inEnd - in >= 130 && capacityEnd - out >= 128) {
        const unsigned token = in[0];
        if (token >= 0x80) {
            const std::size_t run = (token & 0x7F) + 1;
            Copy16(out, in + 1);
            Copy16(out + 16, in + 17);
            if (run > 32) [[unlikely]] {
                for (std::size_t done = 32; done < run; done += 16) {
                    Copy16(out + done, in + 1 + done);
                }
            }
            out += run;
            in += run + 1;
            continue;
        }
        const std::size_t length = (token >> 4) + 3;
        const std::size_t distance = std::size_t{token & 0x0F} << 8 | in[1];
        in += 2;
        if (distance - 1 >= static_cast<std::size_t>(out - base)) [[unlikely]] {
            FailCopy(distance);
        }
        const std::uint8_t* from = out - distance;
        if (distance >= length) [[likely]] {
            // Eight and two bytes rather than sixteen: a narrow load is less often held up by recent
            // stores to the output that it partly overlaps.
            std::uint64_t head;
            std::uint16_t tail;
            std::memcpy(&head, from, sizeof head);
            std::memcpy(&tail, from + 8, sizeof tail);
            std::memcpy(out, &head, sizeof head);
            std::memcpy(out + 8, &tail, sizeof tail);
        } else if (distance == 1) {
            std::memset(out, *from, 16);
        } else {
            for (std::size_t i = 0; i < length; ++i) {
                out[i] = from[i];
            }
        }
        out += length;
    }

    while (in != inEnd) {
        const unsigned token = *in;
        if (token >= 0x80) {
            const std::size_t run = (token & 0x7F) + 1;
            if (static_cast<std::size_t>(inEnd - in) - 1 < run) {
                Fail("a literal run goes past the end of the intermediate string");
            }
            if (static_cast<std::size_t>(capacityEnd - out) < run) {
                Fail("the unpacked data would exceed 2,097,152 bytes");
            }
            std::memcpy(out, in + 1, run);
            out += run;
            in += run + 1;
            continue;
        }
        if (inEnd - in < 2) {
            Fail("a copy token is cut off by the end of the intermediate string");
        }
        const std::size_t length = (token >> 4) + 3;
        const std::size_t distance = std::size_t{token & 0x0F} << 8 | in[1];
        in += 2;
        if (distance - 1 >= static_cast<std::size_t>(out - base)) {
            FailCopy(distance);
        }
        if (static_cast<std::size_t>(capacityEnd - out) < length) {
            Fail("the unpacked data would exceed 2,097,152 bytes");
        }
        const std::uint8_t* from = out - distance;
        for (std::size_t i = 0; i < length; ++i) {
            out[i] = from[i];
        }
        out += length;
    }
    state.produced_ = static_cast<std::int32_t>(out - base);
    return state.produced_;
}

std::span<const std::uint8_t> Unpack(DecoderState& state, std::span<const std::uint8_t> packed) {
    const std::span<const std::uint8_t> intermediate = HuffmanStage(state, packed);
    const std::int32_t produced = LzStage(state, intermediate);
    return {state.output_.Data(), static_cast<std::size_t>(produced)};
}

}  // namespace patcher
