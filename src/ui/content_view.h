#pragma once

#include "conversion/conversion_run.h"
#include "intake/file_intake.h"
#include "model/file_list_model.h"
#include "model/selection.h"
#include "platform/services.h"

#include <QList>
#include <QObject>
#include <QRect>
#include <QSize>
#include <QStringList>
#include <QUrl>
#include <QWindow>
#include <QtQml/qqmlregistration.h>

#include <utility>

namespace tessavo {

// The main window's state and actions as QML sees them: the list, its
// selection, intake and the conversion run, each its own class that QML
// reaches through this one (view.run.state, view.intake.pick()); what is
// left here spans them, or is the window's own. Lives on the GUI thread.
//
// The application creates it and hands it to QML as an initial property:
//   auto* view = new tessavo::ContentView(tessavo::desktopServices(tessavo::printLine), &app);
//   engine.setInitialProperties({{"contentView", QVariant::fromValue(view)}});
class ContentView : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Created by the application with its platform services")
    Q_PROPERTY(tessavo::FileListModel* droppedFiles READ droppedFiles CONSTANT)
    Q_PROPERTY(tessavo::Selection* selection READ selection CONSTANT)
    Q_PROPERTY(tessavo::FileIntake* intake READ intake CONSTANT)
    Q_PROPERTY(tessavo::ConversionRun* run READ run CONSTANT)
    Q_PROPERTY(bool isTargeted READ isTargeted WRITE setIsTargeted NOTIFY isTargetedChanged)
    // Why the bookmark store cannot keep records, in the user's words, from
    // its first failure until dismissed; the system's reason beside it.
    Q_PROPERTY(QString bookmarkProblem READ bookmarkProblem NOTIFY bookmarkProblemChanged)
    Q_PROPERTY(QString bookmarkProblemReason READ bookmarkProblemReason NOTIFY bookmarkProblemChanged)
    // What the latest offering left out and why; empty once dismissed.
    Q_PROPERTY(QString intakeNotice READ intakeNotice NOTIFY intakeNoticeChanged)

public:
    explicit ContentView(PlatformServices services, QObject* parent = nullptr);
    ~ContentView() override;

    FileListModel* droppedFiles() const { return m_files; }
    PreferenceStore& preferences() const { return *m_services.preferences; }
    Selection* selection() { return &m_selection; }
    FileIntake* intake() { return &m_intake; }
    ConversionRun* run() { return &m_run; }

    bool isTargeted() const { return m_isTargeted; }
    void setIsTargeted(bool targeted);
    void setIntakeNotice(const QString& notice);
    QString bookmarkProblem() const { return m_bookmarkProblem; }
    QString bookmarkProblemReason() const { return m_bookmarkProblemReason; }
    QString intakeNotice() const { return m_intakeNotice; }

    // Files named at launch, by this one or a later one, taken as a drop.
    void openFiles(const QList<QUrl>& urls) { m_intake.drop(urls); }
    Q_INVOKABLE void dismissNotice() { setIntakeNotice({}); }
    // Said once: a later failure of the store does not bring it back.
    Q_INVOKABLE void dismissBookmarkProblem();
    Q_INVOKABLE void removeSelectedImages();
    // Every row goes; not while a run is converting them.
    Q_INVOKABLE void clearList();
    // Opens a converted entry's JPEG in the desktop's viewer; false, and
    // nothing opened, for any other entry.
    Q_INVOKABLE bool openConverted(const QUrl& url);
    // Puts the main window where the preferences last saw it, before it is
    // shown, and records its place and maximised state until it is hidden:
    // the size the user chose, never one it was only given to fit a screen.
    Q_INVOKABLE void rememberPlaceOf(QWindow* window);

signals:
    void isTargetedChanged();
    void bookmarkProblemChanged();
    // Also when a new notice repeats the last one, so it shows again.
    void intakeNoticeChanged();

private:
    static QString storeFailureText(StoreFailure failure);

    PlatformServices m_services;
    FileListModel* m_files;
    Selection m_selection;
    FileIntake m_intake;
    ConversionRun m_run;
    bool m_isTargeted = false;
    // The main window's last place while neither maximised nor minimised, in
    // device-independent pixels.
    QRect m_windowPlace;
    // The size the window was given to fit a screen, and the saved size that did not.
    std::pair<QSize, QSize> m_fitted;
    bool m_windowMaximized = false;
    bool m_bookmarkProblemTold = false;
    QString m_bookmarkProblem;
    QString m_bookmarkProblemReason;
    QString m_intakeNotice;
};

} // namespace tessavo
