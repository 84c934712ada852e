#include "platform/application_service.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QGuiApplication>
#include <QUrl>
#include <QWindow>

namespace tessavo {

namespace {

QString objectPath() { return u'/' + QString::fromLatin1(kApplicationId).replace(u'.', u'/'); }

QString tokenOf(const QVariantMap& platformData)
{
    const QString token = platformData.value(QStringLiteral("activation-token")).toString();
    return token.isEmpty() ? platformData.value(QStringLiteral("desktop-startup-id")).toString() : token;
}

} // namespace

ApplicationService::~ApplicationService()
{
    if (m_registered)
        QDBusConnection::sessionBus().unregisterObject(objectPath());
}

bool ApplicationService::registerInstance()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return true;
    // The object first, so a launch that finds the name finds it served.
    m_registered = bus.registerObject(objectPath(), this, QDBusConnection::ExportAllSlots);
    if (bus.registerService(QString::fromLatin1(kApplicationId)))
        return true;
    if (bus.interface()->isServiceRegistered(QString::fromLatin1(kApplicationId)))
        return false;
    return true; // the bus refused the name for another reason: stand alone
}

void ApplicationService::Activate(const QVariantMap& platformData)
{
    if (activate)
        activate(tokenOf(platformData));
}

void ApplicationService::Open(const QStringList& uris, const QVariantMap& platformData)
{
    QList<QUrl> urls;
    for (const QString& uri : uris)
        urls << QUrl(uri);
    if (open)
        open(urls);
    Activate(platformData);
}

void ApplicationService::ActivateAction(const QString&, const QVariantList&, const QVariantMap& platformData)
{
    // No actions are declared; whatever is asked, the window comes forward.
    Activate(platformData);
}

bool forwardToRunningInstance(const QList<QUrl>& urls)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QVariantMap platformData;
    if (const QString token = qEnvironmentVariable("XDG_ACTIVATION_TOKEN"); !token.isEmpty())
        platformData.insert(QStringLiteral("activation-token"), token);
    if (const QString id = qEnvironmentVariable("DESKTOP_STARTUP_ID"); !id.isEmpty())
        platformData.insert(QStringLiteral("desktop-startup-id"), id);
    QStringList uris;
    for (const QUrl& url : urls)
        uris << url.toString(QUrl::FullyEncoded);
    const QString method = uris.isEmpty() ? QStringLiteral("Activate") : QStringLiteral("Open");
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(kApplicationId), objectPath(), QStringLiteral("org.freedesktop.Application"), method);
    if (!uris.isEmpty())
        call << uris;
    call << platformData;
    return bus.call(call, QDBus::Block, 10000).type() == QDBusMessage::ReplyMessage;
}

void bringForward(QWindow* window, const QString& token)
{
    // Wayland's compositor lets a window take focus only with the token the
    // launcher made for this launch; Qt reads it from here.
    if (!token.isEmpty() && QGuiApplication::platformName() == u"wayland")
        qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
    window->setWindowStates(window->windowStates() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->requestActivate();
}

} // namespace tessavo
