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

// A well-formed program that resources cannot be written into: signed, carrying data after its sections,
// or with sections after its resources that cannot move.
class UnsuitableStub : public std::invalid_argument {
  public:
    explicit UnsuitableStub(const std::string& what)
        : std::invalid_argument("resources cannot be written into this program: " + what) {}
};

// An Authenticode signature whose certificate table or PKCS#7 data breaks its layout: a length that leads
// outside what holds it, a tag where another belongs, an encoding that DER does not allow.
class BrokenSignature : public std::invalid_argument {
  public:
    explicit BrokenSignature(const std::string& what)
        : std::invalid_argument("the signature cannot be read: " + what) {}
};

}  // namespace patcher::pe
