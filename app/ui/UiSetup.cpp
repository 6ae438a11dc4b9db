// SPDX-License-Identifier: GPL-3.0-or-later
#include "UiSetup.h"

#include "IconTable.h"

#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QScreen>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(QuaymarkPlugin)
Q_IMPORT_QML_PLUGIN(QuaymarkModelsPlugin)
Q_IMPORT_QML_PLUGIN(QuaymarkDownloadsPlugin)

namespace quaymark {

std::unique_ptr<QQmlApplicationEngine> makeUiEngine() {
    auto engine = std::make_unique<QQmlApplicationEngine>();
    engine->addImportPath(QStringLiteral("qrc:/"));
    engine->addImageProvider(QStringLiteral("icon"), new IconProvider);
    return engine;
}

QQuickWindow* loadMainWindow(QQmlApplicationEngine& engine, const QVariantMap& properties) {
    engine.setInitialProperties(properties);
    engine.load(mainWindowUrl);
    const auto roots = engine.rootObjects();
    auto* window = roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(roots.constFirst());
    if (window) {
        fitToScreen(window);
    }
    return window;
}

void fitToScreen(QQuickWindow* window) {
    const QSize designedMinimum = window->minimumSize();
    const QSize designedSize = window->size();
    const auto fit = [window, designedMinimum](bool first) {
        const QScreen* screen = window->screen();
        if (!screen) {
            return;
        }
        // The title bar and frame are the desktop's; before the first show their size is not
        // known, so a usual title bar is kept free.
        QMargins frame = window->frameMargins();
        if (frame.isNull()) {
            frame = QMargins(0, 40, 0, 0);
        }
        const QSize room = screen->availableGeometry().size().shrunkBy(frame);
        window->setMinimumSize(designedMinimum.boundedTo(room));
        if (first) {
            window->resize(window->size().boundedTo(room));
        }
    };
    window->resize(designedSize);
    fit(true);
    QObject::connect(window, &QWindow::screenChanged, window, [fit] { fit(false); });
}

} // namespace quaymark
