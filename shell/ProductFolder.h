#pragma once

#include "common/ByteString.h"

namespace patcher {

// Where the product's folder came from.
enum class FolderSource {
    None,                // nowhere: no record, no /DIR=, no program file chosen
    CurrentUserRecord,   // the product's record in the current user's registry
    LocalMachineRecord,  // the product's record in the local machine's registry
    CommandLine,         // /DIR=
    OpenDialog,          // the folder of the program file chosen in the open-file dialog
};

// What a run made of the folder it found.
enum class FolderVerdict {
    Unchecked,      // as found, not looked at yet
    NoneFound,      // nothing was recorded, named or chosen
    NotFullPath,    // a path relative to wherever the patcher was started
    Missing,        // a full path that names no existing folder
    NotInCodePage,  // recorded in a name that the system's code page cannot carry (Path: the record's, in 1250)
    TooLong,        // too long for the system's paths once a file's name is added
    Used,           // an existing folder named by a full path
};

// The product's installation folder, from the lookup that finds it to the log that names it.
struct ProductFolder {
    ByteString Path;  // as found (a used one ends in a path delimiter); empty: none
    FolderSource Source = FolderSource::None;
    FolderVerdict Verdict = FolderVerdict::Unchecked;
};

// Whether a path of the folder (named in the system's code page) and of any file of the family in it fits the
// system's paths (kLongestPath).
bool LeavesRoomForAFile(ByteStringView folder);

}  // namespace patcher
