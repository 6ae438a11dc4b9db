// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/core/FolderPicker.h"

#include <QString>

#include <functional>
#include <optional>

namespace quaymark::test {

// Answers folder dialogs with whatever the test set, at once or when the test says so.
class AnsweringPicker : public FolderPicker {
public:
    std::optional<QString> answer;
    bool deferred = false;
    std::function<void(std::optional<QString>)> pending;

    void pickFolder(const QString& /*title*/, const QString& /*confirm*/, const QString& /*start*/,
                    std::function<void(std::optional<QString>)> completion) override {
        if (deferred) {
            pending = std::move(completion);
        } else {
            completion(answer);
        }
    }
};

} // namespace quaymark::test
