#pragma once

namespace patcher {

// The ids of the catalogue's messages that the program shows (LookupMessage). Each is named here once; the
// catalogue holds their texts in every language row.
inline constexpr int kMessageDialogCaption = 181;  // the message dialog's caption
inline constexpr int kMessageYes = 182;            // its buttons
inline constexpr int kMessageNo = 183;
inline constexpr int kMessageCancel = 184;

inline constexpr int kMessageWindowCaption = 261;    // "%s": the update's title
inline constexpr int kMessageTitle = 262;            // lblTytul; "%s": the update's title
inline constexpr int kMessageVersion = 263;          // lblKrok; "%s": the update's version
inline constexpr int kMessageUpdateButton = 264;     // btnUpdate
inline constexpr int kMessageFinishButton = 265;     // btnZamknij
inline constexpr int kMessageFinishAgain = 266;      // the finish button's wording once more
inline constexpr int kMessageFileOk = 267;           // ends a progress line: "OK" and a line break
inline constexpr int kMessageFileFailed = 268;       // ends a progress line: "Error" and a line break
inline constexpr int kMessageOpenDialogTitle = 269;  // empty: the system's own title
inline constexpr int kMessageIntroduction = 271;     // "%s %s": the update's title and version

// The summaries that end a run.
inline constexpr int kSummaryUpdated = 272;      // every file ok, something rewritten
inline constexpr int kSummaryFailed = 273;       // directory missing or some file failed
inline constexpr int kSummaryNothingToDo = 274;  // every file ok, nothing rewritten

inline constexpr int kMessageFileLine = 276;        // a file's progress line; "%s": its name
inline constexpr int kMessageNoDirectory = 277;     // dialog: no installation directory
inline constexpr int kMessageFileMissing = 278;     // dialog; "%s": the file's full path
inline constexpr int kMessageUnknownVersion = 279;  // dialog; "%s": the file's full path
inline constexpr int kMessageUnreadable = 280;      // dialog; "%s": the file's full path

}  // namespace patcher
