#include "tools/standin/ContentStyles.h"

#include <algorithm>
#include <string_view>

#include "tools/standin/Vocabulary.h"

namespace patcher::standin {
namespace {

void Put16(Bytes& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Put32(Bytes& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

void PutText(Bytes& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
}

template <typename T>
const T& Pick(Random& random, std::span<const T> items) {
    return items[random.Below(static_cast<std::uint32_t>(items.size()))];
}

// Skewed towards small values, as displacements and counts in real code are.
std::uint8_t SmallByte(Random& random) {
    const std::uint32_t a = random.Below(64);
    return static_cast<std::uint8_t>(a * random.Below(5) / 4);
}

// A frame offset below EBP: -4, -8, ... as a signed byte.
std::uint8_t FrameOffset(Random& random) {
    return static_cast<std::uint8_t>(0x100 - 4 * random.Between(1, 12));
}

// A near call into a program of about 1.5 MB: mostly backwards, so the high bytes are FF FF.
void PutCallTarget(Random& random, Bytes& out) {
    const std::int32_t distance = static_cast<std::int32_t>(random.Below(0x180000)) - 0x100000;
    Put32(out, static_cast<std::uint32_t>(distance));
}

// An address of a global or a method: programs refer to a limited set of them, some far more than others.
void PutPointer(Random& random, Bytes& out, std::uint32_t imageBase) {
    const std::uint32_t rank = random.Below(64) * random.Below(64);  // small ranks far more often
    Put32(out, imageBase + 0x1000 + ((rank * 0x9E3779B1u) % 0x60000 << 2));
}

// One instruction of the kind that compiled Delphi code is full of.
void EmitInstruction(Random& random, Bytes& out, std::uint32_t imageBase) {
    static constexpr std::uint8_t kRegisterPairs[] = {0xC0, 0xC3, 0xC6, 0xC7, 0xD0, 0xD3, 0xD6, 0xD8,
                                                      0xDE, 0xF0, 0xF3, 0xF8, 0xCB, 0xCE, 0xC8, 0xD1};
    static constexpr std::uint8_t kFrameModes[] = {0x45, 0x55, 0x4D, 0x5D, 0x75, 0x7D};
    const std::uint32_t kind = random.Below(100);
    if (kind < 14) {  // mov reg, [ebp-n]
        out.insert(out.end(), {0x8B, kFrameModes[random.Below(6)], FrameOffset(random)});
    } else if (kind < 22) {  // mov [ebp-n], reg
        out.insert(out.end(), {0x89, kFrameModes[random.Below(6)], FrameOffset(random)});
    } else if (kind < 34) {  // call near
        out.push_back(0xE8);
        PutCallTarget(random, out);
    } else if (kind < 40) {  // mov reg, reg
        out.insert(out.end(),
                   {random.Percent(50) ? std::uint8_t{0x8B} : std::uint8_t{0x89}, kRegisterPairs[random.Below(16)]});
    } else if (kind < 46) {  // mov eax/edx/ecx, imm32 (an address)
        out.push_back(static_cast<std::uint8_t>(0xB8 + random.Below(3)));
        PutPointer(random, out, imageBase);
    } else if (kind < 52) {  // test / or / xor reg, reg
        static constexpr std::uint8_t kOps[] = {0x85, 0x84, 0x33, 0x0B};
        out.insert(out.end(), {kOps[random.Below(4)], kRegisterPairs[random.Below(4)]});
    } else if (kind < 62) {  // conditional or short jump
        static constexpr std::uint8_t kJumps[] = {0x74, 0x75, 0x7C, 0x7E, 0x7F, 0x7D, 0x72, 0x73, 0xEB};
        out.insert(out.end(), {kJumps[random.Below(9)], static_cast<std::uint8_t>(random.Between(2, 60))});
    } else if (kind < 68) {  // mov reg, [reg+n] / mov [reg+n], reg
        out.insert(out.end(), {random.Percent(60) ? std::uint8_t{0x8B} : std::uint8_t{0x89},
                               static_cast<std::uint8_t>(0x40 + random.Below(32)),
                               static_cast<std::uint8_t>(4 * random.Below(24))});
    } else if (kind < 72) {  // lea eax, [ebp-n]
        out.insert(out.end(), {0x8D, kFrameModes[random.Below(3)], FrameOffset(random)});
    } else if (kind < 78) {  // push/pop a register or a small constant
        if (random.Percent(50)) {
            out.push_back(static_cast<std::uint8_t>(0x50 + random.Below(8)));
        } else {
            out.insert(out.end(), {0x6A, SmallByte(random)});
        }
    } else if (kind < 84) {  // cmp/add/sub reg, imm8
        out.insert(out.end(), {0x83, static_cast<std::uint8_t>(0xE8 + random.Below(24)), SmallByte(random)});
    } else if (kind < 88) {  // call [reg+n] (a virtual method)
        out.insert(out.end(), {0xFF, static_cast<std::uint8_t>(0x50 + random.Below(4)),
                               static_cast<std::uint8_t>(4 * random.Below(40))});
    } else if (kind < 91) {  // call [import thunk]
        out.insert(out.end(), {0xFF, 0x15});
        PutPointer(random, out, imageBase);
    } else if (kind < 94) {  // mov byte ptr / cmp byte ptr
        out.insert(out.end(), {random.Percent(50) ? std::uint8_t{0x80} : std::uint8_t{0xC6},
                               static_cast<std::uint8_t>(0x78 + random.Below(8)), SmallByte(random),
                               static_cast<std::uint8_t>(random.Below(2))});
    } else if (kind < 97) {  // inc/dec
        out.push_back(static_cast<std::uint8_t>(0x40 + random.Below(16)));
    } else {  // jcc near
        out.insert(out.end(), {0x0F, static_cast<std::uint8_t>(0x84 + random.Below(2))});
        Put32(out, random.Between(0x40, 0x400));
    }
}

void EmitPrologue(Random& random, Bytes& out) {
    switch (random.Below(6)) {
        case 0:
            out.insert(out.end(), {0x55, 0x8B, 0xEC});
            break;
        case 1:
            out.insert(out.end(), {0x55, 0x8B, 0xEC, 0x83, 0xC4, FrameOffset(random)});
            break;
        case 2:
            out.insert(out.end(), {0x55, 0x8B, 0xEC, 0x6A, 0x00, 0x6A, 0x00, 0x53, 0x56, 0x57});
            break;
        case 3:
            out.insert(out.end(), {0x53, 0x56, 0x57, 0x55});
            break;
        case 4:
            out.insert(out.end(), {0x53, 0x8B, 0xD8});
            break;
        default:
            out.insert(out.end(), {0x55, 0x8B, 0xEC, 0x33, 0xC9, 0x51, 0x51, 0x53, 0x56});
            break;
    }
}

void EmitEpilogue(Random& random, Bytes& out) {
    switch (random.Below(5)) {
        case 0:
            out.insert(out.end(), {0x5F, 0x5E, 0x5B, 0x8B, 0xE5, 0x5D, 0xC3});
            break;
        case 1:
            out.insert(out.end(), {0x59, 0x59, 0x5D, 0xC2, 0x04, 0x00});
            break;
        case 2:
            out.insert(out.end(), {0x5B, 0xC3});
            break;
        case 3:
            out.insert(out.end(), {0x5D, 0xC3});
            break;
        default:
            out.insert(out.end(), {0x5E, 0x5B, 0x5D, 0xC2, 0x08, 0x00});
            break;
    }
    // Functions start on four-byte boundaries; the gap is filled with mov eax, eax and nop.
    while (out.size() % 4 != 0) {
        if (out.size() % 4 <= 2) {
            out.insert(out.end(), {0x8B, 0xC0});
        } else {
            out.push_back(0x90);
        }
    }
}

// A long string constant placed in code, with its reference count and length before it.
void EmitStringConstant(Random& random, Bytes& out) {
    Bytes text;
    const std::uint32_t words = random.Between(1, 6);
    for (std::uint32_t i = 0; i < words; ++i) {
        if (i != 0) {
            text.push_back(' ');
        }
        PutText(text, Pick(random, random.Percent(50) ? EnglishWords() : PolishWords()));
    }
    Put32(out, 0xFFFFFFFF);
    Put32(out, static_cast<std::uint32_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
    do {
        out.push_back(0);
    } while (out.size() % 4 != 0);
}

void PutSentence(Random& random, Bytes& out, bool polish) {
    const auto words = polish ? PolishWords() : EnglishWords();
    const std::uint32_t count = random.Between(2, 11);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::string_view word = Pick(random, words);
        if (i == 0 && !word.empty() && word[0] >= 'a' && word[0] <= 'z') {
            out.push_back(static_cast<std::uint8_t>(word[0] - 'a' + 'A'));
            PutText(out, word.substr(1));
        } else {
            PutText(out, word);
        }
        out.push_back(i + 1 == count ? '.' : ' ');
    }
}

void PutUtf16(Bytes& out, std::string_view text) {
    for (const char c : text) {
        Put16(out, Windows1250ToUtf16(static_cast<unsigned char>(c)));
    }
}

}  // namespace

ContentWriter::ContentWriter(std::uint64_t fileSeed) : imageBase_(0x400000) {
    Random random(Random::Mix(fileSeed, 0x1D10));
    idioms_.resize(256);
    for (Bytes& idiom : idioms_) {
        const std::uint32_t instructions = random.Between(2, 9);
        for (std::uint32_t i = 0; i < instructions; ++i) {
            EmitInstruction(random, idiom, imageBase_);
        }
    }
}

void ContentWriter::Append(Style style, Random& random, Bytes& out, std::size_t length) const {
    const std::size_t end = out.size() + length;
    switch (style) {
        case Style::Code:
            AppendCode(random, out, end);
            break;
        case Style::Data:
            AppendData(random, out, end);
            break;
        case Style::Text:
            AppendText(random, out, end);
            break;
        case Style::Imports:
            AppendImports(random, out, end);
            break;
        case Style::Relocations:
            AppendRelocations(random, out, end);
            break;
        case Style::Resources:
            AppendResources(random, out, end);
            break;
        case Style::Packed:
            AppendPacked(random, out, end);
            break;
    }
    out.resize(end);  // each generator may overshoot by one record
}

void ContentWriter::AppendCode(Random& random, Bytes& out, std::size_t end) const {
    while (out.size() < end) {
        EmitPrologue(random, out);
        const std::uint32_t length = random.Between(3, 70);
        for (std::uint32_t i = 0; i < length && out.size() < end; ++i) {
            if (random.Percent(45)) {
                const Bytes& idiom = idioms_[random.Below(static_cast<std::uint32_t>(idioms_.size()))];
                out.insert(out.end(), idiom.begin(), idiom.end());
            } else {
                EmitInstruction(random, out, imageBase_);
            }
        }
        EmitEpilogue(random, out);
        if (random.Percent(6)) {
            EmitStringConstant(random, out);
        }
    }
}

void ContentWriter::AppendData(Random& random, Bytes& out, std::size_t end) const {
    while (out.size() < end) {
        switch (random.Below(5)) {
            case 0: {  // a class table: pointers to methods
                const std::uint32_t entries = random.Between(4, 24);
                for (std::uint32_t i = 0; i < entries; ++i) {
                    Put32(out, imageBase_ + 0x1000 + (random.Below(0x60000) << 2));
                }
                break;
            }
            case 1: {  // a class name as a short string
                const std::string_view name = Pick(random, Identifiers());
                out.push_back(static_cast<std::uint8_t>(name.size()));
                PutText(out, name);
                break;
            }
            case 2:  // zero-initialised variables
                out.insert(out.end(), random.Between(4, 200), 0);
                break;
            case 3: {  // small integers
                const std::uint32_t count = random.Between(2, 16);
                for (std::uint32_t i = 0; i < count; ++i) {
                    Put32(out, SmallByte(random));
                }
                break;
            }
            default:
                PutSentence(random, out, random.Percent(50));
                out.push_back(0);
                break;
        }
    }
}

void ContentWriter::AppendText(Random& random, Bytes& out, std::size_t end) const {
    while (out.size() < end) {
        if (random.Percent(55)) {  // dictionary entry: English headword, Polish equivalents
            PutText(out, Pick(random, EnglishWords()));
            out.push_back('\t');
            const std::uint32_t meanings = random.Between(1, 3);
            for (std::uint32_t i = 0; i < meanings; ++i) {
                if (i != 0) {
                    PutText(out, "; ");
                }
                PutText(out, Pick(random, PolishWords()));
            }
            PutText(out, "\r\n");
        } else {
            PutSentence(random, out, random.Percent(60));
            out.push_back(0);
        }
    }
}

void ContentWriter::AppendImports(Random& random, Bytes& out, std::size_t end) const {
    while (out.size() < end) {
        if (random.Percent(30)) {  // import descriptor
            for (int i = 0; i < 5; ++i) {
                Put32(out, i == 1 || i == 2 ? 0 : 0x100000 + (random.Below(0x4000) << 2));
            }
        } else if (random.Percent(40)) {  // thunks
            const std::uint32_t count = random.Between(3, 20);
            for (std::uint32_t i = 0; i < count; ++i) {
                Put32(out, 0x100000 + (random.Below(0x4000) << 1));
            }
            Put32(out, 0);
        } else {  // hint and name
            Put16(out, 0);
            PutText(out, random.Percent(90) ? Pick(random, ImportedFunctions()) : Pick(random, ImportedLibraries()));
            out.push_back(0);
            if (out.size() % 2 != 0) {
                out.push_back(0);
            }
        }
    }
}

void ContentWriter::AppendRelocations(Random& random, Bytes& out, std::size_t end) const {
    while (out.size() < end) {
        const std::uint32_t entries = random.Between(20, 200);
        Put32(out, 0x1000 * random.Between(1, 0x200));
        Put32(out, 8 + 2 * entries);
        std::uint32_t offset = 0;
        for (std::uint32_t i = 0; i < entries; ++i) {
            offset = std::min<std::uint32_t>(offset + random.Between(2, 40), 0xFFF);
            Put16(out, 0x3000 | offset);
        }
    }
}

void ContentWriter::AppendResources(Random& random, Bytes& out, std::size_t end) const {
    while (out.size() < end) {
        const std::uint32_t kind = random.Below(10);
        if (kind < 4) {  // string table: sixteen counted UTF-16 strings
            for (int i = 0; i < 16; ++i) {
                Bytes text;
                PutSentence(random, text, random.Percent(50));
                Put16(out, static_cast<std::uint32_t>(text.size()));
                PutUtf16(out, std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
            }
        } else if (kind < 8) {  // form data: "TPF0", then components and their properties
            PutText(out, "TPF0");
            const std::uint32_t components = random.Between(2, 12);
            for (std::uint32_t c = 0; c < components; ++c) {
                const std::string_view type = Pick(random, Identifiers());
                out.push_back(static_cast<std::uint8_t>(type.size()));
                PutText(out, type);
                const std::uint32_t properties = random.Between(3, 12);
                for (std::uint32_t p = 0; p < properties; ++p) {
                    const std::string_view name = Pick(random, Identifiers());
                    out.push_back(static_cast<std::uint8_t>(name.size()));
                    PutText(out, name);
                    if (random.Percent(50)) {
                        out.insert(out.end(), {0x03, SmallByte(random), 0x00});  // 16-bit integer
                    } else {
                        Bytes text;
                        PutSentence(random, text, true);
                        out.push_back(0x06);
                        text.resize(std::min<std::size_t>(text.size(), 255));
                        out.push_back(static_cast<std::uint8_t>(text.size()));
                        out.insert(out.end(), text.begin(), text.end());
                    }
                }
                out.insert(out.end(), {0x00, 0x00});
            }
        } else {  // 16-colour bitmap: header, palette, rows of runs
            const std::uint32_t width = 8 * random.Between(2, 8);
            const std::uint32_t height = random.Between(8, 32);
            Put32(out, 40);
            Put32(out, width);
            Put32(out, height);
            Put16(out, 1);
            Put16(out, 4);
            for (int i = 0; i < 6; ++i) {
                Put32(out, 0);
            }
            static constexpr std::uint32_t kPalette[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                                           0x008080, 0x808080, 0xC0C0C0, 0xFF0000, 0x00FF00, 0xFFFF00,
                                                           0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
            for (const std::uint32_t colour : kPalette) {
                Put32(out, colour);
            }
            std::uint8_t colour = static_cast<std::uint8_t>(random.Below(16));
            for (std::uint32_t row = 0; row < height; ++row) {
                for (std::uint32_t x = 0; x < width / 2; ++x) {
                    if (random.Percent(12)) {
                        colour = static_cast<std::uint8_t>(random.Below(16));
                    }
                    out.push_back(static_cast<std::uint8_t>(colour << 4 | colour));
                }
            }
        }
    }
}

void ContentWriter::AppendPacked(Random& random, Bytes& out, std::size_t end) const {
    while (out.size() < end) {
        out.push_back(random.Byte());
    }
}

}  // namespace patcher::standin
