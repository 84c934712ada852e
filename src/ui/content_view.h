#pragma once

#include "conversion/conversion_run.h"
#include "intake/file_intake.h"
#include "model/file_list_model.h"
#include "model/selection.h"
#include "platform/services.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <QRect>
#include <QWindow>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

namespace tessavo {

// The main window's state and actions as QML sees them: the list, its
// selection, intake and the conversion run, each its own class. Lives on the
// GUI thread.
//
// The application creates it and hands it to QML as an initial property:
//   auto* view = new tessavo::ContentView(tessavo::desktopServices(tessavo::printLine), &app);
//   engine.setInitialProperties({{"contentView", QVariant::fromValue(view)}});
class ContentView : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Created by the application with its platform services")
    // ContentView.Running and the other run states.
    QML_EXTENDED_NAMESPACE(tessavo::runs)
    Q_PROPERTY(tessavo::FileListModel* droppedFiles READ droppedFiles CONSTANT)
    Q_PROPERTY(QList<QUrl> selectedFiles READ selectedFiles WRITE setSelectedFiles NOTIFY selectedFilesChanged)
    Q_PROPERTY(int selectionCount READ selectionCount NOTIFY selectedFilesChanged)
    Q_PROPERTY(bool isTargeted READ isTargeted WRITE setIsTargeted NOTIFY isTargetedChanged)
    Q_PROPERTY(QUrl outputDirectory READ outputDirectory NOTIFY outputDirectoryChanged)
    Q_PROPERTY(qint64 completedConversions READ completedConversions NOTIFY completedConversionsChanged)
    // The latest run, for its summary line.
    Q_PROPERTY(tessavo::runs::RunState runState READ runState NOTIFY runChanged)
    Q_PROPERTY(qint64 runTotal READ runTotal NOTIFY runChanged)
    Q_PROPERTY(qint64 runConverted READ runConverted NOTIFY runChanged)
    Q_PROPERTY(qint64 runFailed READ runFailed NOTIFY runChanged)
    Q_PROPERTY(QString runSummary READ runSummary NOTIFY runChanged)
    // The options of the next run, remembered between sessions.
    Q_PROPERTY(bool keepMetadata READ keepMetadata WRITE setKeepMetadata NOTIFY optionsChanged)
    Q_PROPERTY(bool keepHdr READ keepHdr WRITE setKeepHdr NOTIFY optionsChanged)
    Q_PROPERTY(qint64 jobsOutstanding READ jobsOutstanding NOTIFY runChanged)
    // Why the bookmark store cannot keep records, from its first failure on.
    Q_PROPERTY(QString bookmarkProblem READ bookmarkProblem NOTIFY bookmarkProblemChanged)
    // A folder's walk is under way.
    Q_PROPERTY(bool readingFolder READ readingFolder NOTIFY readingFolderChanged)
    // What the latest offering left out and why; empty once dismissed.
    Q_PROPERTY(QString intakeNotice READ intakeNotice NOTIFY intakeNoticeChanged)

public:
    using RunState = runs::RunState;

    explicit ContentView(PlatformServices services, QObject* parent = nullptr);
    ~ContentView() override;

    FileListModel* droppedFiles() const { return m_files; }
    PreferenceStore& preferences() const { return *m_services.preferences; }

    QList<QUrl> selectedFiles() const { return m_selection.ordered(); }
    void setSelectedFiles(const QList<QUrl>& urls) { m_selection.replace(QSet<QUrl>(urls.begin(), urls.end())); }
    int selectionCount() const { return m_selection.count(); }
    Q_INVOKABLE bool isSelected(const QUrl& url) const { return m_selection.contains(url); }
    Q_INVOKABLE void selectOnly(const QUrl& url) { m_selection.selectOnly(url); }
    Q_INVOKABLE void toggleSelected(const QUrl& url) { m_selection.toggle(url); }
    Q_INVOKABLE void extendSelectionTo(const QUrl& url) { m_selection.extendTo(url); }
    Q_INVOKABLE void selectAll() { m_selection.selectAll(); }
    Q_INVOKABLE void clearSelection() { m_selection.clear(); }

    bool isTargeted() const { return m_isTargeted; }
    void setIsTargeted(bool targeted);
    void setIntakeNotice(const QString& notice);

    QUrl outputDirectory() const { return m_run.outputDirectory(); }
    qint64 completedConversions() const { return m_run.progress().completed; }
    RunState runState() const { return m_run.state(); }
    qint64 runTotal() const { return m_run.progress().total; }
    qint64 runConverted() const { return m_run.progress().converted; }
    qint64 runFailed() const { return m_run.progress().failed; }
    QString runSummary() const { return m_run.summary(); }
    // Jobs scheduled by any run whose outcome has not been applied yet.
    qint64 jobsOutstanding() const { return m_run.progress().outstanding; }
    QString bookmarkProblem() const { return m_bookmarkProblem; }
    bool readingFolder() const { return m_intake.readingFolder(); }
    // Offerings not fully taken in yet.
    bool takingFiles() const { return m_intake.busy(); }
    QString intakeNotice() const { return m_intakeNotice; }
    bool keepMetadata() const { return m_run.option(kKeepMetadata); }
    void setKeepMetadata(bool on) { m_run.setOption(kKeepMetadata, on); }
    bool keepHdr() const { return m_run.option(kKeepHdr); }
    void setKeepHdr(bool on) { m_run.setOption(kKeepHdr, on); }

    Q_INVOKABLE void addImages() { m_intake.pick(); }
    Q_INVOKABLE void addFolder() { m_intake.pickFolder(); }
    Q_INVOKABLE bool handleDrop(const QList<QUrl>& urls) { return m_intake.drop(urls); }
    // Files named at launch, by this one or a later one, taken as a drop.
    void openFiles(const QList<QUrl>& urls) { m_intake.drop(urls); }
    // Whether a drag holding `urls` may show that it will be taken.
    Q_INVOKABLE bool acceptsDrop(const QList<QUrl>& urls) const { return offersPhotos(urls); }
    Q_INVOKABLE void dismissNotice() { setIntakeNotice({}); }
    Q_INVOKABLE void removeSelectedImages();
    // Every row goes; not while a run is converting them.
    Q_INVOKABLE void clearList();
    Q_INVOKABLE void convertToJPEG() { m_run.start(); }
    Q_INVOKABLE void cancelConversion() { m_run.cancel(); }
    Q_INVOKABLE void revealOutputFolder() { m_run.revealOutputFolder(); }
    // Opens a converted entry's JPEG in the desktop's viewer; false, and
    // nothing opened, for any other entry.
    Q_INVOKABLE bool openConverted(const QUrl& url);
    // Puts the main window where the preferences last saw it, before it is
    // shown, and records its place and maximised state until it is hidden.
    Q_INVOKABLE void rememberPlaceOf(QWindow* window);

signals:
    void selectedFilesChanged();
    void isTargetedChanged();
    void outputDirectoryChanged();
    void completedConversionsChanged();
    void runChanged();
    void bookmarkProblemChanged();
    void readingFolderChanged();
    // Also when a new notice repeats the last one, so it shows again.
    void intakeNoticeChanged();
    void optionsChanged();

private:
    PlatformServices m_services;
    FileListModel* m_files;
    Selection m_selection;
    FileIntake m_intake;
    ConversionRun m_run;
    bool m_isTargeted = false;
    // The main window's last place while neither maximised nor minimised.
    QRect m_windowPlace;
    bool m_windowMaximized = false;
    QString m_bookmarkProblem;
    QString m_intakeNotice;
};

} // namespace tessavo
