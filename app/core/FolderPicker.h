// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace quaymark {

// Asks the user for a folder. The window fills this with its folder dialog; tests answer
// directly. The completion runs on the main thread, with nothing when the dialog was dismissed.
class FolderPicker {
public:
    virtual ~FolderPicker() = default;
    // `confirm` names the dialog's accept button; `start` is the folder it opens on, where
    // the user is working, or empty.
    virtual void pickFolder(const QString& title, const QString& confirm, const QString& start,
                            std::function<void(std::optional<QString>)> completion) = 0;
};

} // namespace quaymark
