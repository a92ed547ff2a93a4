#include <gtest/gtest.h>

#include <windows.h>

#include "lang/win32/GdiTextMeasure.h"
#include "platform/PlatformError.h"

namespace patcher {
namespace {

win32::UniqueFont Arial() {
    LOGFONTW settings{};
    settings.lfHeight = -11;
    lstrcpyW(settings.lfFaceName, L"Arial");
    return win32::UniqueFont(::CreateFontIndirectW(&settings));
}

// Measured in the device context's own font instead of one it cannot select, the dialog would be laid out
// for text of another width.
TEST(GdiTextMeasure, MeasuresInItsFontAndRefusesOneItCannotSelect) {
    const auto measure = win32::MeasureInFont(Arial(), 1250);
    EXPECT_EQ(measure->LineWidth(""), 0);
    EXPECT_GT(measure->LineWidth("WW"), measure->LineWidth("W"));

    win32::UniqueFont deleted = Arial();
    ASSERT_TRUE(::DeleteObject(deleted.Get()));
    EXPECT_THROW(win32::MeasureInFont(std::move(deleted), 1250), PlatformError);
}

}  // namespace
}  // namespace patcher
