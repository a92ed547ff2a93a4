#include "shell/ProductFolder.h"

#include "common/PathText.h"
#include "platform/TextCodePages.h"
#include "profile/ProductProfile.h"

namespace patcher {

bool LeavesRoomForAFile(ByteStringView folder) {
    const std::size_t delimiter = EndsInDelimiter(folder) ? 0 : 1;
    return Utf16Length(folder, AnsiCodePage()) + delimiter + LongestFileName() <= kLongestPath;
}

}  // namespace patcher
