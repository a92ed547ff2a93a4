#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "common/ByteString.h"
#include "platform/PlatformError.h"

namespace patcher {

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

// A product file held for replacing: it can be read, and while it is held no other program can open it for
// writing, so that what was read stays what is there; others may still read it.
class ReplaceableFile : public ReadableFile {
  public:
    // Puts the closed file `replacement`, which lies beside it, in its place in one step, with the target's
    // attributes: whenever the machine stops, the old or the new file is there, never neither. The hold lasts
    // until the swap is done, except where the system refuses to rename over a file that is held at all (Wine
    // does, even where the hold lets others delete it): the hold then ends right before the swap. Throws
    // PlatformError with the target as it was: ReadOnlyFileError for a read-only target, FileInUseError where
    // another program has it open (a running program's file too), PlatformError with access denied where the
    // account may not replace it. The replacement is then the caller's to delete.
    virtual void ReplaceWith(ByteStringView replacement) = 0;
};

// What the system says is at a path where a file is looked for.
enum class Presence {
    File,     // a file
    Absent,   // nothing: the system says that the file or a folder on its path does not exist
    Unknown,  // it cannot tell (access denied, a network failure, a bad name) or it is not a file: see SystemCode
};

struct FilePresence {
    Presence Is = Presence::Unknown;
    unsigned long SystemCode = 0;  // the system's error number where it is not a file
};

// The file services of the platform. Paths are Windows-1250 byte strings, as the product stores them. A
// path holding a zero byte names no file: every operation refuses it as it refuses a missing file.
class FileSystem {
  public:
    virtual ~FileSystem() = default;

    // Opens read-only while other programs may go on reading, writing, renaming and replacing the file.
    // Throws PlatformError.
    virtual std::unique_ptr<ReadableFile> OpenForReading(ByteStringView path) = 0;

    // Whether a file is at path. Only the system's "not found" answers for the file or its folder make it
    // Absent; a directory is Unknown, with the error that opening it as a file gives. Never fails.
    virtual FilePresence LookUpFile(ByteStringView path) = 0;
    // True only for an existing file (not a directory); never fails.
    bool FileExists(ByteStringView path) { return LookUpFile(path).Is == Presence::File; }
    // True only for an existing directory; never fails.
    virtual bool DirectoryExists(ByteStringView path) = 0;

    // Throws PlatformError when an existing file at path could not be opened for writing now:
    // ReadOnlyFileError when it is marked read-only, PlatformError when access is denied, FileInUseError when
    // another program holds it open without letting others write. A missing file passes.
    virtual void CheckWritable(ByteStringView path) = 0;

    // Creates a new, empty file under a fresh name of its own in the folder of `neighbour`, and opens it for
    // writing, all in one step; its path is stored in `path` as soon as the file exists. The name is no
    // longer than that of `neighbour` where that leaves it hard enough to guess (FreshNameLength), so that a
    // file made to stand in for another fits wherever that one's path fits. Throws PlatformError.
    virtual std::unique_ptr<WritableFile> CreateFileBeside(ByteStringView neighbour, ByteString& path) = 0;

    // Holds the file at path for replacing (ReplaceableFile); nullptr where no file is there. Throws
    // PlatformError: FileInUseError where another program has it open for writing.
    virtual std::unique_ptr<ReplaceableFile> OpenForReplacing(ByteStringView path) = 0;

    // Renames the closed file `replacement`, which lies beside `target`, to `target` where no file is there:
    // false, with nothing changed, where one is. Throws PlatformError (FileInUseError where another program
    // holds the replacement), the replacement then being the caller's to delete.
    virtual bool PlaceNewFile(ByteStringView target, ByteStringView replacement) = 0;

    // Deletes a file; false when it could not. Never throws.
    virtual bool Delete(ByteStringView path) noexcept = 0;
};

// The file system of the machine the program runs on.
FileSystem& SystemFileSystem();

}  // namespace patcher
