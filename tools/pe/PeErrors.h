#pragma once

#include <stdexcept>
#include <string>

namespace patcher::pe {

// A file that breaks the format: an offset or size that leads outside the file or its section, a table
// without an end, a resource tree that loops or overlaps itself.
class BrokenImage : public std::invalid_argument {
  public:
    explicit BrokenImage(const std::string& what) : std::invalid_argument("not a well-formed PE file: " + what) {}
};

}  // namespace patcher::pe
