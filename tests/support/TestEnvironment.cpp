// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestEnvironment.h"

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace quaymark::test {

void isolateHome() {
    const std::filesystem::path home = QUAYMARK_TEST_HOME;
    const std::pair<const char*, std::filesystem::path> folders[] = {
        {"HOME", home},
        {"XDG_DATA_HOME", home / ".local/share"},
        {"XDG_CONFIG_HOME", home / ".config"},
        {"XDG_CACHE_HOME", home / ".cache"},
        {"XDG_STATE_HOME", home / ".local/state"},
        {"XDG_RUNTIME_DIR", home / "runtime"},
    };
    for (const auto& [name, folder] : folders) {
        std::filesystem::create_directories(folder);
        ::setenv(name, folder.c_str(), 1);
    }
    std::filesystem::permissions(home / "runtime", std::filesystem::perms::owner_all);
    // Never the desktop's own session bus, with its portal and notifications: a test that
    // needs a bus runs again in a child on a bus of its own (marked as in BusChild.h).
    if (!::getenv("QUAYMARK_TEST_CHILD")) {
        const std::string nowhere = "unix:path=" + (home / "runtime/no-bus").string();
        ::setenv("DBUS_SESSION_BUS_ADDRESS", nowhere.c_str(), 1);
    }
}

} // namespace quaymark::test
