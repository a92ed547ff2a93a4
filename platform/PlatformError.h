#pragma once

#include <stdexcept>
#include <string>

namespace patcher {

// A failed operating-system call. It travels inside an operation and becomes that operation's documented
// result at its boundary; it never reaches the user as it is.
class PlatformError : public std::runtime_error {
  public:
    PlatformError(const std::string& operation, unsigned long systemCode)
        : std::runtime_error(operation + " failed (system error " + std::to_string(systemCode) + ")"),
          systemCode_(systemCode) {}

    unsigned long SystemCode() const noexcept { return systemCode_; }

  private:
    unsigned long systemCode_;
};

}  // namespace patcher
