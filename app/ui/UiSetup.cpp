#include "UiSetup.h"

#include "IconTable.h"
#include "app/model/AppModel.h"

#include <QQmlApplicationEngine>
#include <QQuickWindow>
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
    return roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(roots.constFirst());
}

} // namespace quaymark
