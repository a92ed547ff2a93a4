#pragma once

#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/RunView.h"
#include "common/ByteString.h"
#include "common/LanguageCode.h"
#include "platform/LocalClock.h"
#include "platform/LogFile.h"

namespace patcher {

// How a log reads what it is told.
struct LogSettings {
    unsigned PathCodePage = 1250;  // the code page of paths and arguments: the system's ANSI one
    bool Instructions = true;      // keeps the window's "press ..." sentences; a silent run has no buttons
};

// The log that /LOG= asks for, in UTF-8. Every line starts with the local date and time to the millisecond;
// the first names the patcher, its version, the process and the command line; then come the texts the window
// shows and the facts behind them (the folder used and where it came from, each file's outcome with its
// reason), and last the exit code. A control character inside any text given is written as a visible escape
// ("<CR>", "<LF>", "<TAB>", "<U+001B>"), so no input can make a line of its own. A log that fails while the
// patcher runs is given up: the update goes on. As the view of a run, it writes whole lines: a progress line
// once its last piece has come.
class RunLog final : public WindowlessView {
  public:
    RunLog(LogFile& file, LocalClock& clock, LogSettings settings);

    // The first line. programName and commandLine are UTF-8. Answers whether it was written: a log that
    // takes no line is no log.
    bool Start(std::string_view programName,
               ByteStringView version,
               unsigned long processId,
               std::string_view commandLine);
    // One of the program's own texts (Windows-1250, one line per CR LF), with `argument` (a path or an
    // argument in the path code page) in the place of its "%s".
    void Note(ByteStringView text, ByteStringView argument = {});
    void End(int exitCode);
    // What a failure of the patcher itself says as it ends the program: what failed (`what` and `detail`
    // one after the other, UTF-8) and the exit code. Allocates nothing: it is also the crash's last word.
    void LastWords(std::string_view what, std::string_view detail, int exitCode) noexcept;

    void SetMainText(const ShownText& text) override;
    void AppendMainText(const ShownText& text) override;
    void ShowProblem(const ShownText& text) override;
    void Folder(const ProductFolder& folder) override;
    void File(ByteStringView path, const FileReport& file) override;
    void Shortcut(const ShortcutProblem& problem) override;
    void Unexpected(std::string_view what) override;

  private:
    struct Piece {
        ByteStringView Bytes;
        unsigned CodePage;
    };
    struct ShownPiece {
        ByteString Bytes;
        unsigned CodePage;
    };

    // Each line of the text that holds something, with `argument` (in the path code page), where there is one,
    // for its "%s".
    void Lines(ByteStringView text, unsigned codePage, std::optional<ByteStringView> argument);
    // One line of the pieces, each decoded from its code page, escaped, after the time stamp.
    void Write(std::initializer_list<Piece> pieces) noexcept;
    void Write(std::span<const Piece> pieces) noexcept;
    std::string Cause(const FileFailure& failure, std::chrono::milliseconds waited) const;

    LogFile& file_;
    LocalClock& clock_;
    LogSettings settings_;
    std::vector<ShownPiece> unfinishedLine_;  // the main text's pieces since its last line break
    bool failed_ = false;
};

}  // namespace patcher
