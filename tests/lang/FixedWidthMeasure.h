#pragma once

#include "lang/DialogLayout.h"

namespace patcher::testing {

// A font in which every character is equally wide.
class FixedWidthMeasure final : public TextMeasure {
  public:
    FixedWidthMeasure(int characterWidth, int lineHeight) : characterWidth_(characterWidth), lineHeight_(lineHeight) {}

    int LineWidth(ByteStringView line) const override { return static_cast<int>(line.size()) * characterWidth_; }
    int LineHeight() const override { return lineHeight_; }

  private:
    int characterWidth_;
    int lineHeight_;
};

}  // namespace patcher::testing
