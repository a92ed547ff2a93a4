#pragma once

#include <string>

#include "tests/e2e/PatcherSession.h"

namespace patcher::e2e {

// The German edition as its installer leaves it, for the scenarios of the patchers that update it.
struct GermanProduct {
    static constexpr int kProductIndex = 4;  // the row of ProductKeyTable that its installer records under

    // A German-speaking user's installation, for the patcher made from the description `patch`.
    static Installation Install(const std::string& patch) { return Installation("de_AT.UTF-8", PatcherExe(patch)); }
    // The record that its installer writes for the current user, naming the installation's folder.
    static void Record(Installation& installation) {
        installation.Record("hkcu", kProductIndex, installation.WindowsFolder());
    }
};

}  // namespace patcher::e2e
