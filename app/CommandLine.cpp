#include "app/CommandLine.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#include "app/WindowLanguages.h"
#include "common/PathText.h"
#include "shell/ProductFolder.h"

namespace patcher {
namespace {

using Reason = CommandLineError::Reason;

struct LanguageName {
    ByteStringView Name;
    LanguageCode Language;
};
constexpr std::array<LanguageName, 4> kLanguageNames = {{
    {"PL", kPolish},
    {"EN", kEnglish},
    {"DE", kGerman},
    {"FR", kFrench},
}};

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameLetters(ByteStringView a, ByteStringView b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Upper(a[i]) != Upper(b[i])) {
            return false;
        }
    }
    return true;
}

struct SplitOption {
    ByteStringView Name;
    bool HasValue = false;
    ByteStringView Value;
};

// "/NAME=VALUE" or "-NAME"; nothing for an argument that is no option.
std::optional<SplitOption> Split(ByteStringView argument) {
    if (argument.empty() || (argument[0] != '/' && argument[0] != '-')) {
        return std::nullopt;
    }
    const std::size_t equals = argument.find('=');
    const bool hasValue = equals != ByteStringView::npos;
    return SplitOption{argument.substr(1, hasValue ? equals - 1 : ByteStringView::npos), hasValue,
                       hasValue ? argument.substr(equals + 1) : ByteStringView()};
}

bool IsSilentName(ByteStringView name) {
    return SameLetters(name, "S") || SameLetters(name, "SILENT");
}

// Whole seconds, in digits alone: no sign, no space.
std::optional<int> Seconds(ByteStringView text) {
    if (text.empty() || text.size() > 3) {
        return std::nullopt;
    }
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    return value <= kLongestWaitSeconds ? std::optional<int>(value) : std::nullopt;
}

class Parser {
  public:
    explicit Parser(const ProductProfile& profile) : profile_(profile) {}

    // Takes one argument; a fault is kept (the first one only) and the argument otherwise ignored.
    void Take(const CommandLineArgument& argument) {
        try {
            if (!argument.Readable) {
                throw CommandLineError(Reason::UnreadableText, argument.Text);
            }
            TakeOption(argument.Text);
        } catch (const CommandLineError& error) {
            if (!fault_) {
                fault_ = error;
            }
        }
    }

    CommandLineOptions Finish() {
        if (fault_) {
            throw CommandLineError(fault_->Why(), fault_->Argument(), options_);
        }
        return options_;
    }

  private:
    void TakeOption(const ByteString& argument) {
        const std::optional<SplitOption> option = Split(argument);
        if (!option) {
            throw CommandLineError(Reason::NotAnOption, argument);
        }
        const auto [name, hasValue, value] = *option;

        if (IsSilentName(name)) {
            Flag(options_.Silent, argument, hasValue);
        } else if (SameLetters(name, "CHECK")) {
            Flag(options_.Check, argument, hasValue);
        } else if (SameLetters(name, "?") || SameLetters(name, "HELP")) {
            Flag(options_.Help, argument, hasValue);
        } else if (SameLetters(name, "DIR")) {
            const ByteStringView folder = Value(options_.InstallDir.has_value(), argument, value);
            options_.InstallDir = CanonicalFolder(folder);
            if (!options_.InstallDir) {
                throw CommandLineError(Reason::RelativeFolder, argument);
            }
            if (!LeavesRoomForAFile(*options_.InstallDir)) {
                throw CommandLineError(Reason::FolderTooLong, argument);
            }
        } else if (SameLetters(name, "WAIT")) {
            const ByteStringView seconds = Value(options_.WaitSeconds.has_value(), argument, value);
            options_.WaitSeconds = Seconds(seconds);
            if (!options_.WaitSeconds) {
                throw CommandLineError(Reason::WaitOutOfRange, argument);
            }
        } else if (SameLetters(name, "LANG")) {
            const ByteStringView language = Value(options_.Language.has_value(), argument, value);
            for (const auto& [languageName, code] : kLanguageNames) {
                if (SameLetters(language, languageName) && WindowOffersLanguage(profile_, code)) {
                    options_.Language = code;
                    return;
                }
            }
            throw CommandLineError(Reason::LanguageNotOffered, argument);
        } else if (SameLetters(name, "LOG")) {
            options_.LogFile = ByteString(Value(options_.LogFile.has_value(), argument, value));
        } else {
            throw CommandLineError(Reason::UnknownOption, argument);
        }
    }

    static void Flag(bool& flag, const ByteString& argument, bool hasValue) {
        if (hasValue) {
            throw CommandLineError(Reason::UnexpectedValue, argument);
        }
        if (flag) {
            throw CommandLineError(Reason::RepeatedOption, argument);
        }
        flag = true;
    }

    // The value after "="; none, or an empty one, is missing.
    static ByteStringView Value(bool given, const ByteString& argument, ByteStringView value) {
        if (value.empty()) {
            throw CommandLineError(Reason::MissingValue, argument);
        }
        if (given) {
            throw CommandLineError(Reason::RepeatedOption, argument);
        }
        return value;
    }

    const ProductProfile& profile_;
    CommandLineOptions options_;
    std::optional<CommandLineError> fault_;
};

}  // namespace

CommandLineError::CommandLineError(Reason reason, ByteString argument, CommandLineOptions understood)
    : std::runtime_error("the command line was not understood"),
      reason_(reason),
      argument_(std::move(argument)),
      understood_(std::move(understood)) {}

CommandLineOptions ParseCommandLine(const std::vector<CommandLineArgument>& arguments, const ProductProfile& profile) {
    Parser parser(profile);
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        parser.Take(arguments[i]);
    }
    return parser.Finish();
}

bool AsksForNoWindow(const std::vector<CommandLineArgument>& arguments) {
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (const std::optional<SplitOption> option = Split(arguments[i].Text)) {
            if (IsSilentName(option->Name) || SameLetters(option->Name, "CHECK")) {
                return true;
            }
        }
    }
    return false;
}

std::optional<ByteString> CanonicalFolder(ByteStringView path) {
    const auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    std::vector<ByteString> segments;
    ByteString root;
    std::size_t at = 0;
    if (path.size() >= 3 && isLetter(path[0]) && path[1] == ':' && IsPathDelimiter(path[2])) {
        root = ByteString(path.substr(0, 2)) + '\\';
        at = 3;
    } else if (path.size() >= 2 && IsPathDelimiter(path[0]) && IsPathDelimiter(path[1])) {
        // "\\?\..." and "\\.\..." reach the system's devices and names past this reading.
        if (path.size() >= 3 && (path[2] == '?' || path[2] == '.') && (path.size() == 3 || IsPathDelimiter(path[3]))) {
            return std::nullopt;
        }
        // The server and the share are the root: ".." never climbs above them.
        root = "\\\\";
        at = 2;
        for (int part = 0; part < 2; ++part) {
            const std::size_t end = std::min(NextDelimiter(path, at), path.size());
            if (end == at) {
                return std::nullopt;
            }
            root += ByteString(path.substr(at, end - at));
            if (part == 0) {
                root += '\\';
            }
            at = end;
            while (at < path.size() && IsPathDelimiter(path[at])) {
                ++at;
            }
        }
        root += '\\';
    } else {
        return std::nullopt;
    }

    const bool endsInDelimiter = EndsInDelimiter(path);
    while (at < path.size()) {
        const std::size_t end = std::min(NextDelimiter(path, at), path.size());
        ByteString segment(path.substr(at, end - at));
        at = end + 1;
        if (segment.empty() || segment == ".") {
            continue;
        }
        if (segment == "..") {
            if (!segments.empty()) {
                segments.pop_back();
            }
            continue;
        }
        if (segment.size() >= 2 && segment.back() == '.' && segment[segment.size() - 2] != '.') {
            segment.pop_back();
        }
        segments.push_back(std::move(segment));
    }
    if (!endsInDelimiter && !segments.empty()) {
        ByteString& last = segments.back();
        last.erase(last.find_last_not_of(". ") + 1);
        if (last.empty()) {
            segments.pop_back();
        }
    }

    ByteString canonical = root;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        canonical += segments[i];
        if (i + 1 < segments.size() || endsInDelimiter) {
            canonical += '\\';
        }
    }
    // The share alone goes without its final delimiter, as Windows gives it.
    if (segments.empty() && path.size() >= 2 && IsPathDelimiter(path[0]) && IsPathDelimiter(path[1]) &&
        !endsInDelimiter) {
        canonical.pop_back();
    }
    return canonical;
}

ByteString OfferedLanguageNames(const ProductProfile& profile) {
    ByteString names;
    for (const auto& [name, code] : kLanguageNames) {
        if (WindowOffersLanguage(profile, code)) {
            if (!names.empty()) {
                names += '|';
            }
            names += name;
        }
    }
    return names;
}

}  // namespace patcher
