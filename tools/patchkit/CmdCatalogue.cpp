#include <cstdio>

#include "lang/MessageCatalogue.h"
#include "tools/patchkit/Commands.h"

namespace patcher::patchkit {

int RunCatalogue(const Arguments& arguments) {
    if (!arguments.empty()) {
        throw UsageError{"takes no arguments"};
    }
    for (LanguageCode language = 0; language < kLanguageCount; ++language) {
        for (int id = 1; id <= kMessageIdCount; ++id) {
            const ByteStringView text = LookupMessage(language, id);
            if (text.empty()) {
                continue;
            }
            std::printf("%d\t%d\t", language, id);
            for (const char byte : text) {
                std::printf("%02X", static_cast<unsigned>(static_cast<unsigned char>(byte)));
            }
            std::printf("\n");
        }
    }
    return 0;
}

}  // namespace patcher::patchkit
