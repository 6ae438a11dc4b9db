// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>

namespace quaymark::platform {

// The desktop's shared services over the session bus. Every call returns at once; without a
// session bus, or when nothing answers, notifications are dropped and the file manager
// requests fall back to opening a folder with the desktop's default handler.

// A desktop notification (org.freedesktop.Notifications).
void postNotification(const QString& summary, const QString& body);

// Runs when nothing could show the folder: no file manager answered and no default handler.
using ShowFailed = std::function<void()>;

// Shows the file manager with `path` selected (org.freedesktop.FileManager1.ShowItems), else
// opens the folder that holds it.
void revealInFileManager(const QString& path, ShowFailed failed);

// Opens `folder` itself in the file manager (ShowFolders), else with the default handler.
void openInFileManager(const QString& folder, ShowFailed failed);

// Opens a PDF with the desktop's default program for it.
void openDocument(const QString& pdf, ShowFailed failed);

} // namespace quaymark::platform
