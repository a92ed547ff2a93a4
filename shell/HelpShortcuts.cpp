#include "shell/HelpShortcuts.h"

#include <array>
#include <stdexcept>
#include <string>
#include <utility>

#include "platform/PlatformError.h"
#include "profile/ProductKinds.h"
#include "shell/StartMenu.h"

namespace patcher {
namespace {

constexpr int kProductCount = 10;

// One row per product: columns 0..2 hold the Polish group name, column 3 the German one (which differs only
// for the German editions, products 4 and 5); the languages after German have no group of their own. This
// file is stored in Windows-1250 by the build.
struct GroupNames {
    ByteStringView Polish;
    ByteStringView German;
};
constexpr std::array<GroupNames, kProductCount> kGroupNames = {{
    {"Vokarion Języka Francuskiego", "Vokarion Języka Francuskiego"},
    {"Vokarion Języka Angielskiego", "Vokarion Języka Angielskiego"},
    {"Vokarion Języka Angielskiego", "Vokarion Języka Angielskiego"},
    {"Vokarion Języka Niemieckiego", "Vokarion Deutsch-Polnisch"},
    {"Vokarion Niemiecki Biurowy", "Vokarion Deutsch für das Büro"},
    {"Vokarion Języka Angielskiego 2", "Vokarion Języka Angielskiego 2"},
    {},
    {},
    {},
    {},
}};

struct HelpTopic {
    ByteStringView PolishFile;
    ByteStringView GermanFile;
    ByteStringView OlderShortcut;
    ByteStringView PolishShortcut;
    ByteStringView GermanShortcut;
};
constexpr std::array<HelpTopic, 2> kHelpTopics = {{
    {"Vokar.chm", "VokarD.chm", "Hilfedatei des Übersetzungsprogramms.lnk",
     "Hilfedatei des Übersetzungsprogramms (Polnisch).lnk", "Hilfedatei des Übersetzungsprogramms (Deutsch).lnk"},
    {"Sl_Zew.chm", "Sl_ZewD.chm", "Hilfedatei des Wörterbuchs.lnk", "Hilfedatei des Wörterbuchs (Polnisch).lnk",
     "Hilfedatei des Wörterbuchs (Deutsch).lnk"},
}};

void ReplaceTopicShortcuts(const HelpTopic& topic,
                           ByteStringView installDir,
                           const ByteString& group,
                           FileSystem& files,
                           Shell& shell,
                           std::vector<ShortcutProblem>& problems) {
    const ByteString polishFile = JoinPath(installDir, topic.PolishFile);
    const ByteString germanFile = JoinPath(installDir, topic.GermanFile);
    bool bothThere = true;
    for (const ByteString& file : {polishFile, germanFile}) {
        if (!files.FileExists(file)) {
            problems.push_back({file, ShortcutProblem::Kind::HelpFileMissing});
            bothThere = false;
        }
    }
    if (!bothThere) {
        return;
    }
    const ByteString olderShortcut = JoinPath(group, topic.OlderShortcut);
    if (files.FileExists(olderShortcut)) {
        try {
            shell.RemoveFile(olderShortcut);
        } catch (const PlatformError& error) {
            // In use or not ours to delete: the new shortcuts are made all the same.
            problems.push_back({olderShortcut, ShortcutProblem::Kind::NotRemoved, error.SystemCode()});
        }
    }
    for (const auto& [target, shortcut] :
         {std::pair(polishFile, topic.PolishShortcut), std::pair(germanFile, topic.GermanShortcut)}) {
        const ByteString link = JoinPath(group, shortcut);
        unsigned long failure = 0;
        if (!CreateShellLink(target, link, shell, &failure)) {
            problems.push_back({link, ShortcutProblem::Kind::NotMade, failure});
        }
    }
}

}  // namespace

ByteStringView StartMenuGroupName(int productIndex, LanguageCode language) {
    if (productIndex < 1 || productIndex > kProductCount || language >= kLanguageCount) {
        throw std::out_of_range("StartMenuGroupName has no cell " + std::to_string(productIndex) + "/" +
                                std::to_string(language));
    }
    const GroupNames& names = kGroupNames[static_cast<std::size_t>(productIndex - 1)];
    if (language <= kFrench) {
        return names.Polish;
    }
    return language == kGerman ? names.German : ByteStringView();
}

std::vector<ShortcutProblem> CreateHelpShortcuts(const ProductProfile& profile,
                                                 ByteStringView installDir,
                                                 Registry& registry,
                                                 FileSystem& files,
                                                 Shell& shell) noexcept {
    std::vector<ShortcutProblem> problems;
    if (!MakesHelpShortcuts(profile.ProductKind)) {
        return problems;
    }
    try {
        const ByteString programs = ReadProgramsFolder(registry);
        if (programs.empty()) {
            problems.push_back({{}, ShortcutProblem::Kind::NoProgramsFolder});
            return problems;
        }
        // The group's name is always the German one, whatever language the window shows. A product without
        // a group name has its shortcuts in the Programs folder itself.
        const ByteString group = JoinPath(programs, StartMenuGroupName(profile.ProductIndex, kGerman));
        if (!files.DirectoryExists(group)) {
            problems.push_back({group, ShortcutProblem::Kind::NoGroupFolder});
            return problems;
        }
        // Without a folder the run has said so already: no help file can be there.
        if (installDir.empty()) {
            return problems;
        }
        for (const HelpTopic& topic : kHelpTopics) {
            try {
                ReplaceTopicShortcuts(topic, installDir, group, files, shell, problems);
            } catch (...) {
                // Each topic stands on its own.
            }
        }
    } catch (...) {
        // Nothing of this step is ever shown.
    }
    return problems;
}

}  // namespace patcher
