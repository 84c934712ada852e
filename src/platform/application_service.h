#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariantMap>

#include <functional>

class QWindow;

namespace tessavo {

// The application's id: the desktop entry's name without ".desktop", the
// AppStream id and the name of the one instance on the session bus.
inline constexpr char kApplicationId[] = "io.github.tessavo.tessavo";

// One window per session, the way GApplication and KDBusService keep it: the
// first launch serves org.freedesktop.Application under the application's id,
// later launches hand it their files and end. Without a session bus each
// launch stands alone. GUI thread only.
class ApplicationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    using QObject::QObject;
    ~ApplicationService() override;

    // Set before the event loop runs; calls arrive only from it. `open`
    // gets the URIs as they came, in the launch's order (intake refuses and
    // counts those that name no local file); `activate` gets the launcher's
    // activation token or startup id, empty when it gave none.
    std::function<void(const QList<QUrl>& urls)> open;
    std::function<void(const QString& token)> activate;

    // Takes the application's name on the session bus. False only when
    // another instance holds it; true too when there is no bus.
    bool registerInstance();

public slots:
    void Activate(const QVariantMap& platformData);
    void Open(const QStringList& uris, const QVariantMap& platformData);
    void ActivateAction(const QString& action, const QVariantList& parameter, const QVariantMap& platformData);

private:
    bool m_registered = false;
};

// Asks the instance that holds the name to open `urls` (see launchUrl), or
// only to come forward when there are none, passing on this launch's
// activation token. False when no instance answers.
bool forwardToRunningInstance(const QList<QUrl>& urls);

// Brings the window forward, restored if it was minimised, with the
// launcher's token where the platform uses one.
void bringForward(QWindow* window, const QString& token);

} // namespace tessavo
