#pragma once

#include <cstdint>
#include <memory>

#include "common/ByteString.h"

namespace patcher {

// A product file opened for reading. Every operation throws PlatformError when the system call fails.
class ReadableFile {
  public:
    virtual ~ReadableFile() = default;

    virtual std::int64_t Size() = 0;
    virtual void Seek(std::int64_t offset) = 0;
    // Reading at or past the end of the file is a failure too.
    virtual std::uint8_t ReadByte() = 0;
};

// The file services of the platform. Paths are Windows-1250 byte strings, as the product stores them.
class FileSystem {
  public:
    virtual ~FileSystem() = default;

    // Opens read-only while other programs may go on reading and writing the file. Throws PlatformError.
    virtual std::unique_ptr<ReadableFile> OpenForReading(ByteStringView path) = 0;

    // True only for an existing file (not a directory); never fails.
    virtual bool FileExists(ByteStringView path) = 0;
    // True only for an existing directory; never fails.
    virtual bool DirectoryExists(ByteStringView path) = 0;
};

// The file system of the machine the program runs on.
FileSystem& SystemFileSystem();

}  // namespace patcher
