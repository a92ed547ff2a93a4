#pragma once

// The Windows program file format (PE32 and PE32+), as far as this project reads and writes it: where each
// field lies, and what its values mean. Offsets count from the start of the structure they belong to; the
// names are Microsoft's, so that they can be looked up in its PE/COFF documentation.

#include <concepts>
#include <cstddef>
#include <cstdint>

namespace patcher::pe {

// The MS-DOS header that every image starts with; e_lfanew says where the PE signature lies.
namespace dos {
inline constexpr std::uint8_t kMagic[2] = {'M', 'Z'};
inline constexpr std::size_t kHeaderSize = 0x40;
inline constexpr std::size_t kLfanew = 0x3C;
}  // namespace dos

inline constexpr std::uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
inline constexpr std::size_t kPeSignatureSize = 4;

// The COFF file header, right after the signature.
namespace coff {
inline constexpr std::size_t kMachine = 0;
inline constexpr std::size_t kNumberOfSections = 2;
inline constexpr std::size_t kTimeDateStamp = 4;
inline constexpr std::size_t kPointerToSymbolTable = 8;
inline constexpr std::size_t kNumberOfSymbols = 12;
inline constexpr std::size_t kSizeOfOptionalHeader = 16;
inline constexpr std::size_t kCharacteristics = 18;
inline constexpr std::size_t kSize = 20;

inline constexpr std::uint16_t kMachineI386 = 0x014C;
inline constexpr std::uint16_t kMachineAmd64 = 0x8664;
}  // namespace coff

// The optional header, right after the COFF header. PE32+ widens ImageBase and the four stack and heap
// sizes to 64 bits and drops BaseOfData: the fields between keep their places, the ones after move.
namespace optional {
inline constexpr std::uint16_t kMagicPe32 = 0x10B;
inline constexpr std::uint16_t kMagicPe32Plus = 0x20B;

inline constexpr std::size_t kMagic = 0;
inline constexpr std::size_t kMajorLinkerVersion = 2;
inline constexpr std::size_t kMinorLinkerVersion = 3;
inline constexpr std::size_t kSizeOfCode = 4;
inline constexpr std::size_t kSizeOfInitializedData = 8;
inline constexpr std::size_t kSizeOfUninitializedData = 12;
inline constexpr std::size_t kAddressOfEntryPoint = 16;
inline constexpr std::size_t kBaseOfCode = 20;
inline constexpr std::size_t kBaseOfData = 24;  // PE32 only
inline constexpr std::size_t kImageBasePe32 = 28;
inline constexpr std::size_t kImageBasePe32Plus = 24;
inline constexpr std::size_t kSectionAlignment = 32;
inline constexpr std::size_t kFileAlignment = 36;
inline constexpr std::size_t kMajorOperatingSystemVersion = 40;
inline constexpr std::size_t kMajorSubsystemVersion = 48;
inline constexpr std::size_t kSizeOfImage = 56;
inline constexpr std::size_t kSizeOfHeaders = 60;
inline constexpr std::size_t kCheckSum = 64;
inline constexpr std::size_t kSubsystem = 68;
inline constexpr std::size_t kDllCharacteristics = 70;
inline constexpr std::size_t kSizeOfStackReserve = 72;  // PE32; the sizes that follow are 4 bytes apart
inline constexpr std::size_t kNumberOfRvaAndSizesPe32 = 92;
inline constexpr std::size_t kNumberOfRvaAndSizesPe32Plus = 108;
inline constexpr std::size_t kDataDirectoryEntrySize = 8;  // RVA, then size
inline constexpr std::uint32_t kMaxDataDirectories = 16;

constexpr std::size_t NumberOfRvaAndSizes(bool is64Bit) {
    return is64Bit ? kNumberOfRvaAndSizesPe32Plus : kNumberOfRvaAndSizesPe32;
}
constexpr std::size_t ImageBase(bool is64Bit) {
    return is64Bit ? kImageBasePe32Plus : kImageBasePe32;
}
// The size of the optional header with all sixteen data directories.
constexpr std::size_t FullSize(bool is64Bit) {
    return NumberOfRvaAndSizes(is64Bit) + 4 + kMaxDataDirectories * kDataDirectoryEntrySize;
}

inline constexpr std::uint16_t kSubsystemWindowsGui = 2;
inline constexpr std::uint16_t kSubsystemWindowsCui = 3;

inline constexpr std::uint16_t kHighEntropyVa = 0x0020;
inline constexpr std::uint16_t kDynamicBase = 0x0040;
inline constexpr std::uint16_t kNxCompatible = 0x0100;
}  // namespace optional

// Indices into the data directories. All of them hold relative virtual addresses but the certificate
// table's, which holds a file offset: the certificates lie after the image, outside every section.
enum DataDirectory : std::size_t {
    kExportTable = 0,
    kImportTable = 1,
    kResourceTable = 2,
    kExceptionTable = 3,
    kCertificateTable = 4,
    kBaseRelocationTable = 5,
    kDebug = 6,
    kTlsTable = 9,
    kImportAddressTable = 12,
    kDelayImportDescriptor = 13,
};

// A section header in the section table, right after the optional header.
namespace section {
inline constexpr std::size_t kName = 0;
inline constexpr std::size_t kNameSize = 8;
inline constexpr std::size_t kVirtualSize = 8;
inline constexpr std::size_t kVirtualAddress = 12;
inline constexpr std::size_t kSizeOfRawData = 16;
inline constexpr std::size_t kPointerToRawData = 20;
inline constexpr std::size_t kCharacteristics = 36;
inline constexpr std::size_t kHeaderSize = 40;

inline constexpr std::uint32_t kCntCode = 0x00000020;
inline constexpr std::uint32_t kCntInitializedData = 0x00000040;
inline constexpr std::uint32_t kCntUninitializedData = 0x00000080;
inline constexpr std::uint32_t kMemDiscardable = 0x02000000;
inline constexpr std::uint32_t kMemShared = 0x10000000;
inline constexpr std::uint32_t kMemExecute = 0x20000000;
inline constexpr std::uint32_t kMemRead = 0x40000000;
inline constexpr std::uint32_t kMemWrite = 0x80000000;
}  // namespace section

// The import directory table: one descriptor per DLL, ended by an empty one.
namespace imports {
inline constexpr std::size_t kNameRva = 12;
inline constexpr std::size_t kFirstThunk = 16;
inline constexpr std::size_t kDescriptorSize = 20;
}  // namespace imports

// The delay-load directory table, ended by a descriptor without a name.
namespace delay_imports {
inline constexpr std::size_t kAttributes = 0;
inline constexpr std::size_t kNameRva = 4;
inline constexpr std::size_t kDescriptorSize = 32;
inline constexpr std::uint32_t kRvaBased = 1;  // attribute bit 0 clear: the oldest linkers wrote addresses
}  // namespace delay_imports

// The base relocation table: blocks of a page's relative address, the block's size, then 16-bit entries.
namespace relocations {
inline constexpr std::size_t kPageRva = 0;
inline constexpr std::size_t kBlockSize = 4;
inline constexpr std::size_t kBlockHeaderSize = 8;
}  // namespace relocations

// The resource tree: three levels of directory tables (type, name, language), whose entries point at the
// next level or, at the last, at data entries. Offsets inside the tree count from its root; the top bit of
// an entry's first field says it is the offset of a name (a count of UTF-16 units, then the units), of its
// second that it is the offset of a directory table rather than of a data entry. Named entries come before
// numbered ones, each kind in ascending order, so that the loader can search them by halving.
namespace resources {
inline constexpr std::size_t kTableCharacteristics = 0;
inline constexpr std::size_t kTableTimeDateStamp = 4;
inline constexpr std::size_t kTableMajorVersion = 8;
inline constexpr std::size_t kTableMinorVersion = 10;
inline constexpr std::size_t kTableNumberOfNameEntries = 12;
inline constexpr std::size_t kTableNumberOfIdEntries = 14;
inline constexpr std::size_t kTableSize = 16;

inline constexpr std::size_t kEntryNameOrId = 0;
inline constexpr std::size_t kEntryOffset = 4;
inline constexpr std::size_t kEntrySize = 8;
inline constexpr std::uint32_t kNameIsString = 0x80000000;
inline constexpr std::uint32_t kOffsetIsDirectory = 0x80000000;

inline constexpr std::size_t kDataRva = 0;
inline constexpr std::size_t kDataSize = 4;
inline constexpr std::size_t kDataCodepage = 8;
inline constexpr std::size_t kDataEntrySize = 16;

inline constexpr int kLevels = 3;  // type, name, language

inline constexpr std::uint16_t kBitmap = 2;
inline constexpr std::uint16_t kRcData = 10;
inline constexpr std::uint16_t kVersion = 16;
inline constexpr std::uint16_t kManifest = 24;
}  // namespace resources

// Version information (an RT_VERSION resource): nested blocks, each its length (up to the end of its last
// child, without the padding after it), its value's length (in UTF-16 units for text, in bytes for binary
// values), its type, a key in UTF-16 with its terminating zero, then on 32-bit boundaries its value and its
// children. The root's value is the fixed file information.
namespace version {
inline constexpr std::size_t kLength = 0;
inline constexpr std::size_t kValueLength = 2;
inline constexpr std::size_t kType = 4;
inline constexpr std::size_t kKey = 6;
inline constexpr std::size_t kAlignment = 4;
inline constexpr std::uint16_t kTypeBinary = 0;
inline constexpr std::uint16_t kTypeText = 1;

inline constexpr char16_t kRootKey[] = u"VS_VERSION_INFO";
inline constexpr char16_t kStringFileInfoKey[] = u"StringFileInfo";
inline constexpr char16_t kVarFileInfoKey[] = u"VarFileInfo";
inline constexpr char16_t kTranslationKey[] = u"Translation";

// VS_FIXEDFILEINFO: thirteen 32-bit fields.
inline constexpr std::size_t kSignature = 0;
inline constexpr std::size_t kStrucVersion = 4;
inline constexpr std::size_t kFileVersionMs = 8;
inline constexpr std::size_t kFileVersionLs = 12;
inline constexpr std::size_t kProductVersionMs = 16;
inline constexpr std::size_t kProductVersionLs = 20;
inline constexpr std::size_t kFileFlagsMask = 24;
inline constexpr std::size_t kFileFlags = 28;
inline constexpr std::size_t kFileOs = 32;
inline constexpr std::size_t kFileType = 36;
inline constexpr std::size_t kFileSubtype = 40;
inline constexpr std::size_t kFileDateMs = 44;
inline constexpr std::size_t kFileDateLs = 48;
inline constexpr std::size_t kFixedFileInfoSize = 52;
inline constexpr std::uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
inline constexpr std::uint32_t kFixedFileInfoVersion = 0x00010000;
}  // namespace version

// `value` rounded up to a multiple of `alignment` (the caller keeps the sum from overflowing).
template <std::unsigned_integral T>
constexpr T AlignUp(T value, T alignment) {
    return static_cast<T>((value + alignment - 1) / alignment * alignment);
}

}  // namespace patcher::pe
