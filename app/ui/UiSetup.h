// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QUrl>
#include <QVariantMap>

#include <memory>

class QQmlApplicationEngine;
class QQuickWindow;

namespace quaymark {

// The main window's QML file inside the program.
inline const QUrl mainWindowUrl{QStringLiteral("qrc:/Quaymark/Main.qml")};

// An engine that can load the screens: the program's own module, the icon images and the
// model types the screens read.
std::unique_ptr<QQmlApplicationEngine> makeUiEngine();

// Loads the main window with its required properties ("appModel", "downloads", "shell"); null
// with the engine's warnings logged when it cannot be created. Its minimum and first size are
// the designed ones as far as its screen has room for them.
QQuickWindow* loadMainWindow(QQmlApplicationEngine& engine, const QVariantMap& properties);

// Keeps `window`'s minimum size, and its first size, within the available area of the screen it
// is on (as the screen changes too), never above the sizes the window asked for itself.
void fitToScreen(QQuickWindow* window);

} // namespace quaymark
