#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "common/ByteString.h"
#include "platform/PlatformError.h"

namespace patcher {

// Thrown by FileSystem::Replace when the target was moved aside and neither its old file nor the
// replacement could be put back in its place: the old file stays under another name beside it, and the
// replacement, now the only copy of the new content, must be kept rather than deleted.
class ReplacementKeptError final : public PlatformError {
  public:
    using PlatformError::PlatformError;
};

// Thrown where another program holds the file for the moment (a sharing or lock violation): a virus scanner
// or an indexer looking at a new file, a program that is closing. The same call may succeed a little later.
class FileInUseError final : public PlatformError {
  public:
    using PlatformError::PlatformError;
};

// Thrown where a file cannot be written because it is marked read-only: waiting does not help.
class ReadOnlyFileError final : public PlatformError {
  public:
    using PlatformError::PlatformError;
};

// A product file opened for reading. Every operation throws PlatformError when the system call fails.
class ReadableFile {
  public:
    virtual ~ReadableFile() = default;

    virtual std::int64_t Size() = 0;
    virtual void Seek(std::int64_t offset) = 0;
    // Reading at or past the end of the file is a failure too.
    virtual std::uint8_t ReadByte() = 0;
};

// A new file being written. Every operation throws PlatformError when the system call fails; destroying
// an open file closes it and ignores the outcome.
class WritableFile {
  public:
    virtual ~WritableFile() = default;

    // Appends all the bytes; writing fewer is a failure.
    virtual void Write(std::span<const std::uint8_t> bytes) = 0;
    // Makes what was written durable on the disk.
    virtual void Flush() = 0;
    virtual void Close() = 0;
};

// The file services of the platform. Paths are Windows-1250 byte strings, as the product stores them. A
// path holding a zero byte names no file: every operation refuses it as it refuses a missing file.
class FileSystem {
  public:
    virtual ~FileSystem() = default;

    // Opens read-only while other programs may go on reading and writing the file. Throws PlatformError.
    virtual std::unique_ptr<ReadableFile> OpenForReading(ByteStringView path) = 0;

    // True only for an existing file (not a directory); never fails.
    virtual bool FileExists(ByteStringView path) = 0;
    // True only for an existing directory; never fails.
    virtual bool DirectoryExists(ByteStringView path) = 0;

    // Throws PlatformError when an existing file at path could not be opened for writing now:
    // ReadOnlyFileError when it is marked read-only, PlatformError when access is denied, FileInUseError when
    // another program holds it open without letting others write. A missing file passes.
    virtual void CheckWritable(ByteStringView path) = 0;

    // Creates a new, empty file under a fresh name of its own in `directory` and opens it for writing,
    // all in one step; its path is stored in `path` as soon as the file exists. The name is no longer than
    // `longestName` characters where that leaves it hard enough to guess (FreshNameLength), so that a file
    // made to stand in for another fits wherever that one's path fits. Throws PlatformError.
    virtual std::unique_ptr<WritableFile> CreateUniqueFile(ByteStringView directory,
                                                           std::size_t longestName,
                                                           ByteString& path) = 0;

    // Puts the closed file `replacement` in the place of `target`. An existing target keeps its attributes
    // and is either wholly replaced or left as it was. Throws PlatformError (FileInUseError where another
    // program holds either file, or where access to a target that is not read-only is denied, as a virus
    // scanner looking at it does; ReadOnlyFileError for a read-only target), the replacement then being the
    // caller's to delete; or, where the system refuses to put either file back, ReplacementKeptError.
    virtual void Replace(ByteStringView target, ByteStringView replacement) = 0;

    // Deletes a file; false when it could not. Never throws.
    virtual bool Delete(ByteStringView path) noexcept = 0;
};

// The file system of the machine the program runs on.
FileSystem& SystemFileSystem();

}  // namespace patcher
