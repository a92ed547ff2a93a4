#include "platform/Locale.h"
#include "platform/posix/PosixLocaleNames.h"

namespace patcher {

std::uint32_t ThreadLocaleId() {
    return LocaleIdFromPosixName(PosixMessageLocaleName());
}

}  // namespace patcher
