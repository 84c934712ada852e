// The Tessavo desktop application: one main window over the conversion state,
// and the About window behind the Help menu.
#include "app/console.h"
#include "conversion/core/jpeg_output.h"
#include "conversion/job_runner.h"
#include "platform/desktop_services.h"
#include "platform/translations.h"
#include "ui/content_view.h"

#include <QApplication>
#include <QIcon>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QThreadPool>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(TessavoPlugin)

int main(int argc, char* argv[])
{
    // The file dialogs are widgets, hence QApplication.
    QApplication app(argc, argv);
    // These names place the settings and the bookmark store in the user's
    // folders, and tie the windows to tessavo.desktop.
    QApplication::setOrganizationName(QStringLiteral("tessavo"));
    QApplication::setApplicationName(QStringLiteral("tessavo"));
    QApplication::setApplicationVersion(QStringLiteral(TESSAVO_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("tessavo"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/Tessavo/icons/app_icon.svg")));
    tessavo::installTranslations(QLocale::system());

    tessavo::ContentView view(tessavo::desktopServices(tessavo::printLine));

    QQmlApplicationEngine engine;
    engine.setInitialProperties({{QStringLiteral("contentView"), QVariant::fromValue(&view)}});
    QObject::connect(
        &engine, &QQmlApplicationEngine::objectCreated, &app,
        [](QObject* object, const QUrl&) {
            if (!object) {
                QCoreApplication::exit(1);
                return;
            }
            // An open About window must not keep the application running
            // once the main window is closed.
            if (auto* window = qobject_cast<QQuickWindow*>(object))
                QObject::connect(window, &QWindow::visibleChanged, qApp, [](bool visible) {
                    if (!visible)
                        QCoreApplication::quit();
                });
        },
        Qt::QueuedConnection);
    // Quitting drops the conversions that have not started; those under way
    // finish, so no temporary file is left behind and the state they report
    // to still exists.
    // Killed instead: no hidden temporary file stays behind either.
    tessavo::removeTemporariesOnSignals();
    QObject::connect(&app, &QCoreApplication::aboutToQuit, [&view] {
        view.cancelConversion();
        tessavo::conversionPool()->clear();
        tessavo::conversionPool()->waitForDone();
    });
    engine.load(QUrl(QStringLiteral("qrc:/Tessavo/Main.qml")));
    return app.exec();
}
