#pragma once

#include "common/ByteString.h"

namespace patcher {

inline constexpr unsigned kCodePageUtf8 = 65001;

// A text file that lines are appended to, each as it comes, so that whatever ends the program, the lines
// written so far are there.
class LogFile {
  public:
    virtual ~LogFile() = default;

    // Appends the text, given in the code page (kCodePageUtf8 for UTF-8), as one line of UTF-8 ending in
    // CR LF. Throws PlatformError.
    virtual void AppendLine(ByteStringView text, unsigned codePage) = 0;
};

}  // namespace patcher
