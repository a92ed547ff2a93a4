#include "tests/e2e/PatcherSession.h"

#include <iconv.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <stdexcept>

#include "profile/ProductProfile.h"
#include "tables/PatchTablesFormat.h"
#include "tests/e2e/HexText.h"
#include "tools/pe/PeResourceStore.h"

namespace patcher::e2e {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// "key=value" words of a report line.
std::map<std::string, std::string> Fields(const std::string& line) {
    std::map<std::string, std::string> fields;
    std::istringstream in(line);
    for (std::string word; in >> word;) {
        if (const std::size_t equals = word.find('='); equals != std::string::npos) {
            fields[word.substr(0, equals)] = word.substr(equals + 1);
        }
    }
    return fields;
}

std::vector<int> Numbers(const std::string& list) {
    std::vector<int> numbers;
    std::istringstream in(list);
    for (std::string part; std::getline(in, part, ',');) {
        numbers.push_back(std::stoi(part));
    }
    return numbers;
}

// The lines of the n-th dump: from its "screen" line up to the next step's "ok".
std::vector<std::string> DumpLines(const std::string& report, std::size_t n) {
    std::istringstream in(report);
    std::vector<std::string> lines;
    std::size_t seen = 0;
    bool inside = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("screen ", 0) == 0) {
            inside = seen++ == n;
        } else if (line.rfind("ok ", 0) == 0) {
            inside = false;
        }
        if (inside) {
            lines.push_back(line);
        }
    }
    return lines;
}

// The user's own folder in the prefix (named after the account that runs Wine).
fs::path UserFolder(const fs::path& driveC) {
    for (const fs::directory_entry& entry : fs::directory_iterator(driveC / "users")) {
        if (entry.is_directory() && entry.path().filename() != "Public") {
            return entry.path();
        }
    }
    throw std::runtime_error("the prefix has no user folder");
}

// The one patcher that `patchkit build` wrote into a folder.
std::filesystem::path BuiltExe(const fs::path& folder) {
    std::vector<fs::path> exes;
    if (fs::is_directory(folder)) {
        for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
            if (entry.path().extension() == ".exe") {
                exes.push_back(entry.path());
            }
        }
    }
    if (exes.size() != 1) {
        throw std::runtime_error(folder.string() + " holds no one patcher that patchkit made: ./run test makes it");
    }
    return exes.front();
}

}  // namespace

DriverScript& DriverScript::Line(const std::string& line) {
    text_ += line + "\n";
    return *this;
}

DriverScript& DriverScript::Start(const std::string& exe) {
    return Line("start " + exe);
}
DriverScript& DriverScript::Hold(const std::string& file) {
    return Line("hold " + file);
}
DriverScript& DriverScript::Writable(const std::string& file) {
    return Line("writable " + file);
}
DriverScript& DriverScript::Click(MainControl button) {
    return Line(std::string("click ") + MainControlName(button));
}
DriverScript& DriverScript::PostClick(MainControl button) {
    return Line(std::string("post-click ") + MainControlName(button));
}
DriverScript& DriverScript::Key(const std::string& key) {
    return Line("key " + key);
}
DriverScript& DriverScript::SendClose() {
    return Line("send-close");
}
DriverScript& DriverScript::ExpectText(MainControl control, ByteStringView text, unsigned codePage) {
    return Line(std::string("expect-text ") + MainControlName(control) + " " + std::to_string(codePage) + " " +
                Hex(text));
}
DriverScript& DriverScript::Expect(MainControl control, const std::string& states) {
    return Line(std::string("expect ") + MainControlName(control) + " " + states);
}
DriverScript& DriverScript::WaitDialog(ByteStringView text, unsigned codePage) {
    return Line("wait-dialog " + std::to_string(codePage) + " " + Hex(text));
}
DriverScript& DriverScript::Answer() {
    return Line("answer");
}
DriverScript& DriverScript::NoDialog() {
    return Line("no-dialog");
}
DriverScript& DriverScript::Dump(LanguageCode language) {
    return Line("dump " + std::to_string(language));
}
DriverScript& DriverScript::Exited(int exitCode) {
    return Line("exited " + std::to_string(exitCode));
}

std::map<std::string, SeenControl> DriverReport::Dump(std::size_t n) const {
    std::map<std::string, SeenControl> controls;
    for (const std::string& line : DumpLines(Text, n)) {
        if (line.rfind("control ", 0) != 0) {
            continue;
        }
        const std::string name = line.substr(8, line.find(' ', 8) - 8);
        std::map<std::string, std::string> fields = Fields(line);
        SeenControl control;
        control.Visible = fields["visible"] == "1";
        control.Enabled = fields["enabled"] == "1";
        control.Down = fields["down"] == "1";
        control.Focused = fields["focused"] == "1";
        control.Fits = fields["fits"] == "1";
        const std::vector<int> rect = Numbers(fields["rect"]);
        if (rect.size() == 4) {
            control.Left = rect[0];
            control.Top = rect[1];
            control.Width = rect[2];
            control.Height = rect[3];
        }
        control.Text = FromHex(fields["text"]);
        controls[name] = control;
    }
    return controls;
}

std::vector<int> DriverReport::DumpNumbers(const std::string& key, std::size_t n) const {
    for (const std::string& line : DumpLines(Text, n)) {
        std::map<std::string, std::string> fields = Fields(line);
        if (const auto found = fields.find(key); found != fields.end()) {
            return Numbers(found->second);
        }
    }
    return {};
}

std::vector<std::string> DriverReport::Dialogs() const {
    std::vector<std::string> texts;
    std::istringstream in(Text);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("dialog ", 0) == 0) {
            std::string text = FromHex(Fields(line)["text"]);
            for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
                text.replace(at, 2, " ");
            }
            texts.push_back(text);
        }
    }
    return texts;
}

fs::path PatcherExe(const std::string& patch) {
    return BuiltExe(fs::path(PATCHER_PATCHES_DIR) / (patch.empty() ? std::string(kEnglishPatch) : patch) /
                    PATCHER_WINDOWS_PRESET);
}

const WindowsPrograms& Programs() {
    static const WindowsPrograms programs = [] {
        const fs::path build = PATCHER_WINDOWS_BUILD_DIR;
        WindowsPrograms found{build / "tests" / "e2e" / "patcher_driver.exe",
                              build / "tools" / "record" / "patcher-record.exe"};
        for (const fs::path& program : {found.Driver, found.RecordWriter}) {
            if (!fs::exists(program)) {
                throw std::runtime_error("the Windows build in " + build.string() + " lacks " + program.string() +
                                         ": build that Windows preset first");
            }
        }
        return found;
    }();
    return programs;
}

Installation::Installation(std::string locale, const fs::path& patcher)
    : prefix_(std::make_unique<WinePrefix>(locale)), locale_(std::move(locale)) {
    fs::create_directories(Folder());
    fs::create_directories(Downloads());
    const fs::path downloaded = Downloads() / patcher.filename();
    fs::copy_file(patcher, downloaded);
    patcher_ = prefix_->WindowsPath(downloaded);
}

fs::path Installation::Downloads() const {
    return UserFolder(prefix_->DriveC()) / "Downloads";
}

fs::path Installation::Folder() const {
    return prefix_->DriveC() / "Program Files (x86)" / "Vokarion";
}

std::string Installation::WindowsFolder() const {
    return prefix_->WindowsPath(Folder()) + "\\";
}

void Installation::Put(ByteStringView name, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(File(name), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + File(name).string());
    }
}

void Installation::Record(const std::string& hive, int productIndex, const std::string& windowsDir) {
    if (prefix_->Wine(Programs().RecordWriter, {"--hive=" + hive, std::to_string(productIndex), windowsDir}) != 0) {
        throw std::runtime_error("the registry record could not be written:\n" + prefix_->Log());
    }
}

void Installation::RecordAsAPolishInstaller(const std::string& hive, int productIndex, ByteStringView windows1250Dir) {
    std::string hex;
    for (const char c : windows1250Dir) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        hex += kDigits[static_cast<unsigned char>(c) >> 4];
        hex += kDigits[static_cast<unsigned char>(c) & 0xF];
    }
    const std::string locale = locale_;
    prefix_->SetLocale("pl_PL.UTF-8");
    const int written = prefix_->Wine(
        Programs().RecordWriter, {"--hive=" + hive, "--code-page=1250", "--hex", std::to_string(productIndex), hex});
    prefix_->SetLocale(locale);
    if (written != 0) {
        throw std::runtime_error("the registry record could not be written by a Polish installer:\n" + prefix_->Log());
    }
}

void Installation::SetDpi(int dpi) {
    if (prefix_->WineTool({"reg", "add", "HKCU\\Control Panel\\Desktop", "/v", "LogPixels", "/t", "REG_DWORD", "/d",
                           std::to_string(dpi), "/f"}) != 0) {
        throw std::runtime_error("the resolution could not be set:\n" + prefix_->Log());
    }
    prefix_->Restart();
}

fs::path Installation::StartMenuPrograms() const {
    return UserFolder(prefix_->DriveC()) / "AppData" / "Roaming" / "Microsoft" / "Windows" / "Start Menu" / "Programs";
}

std::vector<fs::path> Installation::Shortcuts() const {
    std::vector<fs::path> links;
    for (const fs::directory_entry& entry :
         fs::recursive_directory_iterator(prefix_->DriveC(), fs::directory_options::skip_permission_denied)) {
        if (entry.is_regular_file() && entry.path().extension() == ".lnk") {
            links.push_back(entry.path());
        }
    }
    return links;
}

DriverReport Installation::Run(const DriverScript& script) {
    const std::string name = "run" + std::to_string(++runs_);
    const fs::path scriptPath = prefix_->Root().parent_path() / (name + ".script");
    const fs::path reportPath = prefix_->Root().parent_path() / (name + ".report");
    std::ofstream(scriptPath, std::ios::trunc) << script.Text();
    DriverReport report;
    report.ExitCode =
        prefix_->Wine(Programs().Driver, {"run", prefix_->WindowsPath(scriptPath), prefix_->WindowsPath(reportPath)});
    report.Text = "\n" + ReadText(reportPath);
    if (!report.Completed()) {
        report.Text += "\n--- driver exit code " + std::to_string(report.ExitCode) + ", script:\n" + script.Text() +
                       "--- Wine:\n" + prefix_->Log();
    }
    return report;
}

int Installation::RunPatcher(const std::vector<std::string>& arguments) {
    // Started unattended, the patcher must never wait for anyone: one still running long after is a failure.
    return prefix_->Wine(Downloads() / fs::path(patcher_.substr(patcher_.find_last_of('\\') + 1)), arguments,
                         std::chrono::seconds(90));
}

std::vector<std::uint8_t> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> FileNames(const fs::path& folder) {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

const PatchTables& TablesOf(const std::string& patch) {
    static std::map<std::string, PatchTables> read;
    const auto found = read.find(patch);
    if (found != read.end()) {
        return found->second;
    }
    const std::unique_ptr<pe::PeResourceStore> resources = pe::PeResourceStore::FromFile(PatcherExe(patch));
    return read.emplace(patch, LoadPatchTables(*resources)).first->second;
}

const std::vector<std::uint8_t>& Standin(int fileIndex, int version) {
    static std::map<std::pair<int, int>, std::vector<std::uint8_t>> cache;
    auto& bytes = cache[{fileIndex, version}];
    if (bytes.empty()) {
        const fs::path dir = fs::path(PATCHER_STANDIN_DIR) / std::to_string(fileIndex) / std::to_string(version);
        bytes = ReadBytes(dir / std::string(FileName(fileIndex)));
        if (bytes.empty()) {
            throw std::runtime_error("no stand-in in " + dir.string());
        }
    }
    return bytes;
}

std::string Utf8FromWindows1250(ByteStringView bytes) {
    iconv_t converter = ::iconv_open("UTF-8", "CP1250");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        throw std::runtime_error("this system cannot convert from Windows-1250");
    }
    std::string in(bytes);
    std::string out(in.size() * 3, '\0');
    char* from = in.data();
    char* to = out.data();
    std::size_t fromLeft = in.size();
    std::size_t toLeft = out.size();
    const std::size_t converted = ::iconv(converter, &from, &fromLeft, &to, &toLeft);
    ::iconv_close(converter);
    if (converted == static_cast<std::size_t>(-1)) {
        throw std::runtime_error("not Windows-1250 text");
    }
    out.resize(out.size() - toLeft);
    return out;
}

}  // namespace patcher::e2e
