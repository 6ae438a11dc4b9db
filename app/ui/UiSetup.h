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

// Loads the main window with its required properties ("model", "downloads", "shell"); null
// with the engine's warnings logged when it cannot be created.
QQuickWindow* loadMainWindow(QQmlApplicationEngine& engine, const QVariantMap& properties);

} // namespace quaymark
