// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "TestFiles.h"

#include <QByteArray>
#include <QtGlobal>

#include <filesystem>

namespace quaymark::test {

// Points XDG_DATA_HOME at a fresh folder for one test (child processes inherit it) and restores
// it afterwards.
class ShellTestHome {
public:
    ShellTestHome()
        : saved_(qgetenv("XDG_DATA_HOME")) {
        qputenv("XDG_DATA_HOME", QByteArray(home_.path().c_str()));
    }
    ~ShellTestHome() { qputenv("XDG_DATA_HOME", saved_); }
    ShellTestHome(const ShellTestHome&) = delete;
    ShellTestHome& operator=(const ShellTestHome&) = delete;

    const std::filesystem::path& home() const { return home_.path(); }
    std::filesystem::path data() const { return home_ / "Brindleway Quaymark"; }

private:
    QByteArray saved_;
    TempDir home_;
};

} // namespace quaymark::test
