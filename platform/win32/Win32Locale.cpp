#include <windows.h>

#include "platform/Locale.h"

namespace patcher {

std::uint32_t ThreadLocaleId() {
    return static_cast<std::uint32_t>(::GetThreadLocale());
}

}  // namespace patcher
