// SPDX-License-Identifier: GPL-3.0-or-later
#include "UiSetup.h"

#include "IconTable.h"
#include "app/model/AppModel.h"

#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QScreen>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(QuaymarkPlugin)

namespace quaymark {

namespace {

void registerModelTypes() {
    static const bool registered = [] {
        // Only so that the screens can read them and lists of them; QML never creates them.
        const char* uri = "Quaymark.Models";
        qmlRegisterAnonymousType<AppModel>(uri, 1);
        qmlRegisterAnonymousType<ImportBatch>(uri, 1);
        qmlRegisterAnonymousType<DestinationJob>(uri, 1);
        qmlRegisterAnonymousType<BrowserEntryModel>(uri, 1);
        return true;
    }();
    (void)registered;
}

} // namespace

std::unique_ptr<QQmlApplicationEngine> makeUiEngine() {
    registerModelTypes();
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
