#pragma once

#include <string_view>

namespace patcher {

// A text file that lines are appended to, each as it comes, so that whatever ends the program, the lines
// written so far are there.
class LogFile {
  public:
    virtual ~LogFile() = default;

    // Appends the bytes (whole lines, each ending in CR LF) in one write, so that what other programs append
    // to the same file never cuts into a line. Allocates nothing. Throws PlatformError.
    virtual void Append(std::string_view bytes) = 0;
};

}  // namespace patcher
