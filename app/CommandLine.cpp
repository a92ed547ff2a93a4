#include "app/CommandLine.h"

#include <array>
#include <utility>

#include "app/WindowLanguages.h"
#include "common/PathText.h"

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

class Parser {
  public:
    explicit Parser(const ProductProfile& profile) : profile_(profile) {}

    // Takes one argument; a fault is kept (the first one only) and the argument otherwise ignored.
    void Take(const ByteString& argument) {
        try {
            TakeOption(argument);
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
        if (argument.empty() || (argument[0] != '/' && argument[0] != '-')) {
            throw CommandLineError(Reason::NotAnOption, argument);
        }
        const std::size_t equals = argument.find('=');
        const bool hasValue = equals != ByteString::npos;
        const ByteStringView name = ByteStringView(argument).substr(1, hasValue ? equals - 1 : ByteString::npos);
        const ByteStringView value = hasValue ? ByteStringView(argument).substr(equals + 1) : ByteStringView();

        if (SameLetters(name, "S") || SameLetters(name, "SILENT")) {
            Flag(options_.Silent, argument, hasValue);
        } else if (SameLetters(name, "?") || SameLetters(name, "HELP")) {
            Flag(options_.Help, argument, hasValue);
        } else if (SameLetters(name, "DIR")) {
            const ByteStringView folder = Value(options_.InstallDir.has_value(), argument, value);
            if (!IsFullPath(folder)) {
                throw CommandLineError(Reason::RelativeFolder, argument);
            }
            options_.InstallDir = ByteString(folder);
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

CommandLineOptions ParseCommandLine(const std::vector<ByteString>& arguments, const ProductProfile& profile) {
    Parser parser(profile);
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        parser.Take(arguments[i]);
    }
    return parser.Finish();
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
