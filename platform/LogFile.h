#pragma once

#include <string_view>

namespace patcher {

// A text file that lines are appended to, each as it comes, so that whatever ends the program, the lines
// written so far are there.
class LogFile {
  public:
    virtual ~LogFile() = default;

    // Appends the line, UTF-8 without a line break, and a CR LF after it. Throws PlatformError.
    virtual void AppendLine(std::string_view utf8Line) = 0;
};

}  // namespace patcher
