#include "tools/patchkit/InspectionText.h"

#include <array>
#include <cstdio>

#include "profile/ProductKinds.h"
#include "profile/ProductProfile.h"
#include "tools/patchkit/MessageText.h"
#include "tools/patchkit/Windows1250Text.h"
#include "tools/pe/Utf8Text.h"

namespace patcher::patchkit {
namespace {

constexpr std::array<const char*, kLanguageCount> kLanguageNames = {"Polish",  "English", "French", "German",
                                                                    "Italian", "Spanish", "Russian"};

// A line: its label in a column of its own, then the text.
class Lines {
  public:
    void Add(std::string_view label, const std::string& text) {
        text_ += label;
        text_.append(label.size() < kLabelWidth ? kLabelWidth - label.size() : 1, ' ');
        text_ += text;
        text_ += '\n';
    }
    void Add(const std::string& text) {
        text_ += text;
        text_ += '\n';
    }
    std::string Text() const { return text_; }

  private:
    static constexpr std::size_t kLabelWidth = 12;
    std::string text_;
};

std::string Hex(std::uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

std::string Version(const pe::VersionInfo::Numbers& numbers) {
    return std::to_string(numbers[0]) + "." + std::to_string(numbers[1]) + "." + std::to_string(numbers[2]) + "." +
           std::to_string(numbers[3]);
}

// The tables' texts passed ReadPatchTables, which refuses every byte that Windows-1250 leaves undefined.
std::string TableText(ByteStringView text) {
    return Quoted(Utf8FromWindows1250(text));
}

std::string Kind(std::int32_t kind) {
    std::string text = "kind " + std::to_string(kind) + " (";
    switch (InstallRecordOf(kind)) {
        case InstallRecord::ProductKey:
            text += "its record under the product key";
            break;
        case InstallRecord::FixedKey:
            text += "its record under a fixed key of the local machine";
            break;
        case InstallRecord::None:
            text += "no record";
            break;
    }
    text += HidesEnglishFlag(kind) ? ", English flag hidden" : ", English flag offered";
    if (AsksForProgramFile(kind)) {
        text += ", asks for the program file";
    }
    if (MakesHelpShortcuts(kind)) {
        text += ", help shortcuts";
    }
    return text + ")";
}

void AddProduct(Lines& lines, const PatchTables& tables) {
    lines.Add("product", "index " + std::to_string(tables.ProductIndex) + " (registry key " +
                             std::string(ProductKeyTable(tables.ProductIndex)) + "), language " +
                             std::to_string(tables.ProductLanguage) + " (" + kLanguageNames[tables.ProductLanguage] +
                             "), " + Kind(tables.ProductKind));
    lines.Add("update", TableText(tables.UpdateTitle[0]) + " / " + TableText(tables.UpdateTitle[1]) + ", version " +
                            Utf8FromWindows1250(tables.UpdateVersion) + " (file " + std::to_string(tables.UpdateIndex) +
                            "'s update)");
}

void AddFile(Lines& lines, const PatchTables& tables, const ContentCheck& content) {
    const FileTables& file = tables.File(content.FileIndex);
    lines.Add("file " + std::to_string(content.FileIndex),
              std::string(FileName(content.FileIndex)) + ", " + std::to_string(file.Versions.size()) +
                  (file.Versions.size() == 1 ? " known build" : " known builds") + "; brings build " +
                  std::to_string(file.Newest));
    for (const KnownVersion& version : file.Versions) {
        lines.Add("  build " + std::to_string(version.Number),
                  std::to_string(version.Size) + " bytes" + (version.Number == file.Newest ? ", brought" : ""));
    }
    for (const SlotCheck& slot : content.Slots) {
        std::string text;
        if (!slot.Present) {
            text = "missing";
        } else if (!slot.Failure.empty()) {
            text = std::to_string(slot.PackedBytes) + " bytes packed, does not unpack: " + slot.Failure;
        } else {
            text = std::to_string(slot.PackedBytes) + " bytes packed, unpacks to " +
                   std::to_string(slot.UnpackedBytes) + " bytes";
        }
        lines.Add("  " + slot.Name, text);
    }
    if (!content.Unpacked) {
        lines.Add("  together", "cannot be put together");
    } else if (content.MatchesDigest) {
        lines.Add("  together",
                  std::to_string(content.Size) + " bytes, CRC-32 " + Hex(content.Crc32, 8) + ": as its digest says");
    } else {
        lines.Add("  together", std::to_string(content.Size) + " bytes, CRC-32 " + Hex(content.Crc32, 8) +
                                    ": NOT as its digest says (" + std::to_string(file.NewContent.Size) +
                                    " bytes, CRC-32 " + Hex(file.NewContent.Crc32, 8) + ")");
    }
}

void AddOthers(Lines& lines, const PatcherInspection& inspection) {
    std::string unselected;
    for (int fileIndex = 1; fileIndex <= kFileCount; ++fileIndex) {
        if (!inspection.Tables.Selects(fileIndex) && !inspection.Tables.Versions(fileIndex).empty()) {
            unselected += (unselected.empty() ? "" : ", ") + std::to_string(fileIndex);
        }
    }
    if (!unselected.empty()) {
        lines.Add("other files", unselected + ": known builds, not selected");
    }
    for (const OtherResource& other : inspection.OtherData) {
        lines.Add("other data", Shown(other.Name) + ", " + std::to_string(other.Bytes) + " bytes");
    }
}

void AddVersionInfo(Lines& lines, const PatcherInspection& inspection) {
    if (!inspection.HasVersionInfo) {
        lines.Add("version", "none");
        return;
    }
    if (!inspection.VersionFailure.empty()) {
        lines.Add("version", inspection.VersionFailure);
        return;
    }
    const pe::VersionInfo& info = inspection.Version;
    lines.Add("version", "file " + Version(info.FileVersion) + ", product " + Version(info.ProductVersion) +
                             ", flags 0x" + Hex(info.FileFlags, 1) + " of 0x" + Hex(info.FileFlagsMask, 1) + ", OS 0x" +
                             Hex(info.FileOs, 1) + ", type " + std::to_string(info.FileType) + ", subtype " +
                             std::to_string(info.FileSubtype));
    for (const pe::VersionInfo::StringTable& table : info.StringTables) {
        for (const auto& [key, value] : table.Strings) {
            lines.Add("  " + Shown(pe::Utf8FromUtf16(table.Key)),
                      Shown(pe::Utf8FromUtf16(key)) + " = " + Shown(pe::Utf8FromUtf16(value)));
        }
    }
    std::string translations;
    for (const pe::VersionInfo::Translation& translation : info.Translations) {
        translations += (translations.empty() ? "" : ", ") + Hex(translation.Language, 4) + " in code page " +
                        std::to_string(translation.CodePage);
    }
    if (!translations.empty()) {
        lines.Add("  languages", translations);
    }
}

void AddSignature(Lines& lines, const SignatureCheck& check) {
    if (!check.Present) {
        lines.Add("signature", "none");
        return;
    }
    if (!check.Failure.empty()) {
        lines.Add("signature", check.Failure);
        return;
    }
    const pe::AuthenticodeSignature& signature = check.Signature;
    std::string signer = "the signer's certificate is not in the signature";
    if (signature.Signer && signature.Signer->empty()) {
        signer = "signed by a certificate without a common name";
    } else if (signature.Signer) {
        signer = "signed by " + Quoted(*signature.Signer);
    }
    lines.Add("signature", std::string(pe::DigestAlgorithmName(signature.Algorithm)) + ", " + signer + ": " +
                               (check.DigestMatches ? "the file's digest is the one signed"
                                                    : "the file's digest is NOT the one signed"));
}

}  // namespace

std::string InspectionText(const PatcherInspection& inspection, std::string_view name) {
    Lines lines;
    lines.Add(Quoted(name) + ": a patcher of " + std::to_string(inspection.FileBytes) + " bytes, a " +
              (inspection.Is64Bit ? "64" : "32") + "-bit Windows program");
    AddProduct(lines, inspection.Tables);
    for (const ContentCheck& content : inspection.Contents) {
        AddFile(lines, inspection.Tables, content);
    }
    AddOthers(lines, inspection);
    AddVersionInfo(lines, inspection);
    AddSignature(lines, inspection.Signature);
    return lines.Text();
}

}  // namespace patcher::patchkit
