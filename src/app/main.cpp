// The Tessavo desktop application: one main window over the conversion state,
// and the About window behind the Help menu.
#include "app/console.h"
#include "conversion/core/output/jpeg_output.h"
#include "conversion/job_runner.h"
#include "platform/application_service.h"
#include "platform/desktop_services.h"
#include "platform/local_path.h"
#include "platform/translations.h"
#include "ui/content_view.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QIcon>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QThreadPool>
#include <QtQml/qqmlextensionplugin.h>

#include <csignal>
#include <memory>
#include <string_view>

Q_IMPORT_QML_PLUGIN(TessavoPlugin)

namespace {

// Whether the command line asks for the help or the version, which the
// parser prints before it ends: no display is needed for them (over SSH, in
// a script). Options end at "--", as for the parser.
bool asksForText(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument(argv[i]);
        if (argument == "--")
            return false;
        for (const std::string_view option : {"-h", "-?", "--help", "--help-all", "-v", "--version"})
            if (argument == option)
                return true;
    }
    return false;
}

} // namespace

int main(int argc, char* argv[])
{
    // A reader of the conversion lines that goes away (a closed pipe, a
    // launcher's output) must not end the window and its run.
    ::signal(SIGPIPE, SIG_IGN);
    // The file dialogs are widgets, hence QApplication, which needs a display.
    const std::unique_ptr<QCoreApplication> app(asksForText(argc, argv) ? new QCoreApplication(argc, argv) : new QApplication(argc, argv));
    // These names place the settings and the bookmark store in the user's
    // folders.
    QCoreApplication::setOrganizationName(QStringLiteral("tessavo"));
    QCoreApplication::setApplicationName(QStringLiteral("tessavo"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TESSAVO_VERSION));
    tessavo::installTranslations(QLocale::system());

    QCommandLineParser parser;
    parser.setApplicationDescription(QApplication::translate("main", "Convert HEIC photos to JPEG files"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("files"), QApplication::translate("main", "HEIC photos to list"), QStringLiteral("[FILE...]"));
    parser.process(*app);
    // This name ties the windows to the desktop entry.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(tessavo::kApplicationId));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/Tessavo/icons/app_icon.svg")));
    // The files as the bytes they were given in: the parser's strings turn a
    // name that is not UTF-8 into another. Qt has taken its own options out
    // of argv; the rest are in the parser's order.
    QList<QUrl> files;
    const QStringList named = parser.positionalArguments();
    for (int i = 1; i < argc && files.size() < named.size(); ++i)
        if (QFile::decodeName(argv[i]) == named[files.size()])
            files << tessavo::launchUrl(argv[i]);

    // A window already open in this session takes the files instead.
    tessavo::ApplicationService instance;
    if (!instance.registerInstance() && tessavo::forwardToRunningInstance(files))
        return 0;

    tessavo::ContentView view(tessavo::desktopServices(tessavo::printLine));
    view.openFiles(files);

    QQmlApplicationEngine engine;
    engine.setInitialProperties({{QStringLiteral("contentView"), QVariant::fromValue(&view)}});
    QObject::connect(
        &engine, &QQmlApplicationEngine::objectCreated, app.get(),
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
    QObject::connect(app.get(), &QCoreApplication::aboutToQuit, [&view] {
        view.run()->cancel();
        tessavo::conversionPool()->clear();
        tessavo::conversionPool()->waitForDone();
    });
    engine.load(QUrl(QStringLiteral("qrc:/Tessavo/Main.qml")));
    instance.open = [&view](const QList<QUrl>& urls) { view.openFiles(urls); };
    instance.activate = [&engine](const QString& token) {
        if (auto* window = qobject_cast<QWindow*>(engine.rootObjects().value(0)))
            tessavo::bringForward(window, token);
    };
    return QCoreApplication::exec();
}
