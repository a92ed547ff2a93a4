#include "tools/patchkit/DescriptionReader.h"

#include <toml++/toml.h>
#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <limits>
#include <optional>

#include "common/Windows1250.h"
#include "engine/SignatureTables.h"
#include "engine/UDer.h"
#include "tables/PatchTables.h"
#include "tables/PatchTablesFormat.h"
#include "tools/patchkit/DescriptionShape.h"
#include "tools/patchkit/FamilyUpdates.h"
#include "tools/patchkit/InputFiles.h"
#include "tools/patchkit/MessageText.h"
#include "tools/patchkit/Utf8Path.h"
#include "tools/patchkit/Windows1250Text.h"

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

// Where line `line` (from 1) of a text begins; the text's end for a line past it.
std::size_t LineStart(std::string_view text, int line) {
    std::size_t at = 0;
    for (int current = 1; current < line && at < text.size(); ++current) {
        const std::size_t end = text.find('\n', at);
        at = end == std::string_view::npos ? text.size() : end + 1;
    }
    return at;
}

std::string_view LineAt(std::string_view text, int line) {
    const std::string_view rest = text.substr(LineStart(text, line));
    return rest.substr(0, rest.find('\n'));
}

// A key as the description writes it (8, "8", 008), from the place where the reader found it on `lineText`.
std::string WrittenKey(std::string_view lineText, const toml::key& key) {
    const toml::source_region& place = key.source();
    if (place.begin.line != place.end.line || place.end.column <= place.begin.column ||
        place.end.column - 1 > lineText.size()) {
        return std::string(key.str());
    }
    return std::string(lineText.substr(place.begin.column - 1, place.end.column - place.begin.column));
}

std::string DescribedAgain(int fileIndex, std::string_view written, std::string_view earlier, int earlierLine) {
    return "File." + Shown(written) + " describes file " + std::to_string(fileIndex) + " again, as File." +
           Shown(earlier) + " on line " + std::to_string(earlierLine) + " does";
}

// The TOML reader refuses a table header that names a table again ([File.8], then [File."8"]), in words that
// garble a quoted key ('File."1010"' for [File."10"]). Where the header on `line` describes a file that the
// lines before it describe already, this names both places as the reader's own check of two entries for one
// file does; else nullopt.
std::optional<std::string> FileDescribedAgain(std::string_view text, int line) {
    const std::string_view header = LineAt(text, line);
    toml::table alone;
    toml::table before;
    try {
        alone = toml::parse(header);
        before = toml::parse(text.substr(0, LineStart(text, line)));
    } catch (const toml::parse_error&) {
        return std::nullopt;
    }
    const toml::node* files = alone.get("File");
    const toml::node* earlier = before.get("File");
    if (files == nullptr || !files->is_table() || files->as_table()->size() != 1 || earlier == nullptr ||
        !earlier->is_table()) {
        return std::nullopt;
    }
    // The iterator holds what it points to: it is kept while key and node are used.
    const auto only = files->as_table()->begin();
    const toml::key& key = only->first;
    const toml::node& node = only->second;
    const std::optional<int> fileIndex = FileIndexOf(key.str());
    if (!fileIndex || !node.is_table() || !node.as_table()->empty()) {
        return std::nullopt;
    }
    for (const auto& [other, value] : *earlier->as_table()) {
        if (FileIndexOf(other.str()) == fileIndex) {
            return DescribedAgain(*fileIndex, WrittenKey(header, key), WrittenKey(LineAt(text, LineOf(other)), other),
                                  LineOf(other));
        }
    }
    return std::nullopt;
}

// A number as the description writes it in a key: decimal digits alone (no sign, no blank), leading zeros
// allowed; nullopt for anything else.
std::optional<int> NumberOf(std::string_view written) {
    if (written.empty() || written.size() > 9 ||
        !std::all_of(written.begin(), written.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    int value = 0;
    for (const char c : written) {
        value = value * 10 + (c - '0');
    }
    return value;
}

// What is wrong with a version as the description gives it, to continue "UpdateVersion "x" ..."; nullopt for
// a version that version information holds: one to four numbers of 0 to 65535, joined by dots, each written
// without a sign, a blank or a leading zero.
std::optional<std::string> VersionProblem(std::string_view version) {
    std::vector<std::string_view> numbers;
    for (std::size_t start = 0;;) {
        const std::size_t dot = version.find('.', start);
        numbers.push_back(version.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
        if (dot == std::string_view::npos) {
            break;
        }
        start = dot + 1;
    }
    if (numbers.size() > 4) {
        return "has " + std::to_string(numbers.size()) + " numbers; version information holds four at most";
    }
    for (const std::string_view number : numbers) {
        if (number.empty() || !std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            return std::string("must be numbers joined by dots, such as \"1.5.4\", without signs, blanks or letters");
        }
        if (number.size() > 1 && number.front() == '0') {
            return "writes " + std::string(number) + " with a leading zero";
        }
        if (number.size() > 5 || NumberOf(number) > 65535) {
            return "holds " + std::string(number) + ", more than the 65535 that version information holds";
        }
    }
    return std::nullopt;
}

// Turns the parsed document into a PatchDescription, refusing whatever does not fit. Every refusal names
// the line of the value or key at fault.
class Reader {
  public:
    explicit Reader(PatchDescription& description) : description_(description) {}

    void Read(const toml::table& root) {
        OnlyKeys(root,
                 {"ProductIndex", "ProductLanguage", "ProductKind", "UpdateIndex", "UpdateTitle", "UpdateVersion",
                  "SelectedFiles", "File"},
                 "",
                 "a description holds ProductIndex, ProductLanguage, ProductKind, UpdateIndex, UpdateTitle, "
                 "UpdateVersion, SelectedFiles and File");
        description_.ProductIndex =
            static_cast<std::int32_t>(Integer(Required(root, "ProductIndex"), "ProductIndex", 1, 10));
        description_.ProductLanguage =
            static_cast<LanguageCode>(Integer(Required(root, "ProductLanguage"), "ProductLanguage", 1, 3));
        description_.ProductKind =
            static_cast<std::int32_t>(Integer(Required(root, "ProductKind"), "ProductKind", 1, 6));
        const toml::node& updateNode = Required(root, "UpdateIndex");
        description_.UpdateIndex = static_cast<std::uint8_t>(Integer(updateNode, "UpdateIndex", 1, kFileCount));
        ReadUpdateTexts(root);
        if (const toml::node* files = root.get("File")) {
            ReadFiles(*files);
        }
        ReadSelection(Required(root, "SelectedFiles"));
        // The window names the product and version that the update brings by the row of one of its files.
        const std::vector<int>& selected = description_.SelectedFiles;
        if (std::find(selected.begin(), selected.end(), description_.UpdateIndex) == selected.end()) {
            const std::string file = "file " + std::to_string(description_.UpdateIndex);
            Fail(LineOf(updateNode), "UpdateIndex = " + std::to_string(description_.UpdateIndex) +
                                         " is not one of SelectedFiles: the window shows the product and version of " +
                                         file + ", and the update brings no " + file);
        }
    }

  private:
    [[noreturn]] void Fail(int line, const std::string& text) const { description_.Refuse(line, text); }

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

    // The update's title and version: as the description gives them, else the family's for UpdateIndex.
    void ReadUpdateTexts(const toml::table& root) {
        const FamilyUpdate& family = FamilyUpdateOf(description_.UpdateIndex);
        description_.UpdateTitle = {Windows1250FromUtf8(family.PolishTitle), Windows1250FromUtf8(family.ForeignTitle)};
        description_.UpdateVersion = Windows1250FromUtf8(family.Version);
        if (const toml::node* node = root.get("UpdateTitle")) {
            const toml::array* titles = node->as_array();
            if (titles == nullptr) {
                Fail(LineOf(*node), "UpdateTitle must be an array of the Polish and the foreign title, not " +
                                        std::string(TypeName(node->type())));
            }
            if (titles->size() != 2) {
                Fail(LineOf(*node), "UpdateTitle gives " + std::to_string(titles->size()) +
                                        " titles; it takes two, the Polish and the foreign one");
            }
            description_.UpdateTitle = {ShownText((*titles)[0], "UpdateTitle's Polish title"),
                                        ShownText((*titles)[1], "UpdateTitle's foreign title")};
            description_.UpdateTitleLine = LineOf(*node);
        }
        if (const toml::node* node = root.get("UpdateVersion")) {
            const auto* text = node->as_string();
            if (text == nullptr) {
                Fail(LineOf(*node),
                     "UpdateVersion must be a string such as \"1.5.4\", not " + std::string(TypeName(node->type())));
            }
            if (const std::optional<std::string> problem = VersionProblem(text->get())) {
                Fail(LineOf(*node), "UpdateVersion " + Quoted(text->get()) + " " + *problem);
            }
            description_.UpdateVersion = text->get();  // digits and dots, the same in Windows-1250
            description_.UpdateVersionLine = LineOf(*node);
        }
    }

    // A text that the window and the log show, from a string of the description in UTF-8.
    ByteString ShownText(const toml::node& node, const std::string& what) const {
        const auto* text = node.as_string();
        if (text == nullptr) {
            Fail(LineOf(node), what + " must be a string, not " + TypeName(node.type()));
        }
        if (text->get().empty()) {
            Fail(LineOf(node), what + " is empty");
        }
        ByteString converted;
        try {
            converted = Windows1250FromUtf8(text->get());
        } catch (const NotWindows1250& refusal) {
            Fail(LineOf(node), what + " " + refusal.what());
        }
        if (!std::all_of(converted.begin(), converted.end(),
                         [](char c) { return IsShownWindows1250(static_cast<std::uint8_t>(c)); })) {
            Fail(LineOf(node), what + " holds a control character, which would break a line of the window or the log");
        }
        if (converted.size() > kMaxTableTextBytes) {
            Fail(LineOf(node), what + " has " + std::to_string(converted.size()) + " letters, more than the " +
                                   std::to_string(kMaxTableTextBytes) + " that the patcher's tables hold");
        }
        return converted;
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
                Fail(LineOf(key), "File." + Shown(name) + ": file indices go from 1 to 12, without leading zeros");
            }
            entries.push_back({*fileIndex, name, LineOf(key), &value});
        }
        std::stable_sort(entries.begin(), entries.end(),
                         [](const Entry& a, const Entry& b) { return a.Line < b.Line; });
        for (std::size_t i = 0; i < entries.size(); ++i) {
            for (std::size_t j = 0; j < i; ++j) {
                if (entries[j].FileIndex == entries[i].FileIndex) {
                    Fail(entries[i].Line,
                         DescribedAgain(entries[i].FileIndex, entries[i].Name, entries[j].Name, entries[j].Line));
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
        const toml::table* versions = versionsNode->as_table();
        if (versions == nullptr) {
            Fail(LineOf(*versionsNode),
                 prefix +
                     "Versions must be a table that gives each build its number, as { 1 = \"1/1/VokarEn.exe\" }, " +
                     "not " + TypeName(versionsNode->type()) +
                     (versionsNode->is_array() ? ": a build's number never follows from its place in a list" : ""));
        }
        if (versions->empty()) {
            Fail(LineOf(*versionsNode), prefix + "Versions lists no build");
        }
        DescribedFile file{fileIndex, {}, line, std::nullopt, 0};
        if (const toml::node* split = table->get("FirstSlotBytes")) {
            file.FirstSlotBytes =
                static_cast<std::int32_t>(Integer(*split, prefix + "FirstSlotBytes", 1, UnpackCapacity));
            file.FirstSlotLine = LineOf(*split);
        }
        // In the order written, so that of two entries for one number the later one is named.
        struct Entry {
            int Number;
            std::string_view Name;
            int Line;
            int Column;
            const toml::node* Node;
        };
        std::vector<Entry> entries;
        for (const auto& [key, value] : *versions) {
            const std::optional<int> number = NumberOf(key.str());
            if (!number || *number < 1 || *number > kMaxVersions) {
                Fail(LineOf(key), prefix + "Versions." + Shown(key.str()) + ": build numbers go from 1 to " +
                                      std::to_string(kMaxVersions));
            }
            entries.push_back({*number, key.str(), LineOf(key), static_cast<int>(key.source().begin.column), &value});
        }
        std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
            return a.Line != b.Line ? a.Line < b.Line : a.Column < b.Column;
        });
        for (std::size_t i = 0; i < entries.size(); ++i) {
            for (std::size_t j = 0; j < i; ++j) {
                if (entries[j].Number == entries[i].Number) {
                    Fail(entries[i].Line, prefix + "Versions." + Shown(entries[i].Name) + " gives build " +
                                              std::to_string(entries[i].Number) + " again, as Versions." +
                                              Shown(entries[j].Name) + " on line " + std::to_string(entries[j].Line) +
                                              " does");
                }
            }
            file.Builds.push_back(ReadBuild(fileIndex, entries[i].Number, *entries[i].Node, entries[i].Line, defaults));
        }
        // The newest build is the highest number, wherever it is written.
        std::sort(file.Builds.begin(), file.Builds.end(),
                  [](const DescribedBuild& a, const DescribedBuild& b) { return a.Version < b.Version; });
        description_.Files.push_back(std::move(file));
    }

    // A build is its path, or a table with its Path and its own Leading samples where they differ from the
    // file's. Its number is its key in Versions.
    DescribedBuild ReadBuild(int fileIndex,
                             int number,
                             const toml::node& node,
                             int line,
                             const DescribedBuild& defaults) {
        DescribedBuild build = defaults;
        build.Line = line;
        build.Version = number;
        const std::string prefix = "file " + std::to_string(fileIndex) + " version " + std::to_string(number) + ": ";
        const toml::node* path = &node;
        if (const toml::table* table = node.as_table()) {
            if (const toml::node* version = table->get("Version")) {
                Fail(LineOf(*version), prefix + "a build's number is its key in Versions, not a Version of its own");
            }
            OnlyKeys(*table, {"Path", "Leading"}, prefix, "a build holds Path and Leading");
            path = table->get("Path");
            if (path == nullptr) {
                Fail(build.Line, prefix + "a build without Path");
            }
            if (const toml::node* leading = table->get("Leading")) {
                ReadLeading(*leading, prefix, build);
            }
        } else if (!node.is_string()) {
            Fail(build.Line, prefix + "a build is its path or a table with Path, not " + TypeName(node.type()));
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

PatchDescription ParsePatchDescription(std::string_view text, const std::string& source) {
    CheckDescriptionShape(text, source);
    PatchDescription description;
    description.Source = source;
    description.Name = Utf8Of(PathFromUtf8(source).filename());
    toml::table root;
    try {
        root = toml::parse(text, source);
    } catch (const toml::parse_error& error) {
        const int line = static_cast<int>(error.source().begin.line);
        const std::optional<std::string> again = error.description().find("redefine") != std::string_view::npos
                                                     ? FileDescribedAgain(text, line)
                                                     : std::nullopt;
        description.Refuse(line, again ? *again : error.description());
    }
    Reader(description).Read(root);
    return description;
}

PatchDescription ReadPatchDescription(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    try {
        bytes = ReadRegularFile(PathFromUtf8(path), kMaxDescriptionBytes, "that a description may have");
    } catch (const ReadError& error) {
        throw DescriptionError(Shown(path) + ": cannot be read (" + error.what() + ")");
    }
    return ParsePatchDescription(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), path);
}

}  // namespace patcher::patchkit
