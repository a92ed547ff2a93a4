#include "tools/patchkit/PatchDescription.h"

#include <toml++/toml.h>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <limits>
#include <optional>

#include "engine/SignatureTables.h"
#include "engine/UDer.h"
#include "engine/VersionTables.h"
#include "tools/patchkit/InputFiles.h"
#include "tools/patchkit/MessageText.h"

namespace patcher::patchkit {
namespace {

const char* TypeName(toml::node_type type) {
    switch (type) {
        case toml::node_type::table:
            return "a table";
        case toml::node_type::array:
            return "an array";
        case toml::node_type::string:
            return "a string";
        case toml::node_type::integer:
            return "an integer";
        case toml::node_type::floating_point:
            return "a floating-point number";
        case toml::node_type::boolean:
            return "a boolean";
        case toml::node_type::date:
            return "a date";
        case toml::node_type::time:
            return "a time";
        case toml::node_type::date_time:
            return "a date-time";
        case toml::node_type::none:
            break;
    }
    return "nothing";
}

int LineOf(const toml::node& node) {
    return static_cast<int>(node.source().begin.line);
}

int LineOf(const toml::key& key) {
    return static_cast<int>(key.source().begin.line);
}

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

// A file index as a header writes it: decimal digits, leading zeros allowed, compared as a number.
std::optional<int> FileIndexOf(std::string_view name) {
    if (name.empty() || name.size() > 9 ||
        !std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    int value = 0;
    for (const char c : name) {
        value = value * 10 + (c - '0');
    }
    return value;
}

// Turns the parsed document into a PatchDescription, refusing whatever does not fit. Every refusal names
// the line of the value or key at fault.
class Reader {
  public:
    explicit Reader(PatchDescription& description) : description_(description) {}

    void Read(const toml::table& root) {
        OnlyKeys(root, {"ProductIndex", "ProductLanguage", "ProductKind", "UpdateIndex", "SelectedFiles", "File"}, "",
                 "a description holds ProductIndex, ProductLanguage, ProductKind, UpdateIndex, SelectedFiles "
                 "and File");
        description_.ProductIndex =
            static_cast<std::int32_t>(Integer(Required(root, "ProductIndex"), "ProductIndex", 1, 10));
        description_.ProductLanguage =
            static_cast<LanguageCode>(Integer(Required(root, "ProductLanguage"), "ProductLanguage", 1, 3));
        description_.ProductKind =
            static_cast<std::int32_t>(Integer(Required(root, "ProductKind"), "ProductKind", 1, 6));
        description_.UpdateIndex =
            static_cast<std::uint8_t>(Integer(Required(root, "UpdateIndex"), "UpdateIndex", 1, kFileCount));
        if (const toml::node* files = root.get("File")) {
            ReadFiles(*files);
        }
        ReadSelection(Required(root, "SelectedFiles"));
    }

  private:
    [[noreturn]] void Fail(int line, const std::string& text) const {
        throw DescriptionError(description_.At(line, text));
    }

    const toml::node& Required(const toml::table& table, const char* key) const {
        const toml::node* node = table.get(key);
        if (node == nullptr) {
            Fail(0, std::string(key) + " is not given");
        }
        return *node;
    }

    void OnlyKeys(const toml::table& table,
                  std::initializer_list<std::string_view> known,
                  const std::string& prefix,
                  const char* knownText) const {
        for (const auto& [key, node] : table) {
            if (std::find(known.begin(), known.end(), key.str()) == known.end()) {
                Fail(LineOf(key), prefix + "unknown key " + Quoted(key.str()) + " (" + knownText + ")");
            }
        }
    }

    std::int64_t Integer(const toml::node& node, const std::string& what, std::int64_t low, std::int64_t high) const {
        const auto* value = node.as_integer();
        if (value == nullptr) {
            Fail(LineOf(node), what + " must be a whole number from " + std::to_string(low) + " to " +
                                   std::to_string(high) + ", not " + TypeName(node.type()));
        }
        if (value->get() < low || value->get() > high) {
            Fail(LineOf(node), what + " must be from " + std::to_string(low) + " to " + std::to_string(high) +
                                   ", not " + std::to_string(value->get()));
        }
        return value->get();
    }

    const toml::array& Array(const toml::node& node, const std::string& what) const {
        const toml::array* array = node.as_array();
        if (array == nullptr) {
            Fail(LineOf(node), what + " must be an array, not " + TypeName(node.type()));
        }
        return *array;
    }

    // Offsets that a signature table begins with: at most 50, each once.
    void ReadLeading(const toml::node& node, const std::string& prefix, DescribedBuild& into) const {
        const toml::array& array = Array(node, prefix + "Leading");
        if (array.size() > static_cast<std::size_t>(kSignatureEntries)) {
            Fail(LineOf(node),
                 prefix + "Leading gives " + std::to_string(array.size()) + " samples, more than the 50 of a table");
        }
        into.Leading.clear();
        into.LeadingLines.clear();
        for (const toml::node& element : array) {
            const auto offset = static_cast<std::int32_t>(
                Integer(element, prefix + "a leading sample", 0, std::numeric_limits<std::int32_t>::max()));
            if (std::find(into.Leading.begin(), into.Leading.end(), offset) != into.Leading.end()) {
                Fail(LineOf(element), prefix + "leading sample " + std::to_string(offset) + " is given twice");
            }
            into.Leading.push_back(offset);
            into.LeadingLines.push_back(LineOf(element));
        }
    }

    void ReadFiles(const toml::node& node) {
        const toml::table* files = node.as_table();
        if (files == nullptr) {
            Fail(LineOf(node), "File must be a table of file indices, not " + std::string(TypeName(node.type())));
        }
        // In the order written, so that of two entries for one file the later one is named.
        struct Entry {
            int FileIndex;
            std::string_view Name;
            int Line;
            const toml::node* Node;
        };
        std::vector<Entry> entries;
        for (const auto& [key, value] : *files) {
            const std::string_view name = key.str();
            const std::optional<int> fileIndex = FileIndexOf(name);
            if (!fileIndex || *fileIndex < 1 || *fileIndex > kFileCount) {
                Fail(LineOf(key), "File." + Shown(name) + ": file indices go from 1 to 12");
            }
            entries.push_back({*fileIndex, name, LineOf(key), &value});
        }
        std::stable_sort(entries.begin(), entries.end(),
                         [](const Entry& a, const Entry& b) { return a.Line < b.Line; });
        for (std::size_t i = 0; i < entries.size(); ++i) {
            for (std::size_t j = 0; j < i; ++j) {
                if (entries[j].FileIndex == entries[i].FileIndex) {
                    Fail(entries[i].Line, "File." + Shown(entries[i].Name) + " describes file " +
                                              std::to_string(entries[i].FileIndex) + " again, as File." +
                                              Shown(entries[j].Name) + " on line " + std::to_string(entries[j].Line) +
                                              " does");
                }
            }
            ReadFile(entries[i].FileIndex, *entries[i].Node, entries[i].Line);
        }
        std::sort(description_.Files.begin(), description_.Files.end(),
                  [](const DescribedFile& a, const DescribedFile& b) { return a.FileIndex < b.FileIndex; });
    }

    void ReadFile(int fileIndex, const toml::node& node, int line) {
        const std::string prefix = "file " + std::to_string(fileIndex) + ": ";
        const toml::table* table = node.as_table();
        if (table == nullptr) {
            Fail(LineOf(node), prefix + "must be a table, not " + TypeName(node.type()));
        }
        OnlyKeys(*table, {"Leading", "Versions", "FirstSlotBytes"}, prefix,
                 "a file holds Leading, Versions and FirstSlotBytes");
        DescribedBuild defaults;
        if (const toml::node* leading = table->get("Leading")) {
            ReadLeading(*leading, prefix, defaults);
        }
        const toml::node* versionsNode = table->get("Versions");
        if (versionsNode == nullptr) {
            Fail(line, prefix + "Versions is not given");
        }
        const toml::array& versions = Array(*versionsNode, prefix + "Versions");
        if (versions.empty()) {
            Fail(LineOf(*versionsNode), prefix + "Versions lists no build");
        }
        if (versions.size() > static_cast<std::size_t>(kMaxVersions)) {
            Fail(LineOf(*versionsNode), prefix + "Versions lists " + std::to_string(versions.size()) +
                                            " builds; a file has at most 11 versions");
        }
        DescribedFile file{fileIndex, {}, line, std::nullopt, 0};
        if (const toml::node* split = table->get("FirstSlotBytes")) {
            file.FirstSlotBytes =
                static_cast<std::int32_t>(Integer(*split, prefix + "FirstSlotBytes", 1, UnpackCapacity));
            file.FirstSlotLine = LineOf(*split);
        }
        for (const toml::node& element : versions) {
            const int previous = file.Builds.empty() ? 0 : file.Builds.back().Version;
            file.Builds.push_back(ReadBuild(fileIndex, element, previous, defaults));
        }
        description_.Files.push_back(std::move(file));
    }

    // A build is its path, or a table with its Path, and its Version where the numbering has a gap, and its
    // own Leading samples where they differ from the file's.
    DescribedBuild ReadBuild(int fileIndex, const toml::node& node, int previous, const DescribedBuild& defaults) {
        const std::string filePrefix = "file " + std::to_string(fileIndex) + ": ";
        DescribedBuild build = defaults;
        build.Line = LineOf(node);
        build.Version = previous + 1;
        const toml::node* path = &node;
        if (const toml::table* table = node.as_table()) {
            OnlyKeys(*table, {"Path", "Version", "Leading"}, filePrefix, "a version holds Path, Version and Leading");
            if (const toml::node* version = table->get("Version")) {
                build.Version = static_cast<int>(Integer(*version, filePrefix + "Version", 1, kMaxVersions));
                if (build.Version <= previous) {
                    Fail(LineOf(*version), filePrefix + "version " + std::to_string(build.Version) +
                                               " follows version " + std::to_string(previous) +
                                               ": versions are listed oldest first");
                }
            }
            path = table->get("Path");
            if (path == nullptr) {
                Fail(build.Line, filePrefix + "a version without Path");
            }
        } else if (!node.is_string()) {
            Fail(build.Line, filePrefix + "a version is its path or a table with Path, not " + TypeName(node.type()));
        }
        const std::string prefix =
            filePrefix.substr(0, filePrefix.size() - 2) + " version " + std::to_string(build.Version) + ": ";
        if (build.Version > kMaxVersions) {
            Fail(build.Line, prefix + "version numbers go from 1 to 11");
        }
        if (const toml::table* table = node.as_table()) {
            if (const toml::node* leading = table->get("Leading")) {
                ReadLeading(*leading, prefix, build);
            }
        }
        const auto* text = path->as_string();
        if (text == nullptr) {
            Fail(LineOf(*path), prefix + "Path must be a string, not " + TypeName(path->type()));
        }
        build.Path = text->get();
        if (build.Path.empty() || std::filesystem::path(build.Path).has_root_path()) {
            Fail(LineOf(*path), prefix + "the path " + Quoted(build.Path) + " must lie inside the release folder");
        }
        if (std::any_of(build.Path.begin(), build.Path.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; })) {
            Fail(LineOf(*path), prefix + "the path " + Quoted(build.Path) +
                                    " holds a control character, which no file of a release is named with");
        }
        return build;
    }

    void ReadSelection(const toml::node& node) {
        const toml::array& array = Array(node, "SelectedFiles");
        if (array.empty()) {
            Fail(LineOf(node), "SelectedFiles selects no file");
        }
        std::vector<std::pair<int, int>> selected;  // file index, line
        for (const toml::node& element : array) {
            const int fileIndex = static_cast<int>(Integer(element, "a selected file", 1, kFileCount));
            const int line = LineOf(element);
            if (std::any_of(selected.begin(), selected.end(), [&](const auto& s) { return s.first == fileIndex; })) {
                Fail(line, "file " + std::to_string(fileIndex) + " is selected twice");
            }
            if (description_.FindFile(fileIndex) == nullptr) {
                Fail(line, "file " + std::to_string(fileIndex) + " is selected, but no version of it is described");
            }
            selected.emplace_back(fileIndex, line);
        }
        std::sort(selected.begin(), selected.end());
        for (const auto& [fileIndex, line] : selected) {
            description_.SelectedFiles.push_back(fileIndex);
            description_.SelectedLines.push_back(line);
        }
    }

    PatchDescription& description_;
};

}  // namespace

const DescribedFile* PatchDescription::FindFile(int fileIndex) const {
    const auto found = std::find_if(Files.begin(), Files.end(),
                                    [&](const DescribedFile& file) { return file.FileIndex == fileIndex; });
    return found == Files.end() ? nullptr : &*found;
}

std::string PatchDescription::At(int line, std::string_view text) const {
    std::string message = Shown(Source);
    if (line > 0) {
        message += ':';
        message += std::to_string(line);
    }
    message += ": ";
    // The text may quote a TOML reader's words about any character of the description.
    message += OneLine(text);
    return message;
}

void CheckDescriptionShape(std::string_view text, const std::string& source) {
    if (text.size() > kMaxDescriptionBytes) {
        throw DescriptionError(Shown(source) + ": " + std::to_string(text.size()) + " bytes, more than the " +
                               std::to_string(kMaxDescriptionBytes) + " that a description may have");
    }
    if (const auto problem = ShapeScanner(text).FindProblem(kMaxDescriptionDepth)) {
        throw DescriptionError(Shown(source) + ":" + std::to_string(problem->Line) + ": " + problem->Text);
    }
}

PatchDescription ParsePatchDescription(std::string_view text, const std::string& source) {
    CheckDescriptionShape(text, source);
    PatchDescription description;
    description.Source = source;
    description.Name = std::filesystem::path(source).filename().string();
    toml::table root;
    try {
        root = toml::parse(text, source);
    } catch (const toml::parse_error& error) {
        throw DescriptionError(description.At(static_cast<int>(error.source().begin.line), error.description()));
    }
    Reader(description).Read(root);
    return description;
}

PatchDescription ReadPatchDescription(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    try {
        bytes = ReadRegularFile(path, kMaxDescriptionBytes, "that a description may have");
    } catch (const ReadError& error) {
        throw DescriptionError(Shown(path) + ": cannot be read (" + error.what() + ")");
    }
    return ParsePatchDescription(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), path);
}

}  // namespace patcher::patchkit
