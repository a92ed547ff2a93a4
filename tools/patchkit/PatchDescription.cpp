#include "tools/patchkit/PatchDescription.h"

#include <algorithm>

#include "tools/patchkit/MessageText.h"

namespace patcher::patchkit {

const DescribedFile* PatchDescription::FindFile(int fileIndex) const {
    const auto found = std::find_if(Files.begin(), Files.end(),
                                    [&](const DescribedFile& file) { return file.FileIndex == fileIndex; });
    return found == Files.end() ? nullptr : &*found;
}

std::string PatchDescription::At(int line, std::string_view text) const {
    std::string message = Shown(Source);
    if (line > 0) {
        message += ':';
        message += std::to_string(line);
    }
    message += ": ";
    // The text may quote a TOML reader's words about any character of the description.
    message += OneLine(text);
    return message;
}

void PatchDescription::Refuse(int line, std::string_view text) const {
    throw DescriptionError(At(line, text));
}

std::optional<int> FileIndexOf(std::string_view written) {
    // One way to write each index: "08" would name file 8 otherwise than its number does.
    if (written.empty() || written.size() > 9 || (written.size() > 1 && written[0] == '0') ||
        !std::all_of(written.begin(), written.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    int value = 0;
    for (const char c : written) {
        value = value * 10 + (c - '0');
    }
    return value;
}

}  // namespace patcher::patchkit
