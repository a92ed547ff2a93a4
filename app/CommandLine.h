#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/ByteString.h"
#include "common/LanguageCode.h"
#include "profile/ProductProfile.h"

namespace patcher {

// What an administrator asks of the patcher on its command line. Without options the patcher is the window
// it always was.
struct CommandLineOptions {
    bool Silent = false;                   // /S, /SILENT: no window and no dialog, the run at once
    bool Check = false;                    // /CHECK: no window, nothing written; the exit code tells the need
    bool Help = false;                     // /?, /HELP: the options and exit codes, nothing else done
    std::optional<ByteString> InstallDir;  // /DIR=FOLDER: instead of the registry record (a full path, as
                                           // Windows reads it: CanonicalFolder)
    std::optional<LanguageCode> Language;  // /LANG=PL|EN|DE|FR: one the window offers
    std::optional<ByteString> LogFile;     // /LOG=FILE: appended to, in UTF-8
    std::optional<int> WaitSeconds;        // /WAIT=SECONDS: 0..600, for a file another program holds
};

inline constexpr int kLongestWaitSeconds = 600;

// One argument of the command line in the system's ANSI code page. One that holds a character the code
// page lacks cannot be used (it would name another file, or none); it is kept as it can be shown, with "?"
// for every character outside ASCII, and refused.
struct CommandLineArgument {
    ByteString Text;
    bool Readable = true;
};

// Why a command line was not understood, and what of it was: the options of its other arguments, so that a
// silent run that cannot start still says why in the log it asked for.
class CommandLineError final : public std::runtime_error {
  public:
    enum class Reason {
        UnknownOption,       // not one of the options
        NotAnOption,         // an argument that starts with neither "/" nor "-"
        MissingValue,        // /DIR, /LANG or /LOG without "=" and a value
        UnexpectedValue,     // /S=... or /?=...
        RepeatedOption,      // the same option twice
        RelativeFolder,      // /DIR= names no full path ("X:\..." or "\\server\share\...")
        FolderTooLong,       // /DIR= leaves no room for a file's name in the system's paths
        WaitOutOfRange,      // /WAIT= is no whole number of seconds from 0 to 600
        LanguageNotOffered,  // /LANG= names no language of this product's window
        UnreadableText,      // a character that the system's code page cannot carry
        LogNotWritable,      // /LOG= names a file that cannot be opened for appending
    };

    CommandLineError(Reason reason, ByteString argument, CommandLineOptions understood = {});

    Reason Why() const noexcept { return reason_; }
    // The argument at fault, as given.
    const ByteString& Argument() const noexcept { return argument_; }
    // The options of the arguments that were understood.
    const CommandLineOptions& Understood() const noexcept { return understood_; }

  private:
    Reason reason_;
    ByteString argument_;
    CommandLineOptions understood_;
};

// The arguments of a command line as Windows gives it whole, the program's own name first: separated by
// spaces and tabs, a double quote beginning or ending a stretch where they separate nothing. The quotes go;
// a backslash stays what it is, so that "C:\Vokarion\" ends in one (no path can hold a quote). For the
// command line's bytes or, on Windows, its UTF-16 text.
template <typename Char>
std::vector<std::basic_string<Char>> SplitCommandLine(std::basic_string_view<Char> commandLine) {
    const auto isSpace = [](Char c) { return c == Char(' ') || c == Char('\t'); };
    std::vector<std::basic_string<Char>> arguments;
    std::size_t at = 0;
    for (;;) {
        while (at < commandLine.size() && isSpace(commandLine[at])) {
            ++at;
        }
        if (at == commandLine.size()) {
            return arguments;
        }
        std::basic_string<Char> argument;
        for (bool quoted = false; at < commandLine.size() && (quoted || !isSpace(commandLine[at])); ++at) {
            if (commandLine[at] == Char('"')) {
                quoted = !quoted;
            } else {
                argument += commandLine[at];
            }
        }
        arguments.push_back(std::move(argument));
    }
}

// The options of the arguments after the program's name. Options are case-insensitive, start with "/" or
// "-", and take their value after "=". Throws CommandLineError for the first argument at fault, with the
// options of all the others.
CommandLineOptions ParseCommandLine(const std::vector<CommandLineArgument>& arguments, const ProductProfile& profile);

// Whether the arguments after the program's name ask for no window (/S, /SILENT or /CHECK), looked for before
// anything else of them is understood: such a run must never wait for a person, even to be told that the
// rest of its command line is wrong.
bool AsksForNoWindow(const std::vector<CommandLineArgument>& arguments);

// A folder named on the command line as Windows reads it (GetFullPathNameW): "/" counts as "\", delimiters
// in a row as one, "." and ".." segments go (never above the root), a segment's one final "." goes, and
// unless the path ends in a delimiter, the spaces and dots that end its last segment go. Only a full path
// counts: "X:\..." or "\\server\share..." with both a server and a share. Nothing for any other, and for
// the "\\?\" and "\\.\" forms, which skip that reading.
std::optional<ByteString> CanonicalFolder(ByteStringView path);

// The names that /LANG= takes for the languages the window offers, joined by "|" ("PL|EN").
ByteString OfferedLanguageNames(const ProductProfile& profile);

}  // namespace patcher
