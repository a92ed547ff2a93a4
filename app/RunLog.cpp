#include "app/RunLog.h"

#include <exception>
#include <optional>
#include <string>
#include <utility>

#include "app/LogText.h"
#include "lang/LanguageRules.h"
#include "lang/MessageCatalogue.h"
#include "platform/SystemErrors.h"
#include "platform/TextCodePages.h"

namespace patcher {
namespace {

constexpr ByteStringView kLineBreak = "\r\n";
constexpr ByteStringView kPlaceholder = "%s";
constexpr unsigned kOwnTextsCodePage = 1250;  // the program's own texts, as the catalogue's

// "2 s", "1.25 s".
std::string Seconds(std::chrono::milliseconds time) {
    const auto ms = static_cast<unsigned>(time.count());
    std::string text = std::to_string(ms / 1000);
    if (ms % 1000 != 0) {
        std::string fraction;
        AppendDigits(fraction, ms % 1000, 3);
        fraction.erase(fraction.find_last_not_of('0') + 1);
        text += "." + fraction;
    }
    return text + " s";
}

// Error numbers of the shell (HRESULTs) read best in hexadecimal, as Windows writes them.
std::string SystemErrorNumber(unsigned long code) {
    if (code <= 0xFFFF) {
        return std::to_string(code);
    }
    return "0x" + HexDigits(code, 8);
}

std::string SystemErrorSuffix(unsigned long code) {
    if (code == 0) {
        return {};
    }
    std::string text = " (system error " + SystemErrorNumber(code);
    const std::string words = SystemErrorText(code);
    if (!words.empty()) {
        text += ": " + words;
    }
    return text + ")";
}

// What a file held when its rewrite's turn came: "build 9", "a build that this patcher does not know",
// "absent".
std::string FoundText(const FoundTarget& found) {
    if (!found.Exists) {
        return "absent";
    }
    return found.Version == 0 ? "a build that this patcher does not know" : "build " + std::to_string(found.Version);
}

const char* SourceText(FolderSource source) {
    switch (source) {
        case FolderSource::CurrentUserRecord:
            return "the current user's registry record";
        case FolderSource::LocalMachineRecord:
            return "the local machine's registry record";
        case FolderSource::CommandLine:
            return "/DIR=";
        case FolderSource::OpenDialog:
            return "the program file chosen in the open-file dialog";
        case FolderSource::None:
            break;
    }
    return "nowhere";
}

const char* FaultText(FileFault fault) {
    switch (fault) {
        case FileFault::ReadOnly:
            return "it is read-only";
        case FileFault::InUse:
            return "another program holds it";
        case FileFault::AccessDenied:
            return "access denied";
        case FileFault::DiskFull:
            return "the disk is full";
        case FileFault::NotFound:
            return "it or its folder is not there";
        case FileFault::DamagedData:
            return "the patcher's packed data is damaged";
        case FileFault::OutOfMemory:
            return "out of memory";
        case FileFault::SystemError:
            return "a system error";
        case FileFault::Unexpected:
            return "an unexpected error of the patcher";
        case FileFault::None:
            break;
    }
    return "no reason given";
}

}  // namespace

RunLog::RunLog(LogFile& file, LocalClock& clock, LogSettings settings)
    : file_(file), clock_(clock), settings_(settings) {}

bool RunLog::Start(std::string_view programName,
                   ByteStringView version,
                   unsigned long processId,
                   std::string_view commandLine) {
    const std::string process = ", process " + std::to_string(processId) + ": ";
    Write({{programName, kCodePageUtf8},
           {" ", kCodePageUtf8},
           {version, kOwnTextsCodePage},
           {process, kCodePageUtf8},
           {commandLine, kCodePageUtf8}});
    return !failed_;
}

void RunLog::Note(ByteStringView text, ByteStringView argument) {
    Lines(text, kOwnTextsCodePage, argument);
}

void RunLog::LastWords(std::string_view what, std::string_view detail, int exitCode) noexcept {
    if (failed_) {
        return;
    }
    // Composed on the stack: the program may be failing for want of memory.
    const LocalTime now = clock_.Now();
    LogLineBuffer line;
    AppendTimeStamp(line, now);
    line.append(" the patcher stopped on an unexpected error: ");
    AppendEscaped(line, what);
    AppendEscaped(line, detail);
    line.append(kLineBreak);
    AppendTimeStamp(line, now);
    line.append(" exit code ");
    AppendDigits(line, static_cast<unsigned long>(exitCode < 0 ? 0 : exitCode), 1);
    line.append(kLineBreak);
    try {
        file_.Append(line.View());
    } catch (...) {
        failed_ = true;
    }
}

void RunLog::End(int exitCode) {
    const std::string line = "exit code " + std::to_string(exitCode);
    Write({{line, kCodePageUtf8}});
}

void RunLog::SetMainText(const ShownText& text) {
    unfinishedLine_.clear();
    const ByteString shown = Rendered(text);
    Lines(settings_.Instructions ? ByteStringView(shown) : WithoutInstructions(text.MessageId, shown),
          TextCodePage(text.Language), std::nullopt);
}

void RunLog::AppendMainText(const ShownText& text) {
    unfinishedLine_.push_back({Rendered(text), TextCodePage(text.Language)});
    if (!unfinishedLine_.back().Bytes.ends_with(kLineBreak)) {
        return;
    }
    unfinishedLine_.back().Bytes.resize(unfinishedLine_.back().Bytes.size() - kLineBreak.size());
    const std::vector<ShownPiece> pieces = std::exchange(unfinishedLine_, {});
    std::vector<Piece> line;
    for (const ShownPiece& piece : pieces) {
        line.push_back({piece.Bytes, piece.CodePage});
    }
    Write(line);
}

void RunLog::ShowProblem(const ShownText& text) {
    std::optional<ByteStringView> path;
    if (!text.Arguments.empty()) {
        path = text.Arguments.front();
    }
    Lines(LookupMessage(text.Language, text.MessageId), TextCodePage(text.Language), path);
}

void RunLog::Folder(const ProductFolder& folder) {
    const std::string source = std::string(" (") + SourceText(folder.Source) + ")";
    switch (folder.Verdict) {
        case FolderVerdict::Used:
            Write({{"folder ", kCodePageUtf8}, {folder.Path, settings_.PathCodePage}, {source, kCodePageUtf8}});
            return;
        case FolderVerdict::Unchecked:
        case FolderVerdict::NoneFound:
            Write({{"no folder: the registry holds no record of the product, and no /DIR= names one", kCodePageUtf8}});
            return;
        case FolderVerdict::NotFullPath:
            Write({{"no folder: ", kCodePageUtf8},
                   {folder.Path, settings_.PathCodePage},
                   {source + " is not a full path", kCodePageUtf8}});
            return;
        case FolderVerdict::Missing:
            Write({{"no folder: ", kCodePageUtf8},
                   {folder.Path, settings_.PathCodePage},
                   {source + " does not exist", kCodePageUtf8}});
            return;
        case FolderVerdict::NotInCodePage:
            Write({{"no folder: ", kCodePageUtf8},
                   {folder.Path, kOwnTextsCodePage},
                   {source + " cannot be named in this system's code page " + std::to_string(settings_.PathCodePage),
                    kCodePageUtf8}});
            return;
        case FolderVerdict::TooLong:
            Write({{"no folder: ", kCodePageUtf8},
                   {folder.Path, settings_.PathCodePage},
                   {source + " is too long for the system's paths with a file's name in it", kCodePageUtf8}});
            return;
    }
}

void RunLog::File(ByteStringView path, const FileReport& file) {
    const std::string build = std::to_string(file.Build), newBuild = std::to_string(file.NewBuild);
    std::string outcome;
    switch (file.State) {
        case FileState::Current:
            outcome = "current (build " + build + "), left alone";
            break;
        case FileState::Updated:
            outcome = "updated from build " + build + " to build " + newBuild;
            break;
        case FileState::Created:
            outcome = "created (build " + newBuild + ")";
            break;
        case FileState::NeedsUpdate:
            outcome = "out of date (build " + build + "); this patcher updates it to build " + newBuild;
            break;
        case FileState::NeedsCreating:
            outcome = "absent; this patcher creates it (build " + newBuild + ")";
            break;
        case FileState::NotFound:
            outcome = "failed: not found, and not one that this patcher creates";
            break;
        case FileState::UnknownBuild:
            outcome = "failed: a build that this patcher does not know";
            break;
        case FileState::Unreadable:
            outcome = "failed: could not be read: " + Cause(file.Failure, file.Waited);
            break;
        case FileState::NotRewritten:
            outcome = (file.Build == 0 ? "failed: could not be created: " : "failed: could not be rewritten: ") +
                      Cause(file.Failure, file.Waited);
            break;
        case FileState::ChangedMeanwhile:
            outcome = "failed: another program changed it after it was recognised (" +
                      (file.Build == 0 ? std::string("absent") : "build " + build) + " then, " + FoundText(file.Now) +
                      " now); left alone";
            break;
    }
    // A failure for a file held for all that time says so in its cause.
    const bool heldToTheEnd = file.Failure.Fault == FileFault::InUse;
    if (!heldToTheEnd && file.Waited.count() > 0) {
        outcome += ", after " + Seconds(file.Waited) + " waiting for another program to let go of it";
    }
    Write({{path, settings_.PathCodePage}, {": " + outcome, kCodePageUtf8}});
}

void RunLog::Shortcut(const ShortcutProblem& problem) {
    using Kind = ShortcutProblem::Kind;
    switch (problem.What) {
        case Kind::NotMade:
        case Kind::NotRemoved: {
            const std::string what =
                problem.What == Kind::NotRemoved ? "the older help shortcut " : "the help shortcut ";
            const std::string failed =
                (problem.What == Kind::NotRemoved ? " could not be removed" : " could not be made") +
                SystemErrorSuffix(problem.SystemCode);
            Write({{what, kCodePageUtf8}, {problem.Path, settings_.PathCodePage}, {failed, kCodePageUtf8}});
            return;
        }
        case Kind::NoProgramsFolder:
            Write(
                {{"no help shortcuts: the current user's Start-menu Programs folder is not recorded", kCodePageUtf8}});
            return;
        case Kind::NoGroupFolder:
            Write({{"no help shortcuts: the product's Start-menu group ", kCodePageUtf8},
                   {problem.Path, settings_.PathCodePage},
                   {" does not exist, and the patcher makes none", kCodePageUtf8}});
            return;
        case Kind::HelpFileMissing:
            Write({{"no help shortcuts for ", kCodePageUtf8},
                   {problem.Path, settings_.PathCodePage},
                   {": it is not there", kCodePageUtf8}});
            return;
    }
}

void RunLog::Unexpected(std::string_view what) {
    const std::string line = "an unexpected error of the patcher: ";
    Write({{line, kCodePageUtf8}, {what, kCodePageUtf8}});
}

void RunLog::Lines(ByteStringView text, unsigned codePage, std::optional<ByteStringView> argument) {
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(kLineBreak, start);
        if (end == ByteStringView::npos) {
            end = text.size();
        }
        // The blank lines between paragraphs tell a reader of the log nothing.
        const ByteStringView line = text.substr(start, end - start);
        const std::size_t placeholder = argument ? line.find(kPlaceholder) : ByteStringView::npos;
        if (placeholder != ByteStringView::npos) {
            Write({{line.substr(0, placeholder), codePage},
                   {*argument, settings_.PathCodePage},
                   {line.substr(placeholder + kPlaceholder.size()), codePage}});
        } else if (!line.empty()) {
            Write({{line, codePage}});
        }
        start = end + kLineBreak.size();
    }
}

std::string RunLog::Cause(const FileFailure& failure, std::chrono::milliseconds waited) const {
    std::string cause = FaultText(failure.Fault);
    if (failure.Fault == FileFault::InUse && waited.count() > 0) {
        cause = "another program held it for " + Seconds(waited);
    }
    return cause + SystemErrorSuffix(failure.SystemCode);
}

void RunLog::Write(std::initializer_list<Piece> pieces) noexcept {
    Write(std::span(pieces.begin(), pieces.size()));
}

void RunLog::Write(std::span<const Piece> pieces) noexcept {
    if (failed_) {
        return;
    }
    try {
        std::string line = LogTimeStamp(clock_.Now()) + " ";
        for (const Piece& piece : pieces) {
            AppendEscaped(line, piece.CodePage == kCodePageUtf8 ? std::string(piece.Bytes)
                                                                : Utf8FromCodePage(piece.Bytes, piece.CodePage));
        }
        line += kLineBreak;
        // One write per line, so that the lines of other programs appending to the same file never cut in.
        file_.Append(line);
    } catch (const std::exception&) {
        // A full disk, a file taken away: the log ends there, the update goes on.
        failed_ = true;
    }
}

}  // namespace patcher
