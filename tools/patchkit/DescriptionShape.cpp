#include "tools/patchkit/DescriptionShape.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

#include "tools/patchkit/MessageText.h"

namespace patcher::patchkit {
namespace {

// Measures the nesting of a TOML text as CheckDescriptionShape describes it, without parsing it: strings and
// comments are skipped as TOML delimits them, and the depth is counted at each table header, each part of a
// key and each array or inline table. Text that is not TOML is measured as far as it goes; the reader
// refuses it afterwards.
//
// It also finds the first byte that is not ASCII outside a string or a comment, or right after a backslash
// in a string (past the spaces and line breaks of a line-ending backslash): TOML allows none there, and the
// TOML reader, looking for whitespace among such characters, reaches a place that its authors marked as
// unreachable for some of them (U+00A1 to U+0499, say): behaviour without definition, never to be left to
// chance on a maintainer's typo. A quote starts a string only where TOML lets one start (a part of a key, a
// value); elsewhere, as in a value 2'x', it is a stray character. And a bare value (a number, a date, true)
// is checked as the reader scans it, up to the next blank, bracket, brace, comma or "#", over quotes and
// brackets alike.
class ShapeScanner {
  public:
    explicit ShapeScanner(std::string_view text) : text_(text) {}

    struct Problem {
        int Line;
        std::string Text;
    };

    // The first place where the depth passes `limit` or a byte outside strings and comments is not ASCII.
    std::optional<Problem> FindProblem(int limit) {
        limit_ = limit;
        try {
            Scan();
        } catch (const TooDeep&) {
            return Problem{line_, "tables, arrays and keys nest more than " + std::to_string(limit) +
                                      " levels deep here, far more than a description needs"};
        } catch (const NotAscii& found) {
            char byte[8];
            std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned>(found.Byte));
            return Problem{
                line_, std::string("the byte ") + byte +
                           (found.AfterBackslash ? " follows a backslash in a string, where TOML allows only an escape"
                                                 : " stands outside a string and a comment, where a description holds "
                                                   "ASCII alone")};
        }
        return std::nullopt;
    }

  private:
    struct TooDeep {};
    struct NotAscii {
        unsigned char Byte;
        bool AfterBackslash;
    };
    struct Frame {
        bool Table;  // an inline table, whose keys count; else an array
        int Key;     // the parts of the key being read in it
    };
    enum class Mode { Statement, Key, Value };

    bool AtEnd() const { return at_ >= text_.size(); }
    char Peek(std::size_t ahead = 0) const { return at_ + ahead < text_.size() ? text_[at_ + ahead] : '\0'; }
    void Step() {
        if (text_[at_++] == '\n') {
            ++line_;
        }
    }
    static bool IsAscii(char c) { return static_cast<unsigned char>(c) < 0x80; }
    static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

    // What ends a bare value for the TOML reader: whitespace, a closing bracket or brace, a comma, a comment.
    static bool EndsBareValue(char c) {
        return c == ' ' || (c >= '\t' && c <= '\r') || c == ']' || c == '}' || c == ',' || c == '#';
    }

    // A step over a byte outside strings and comments. Blanks keep the place one where a string may start;
    // anything else makes it one where none may.
    void StepOutside() {
        const char c = Peek();
        if (!IsAscii(c)) {
            throw NotAscii{static_cast<unsigned char>(c), false};
        }
        if (!IsBlank(c)) {
            stringMayStart_ = false;
        }
        if (EndsBareValue(c)) {
            inBareValue_ = false;
        }
        Step();
    }

    // A bare value from its first byte, as far as the TOML reader scans it.
    void CheckBareValue() {
        std::size_t ahead = 0;
        while (at_ + ahead < text_.size() && !EndsBareValue(Peek(ahead))) {
            if (!IsAscii(Peek(ahead))) {
                at_ += ahead;  // no line break lies on the way
                throw NotAscii{static_cast<unsigned char>(Peek()), false};
            }
            ++ahead;
        }
        inBareValue_ = true;
    }
    void Deepen(int& counter, int by) {
        counter += by;
        if (header_ + key_ + nested_ > limit_) {
            throw TooDeep{};
        }
    }

    void SkipComment() {
        while (!AtEnd() && Peek() != '\n') {
            Step();
        }
    }

    // A string from its opening quote on: basic or literal, on one line or on many.
    void SkipString() {
        const char quote = Peek();
        const bool multiLine = Peek(1) == quote && Peek(2) == quote;
        if (multiLine) {
            at_ += 3;
        } else {
            Step();
            // Two quotes are an empty string, not the start of a long one.
        }
        while (!AtEnd()) {
            const char c = Peek();
            if (c == '\\' && quote == '"') {
                Step();
                // The first byte after the backslash, or after the blanks of a line-ending backslash.
                std::size_t ahead = 0;
                while (Peek(ahead) == ' ' || Peek(ahead) == '\t' ||
                       (multiLine && (Peek(ahead) == '\r' || Peek(ahead) == '\n'))) {
                    ++ahead;
                }
                if (at_ + ahead < text_.size() && !IsAscii(Peek(ahead))) {
                    while (ahead-- > 0) {
                        Step();
                    }
                    throw NotAscii{static_cast<unsigned char>(Peek()), true};
                }
                if (!AtEnd()) {
                    Step();
                }
                continue;
            }
            if (c == '\n' && !multiLine) {
                return;  // an unterminated string: the reader refuses it
            }
            if (c == quote) {
                if (!multiLine) {
                    Step();
                    return;
                }
                std::size_t run = 0;
                while (Peek(run) == quote) {
                    ++run;
                }
                if (run >= 3) {
                    // Up to two quotes before the closing three belong to the string.
                    at_ += std::min<std::size_t>(run, 5);
                    return;
                }
                at_ += run;
                continue;
            }
            Step();
        }
    }

    // A table header from its "[": two for each part of its key.
    void ReadHeader() {
        Step();
        if (Peek() == '[') {
            Step();
        }
        header_ = 0;
        key_ = 0;
        Deepen(header_, 2);
        stringMayStart_ = true;
        while (!AtEnd() && Peek() != ']' && Peek() != '\n') {
            if ((Peek() == '"' || Peek() == '\'') && stringMayStart_) {
                SkipString();
                stringMayStart_ = false;
            } else {
                const bool dot = Peek() == '.';
                if (dot) {
                    Deepen(header_, 2);
                }
                StepOutside();
                stringMayStart_ = stringMayStart_ || dot;
            }
        }
        // The rest of the line (the closing brackets, a comment) holds no nesting.
        while (!AtEnd() && Peek() != '\n') {
            if (Peek() == '#') {
                SkipComment();
            } else {
                StepOutside();
            }
        }
    }

    void Scan() {
        if (text_.starts_with("\xEF\xBB\xBF")) {
            at_ = 3;  // the byte-order mark that some editors write first
        }
        Mode mode = Mode::Statement;
        while (!AtEnd()) {
            const char c = Peek();
            if ((c == '"' || c == '\'') && (mode == Mode::Statement || stringMayStart_)) {
                if (mode == Mode::Statement) {
                    mode = Mode::Key;
                    key_ = 0;
                    Deepen(key_, 1);
                }
                SkipString();
                stringMayStart_ = false;
                continue;
            }
            if (c == '#') {
                SkipComment();
                continue;
            }
            switch (mode) {
                case Mode::Statement:
                    if (c == '[') {
                        ReadHeader();
                        continue;
                    }
                    if (c != ' ' && c != '\t' && c != '\n' && c != '\r') {
                        mode = Mode::Key;
                        key_ = 0;
                        Deepen(key_, 1);
                    }
                    break;
                case Mode::Key:
                    if (c == '.') {
                        Deepen(frames_.empty() ? key_ : frames_.back().Key, 1);
                        if (!frames_.empty()) {
                            Deepen(nested_, 1);
                        }
                    } else if (c == '=') {
                        mode = Mode::Value;
                    } else if (c == '}' && !frames_.empty()) {
                        Close();
                        mode = Mode::Value;
                    } else if (c == '\n' && frames_.empty()) {
                        mode = Mode::Statement;
                    }
                    break;
                case Mode::Value:
                    if (!inBareValue_ && !EndsBareValue(c) && c != '[' && c != '{') {
                        CheckBareValue();
                    }
                    if (c == '[') {
                        frames_.push_back({false, 0});
                        Deepen(nested_, 1);
                    } else if (c == '{') {
                        frames_.push_back({true, 1});
                        Deepen(nested_, 2);
                        mode = Mode::Key;
                    } else if ((c == ']' || c == '}') && !frames_.empty()) {
                        Close();
                    } else if (c == ',' && !frames_.empty() && frames_.back().Table) {
                        nested_ -= frames_.back().Key - 1;
                        frames_.back().Key = 1;
                        mode = Mode::Key;
                    } else if (c == '\n' && frames_.empty()) {
                        mode = Mode::Statement;
                        key_ = 0;
                    }
                    break;
            }
            StepOutside();
            // A part of a key starts after a dot, a value after "=", "[" or ",", a key after "{" or ",".
            if ((c == '.' && mode == Mode::Key) ||
                (mode != Mode::Statement && (c == '=' || c == '[' || c == '{' || c == ','))) {
                stringMayStart_ = true;
            }
        }
    }

    void Close() {
        nested_ -= 1 + frames_.back().Key;
        frames_.pop_back();
    }

    std::string_view text_;
    std::size_t at_ = 0;
    int line_ = 1;
    int limit_ = 0;
    int header_ = 0;  // the current table header
    int key_ = 0;     // the key of the current top-level statement
    int nested_ = 0;  // the open arrays and inline tables, with the keys being read in them
    std::vector<Frame> frames_;
    bool stringMayStart_ = false;  // whether a quote here starts a string (a statement's start aside)
    bool inBareValue_ = false;     // whether the bytes from here to the bare value's end are checked
};

}  // namespace

void CheckDescriptionShape(std::string_view text, const std::string& source) {
    if (text.size() > kMaxDescriptionBytes) {
        throw DescriptionError(Shown(source) + ": " + std::to_string(text.size()) + " bytes, more than the " +
                               std::to_string(kMaxDescriptionBytes) + " that a description may have");
    }
    if (const auto problem = ShapeScanner(text).FindProblem(kMaxDescriptionDepth)) {
        throw DescriptionError(Shown(source) + ":" + std::to_string(problem->Line) + ": " + problem->Text);
    }
}

}  // namespace patcher::patchkit
