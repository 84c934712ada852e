#pragma once

#include "model/file_list_model.h"
#include "model/image_status.h"
#include "platform/platform_services.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

class QThreadPool;

namespace tessavo {

// The main window's state and actions. Lives on the GUI thread; conversion
// jobs run on the global thread pool and report back by queued calls.
//
// The application creates it and hands it to QML as an initial property:
//   auto* view = new tessavo::ContentView(tessavo::desktopServices(), &app);
//   engine.setInitialProperties({{"contentView", QVariant::fromValue(view)}});
class ContentView : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Created by the application with its platform services")
    Q_PROPERTY(tessavo::FileListModel* droppedFiles READ droppedFiles CONSTANT)
    Q_PROPERTY(QList<QUrl> selectedFiles READ selectedFiles WRITE setSelectedFiles NOTIFY selectedFilesChanged)
    Q_PROPERTY(int selectionCount READ selectionCount NOTIFY selectedFilesChanged)
    Q_PROPERTY(bool isTargeted READ isTargeted WRITE setIsTargeted NOTIFY isTargetedChanged)
    Q_PROPERTY(QUrl outputDirectory READ outputDirectory NOTIFY outputDirectoryChanged)
    Q_PROPERTY(qint64 completedConversions READ completedConversions NOTIFY completedConversionsChanged)

public:
    explicit ContentView(PlatformServices services, QObject* parent = nullptr);
    ~ContentView() override;

    FileListModel* droppedFiles() const { return m_files; }

    // In list order; selected URLs that are not listed come last.
    QList<QUrl> selectedFiles() const;
    void setSelectedFiles(const QList<QUrl>& urls);
    int selectionCount() const { return int(m_selected.size()); }
    Q_INVOKABLE bool isSelected(const QUrl& url) const { return m_selected.contains(url); }
    Q_INVOKABLE void selectOnly(const QUrl& url);
    Q_INVOKABLE void toggleSelected(const QUrl& url);
    // The listed rows from the anchor (last plain or toggle click) to `url`.
    Q_INVOKABLE void extendSelectionTo(const QUrl& url);
    Q_INVOKABLE void selectAll();
    Q_INVOKABLE void clearSelection();

    bool isTargeted() const { return m_isTargeted; }
    void setIsTargeted(bool targeted);

    // Empty while no run has chosen a folder.
    QUrl outputDirectory() const { return m_outputDirectory; }
    qint64 completedConversions() const { return m_completedConversions; }

    Q_INVOKABLE void addImages();
    Q_INVOKABLE void removeSelectedImages();
    Q_INVOKABLE void convertToJPEG();
    // True when at least one URL names a local file; the entries arrive later
    // through addDroppedFile, queued on this object's thread.
    Q_INVOKABLE bool handleDrop(const QList<QUrl>& urls);
    void addDroppedFile(const QUrl& url);

    void convertImages();
    void scheduleConversion(const QUrl& url, const QUrl& outputDirectory, qint64 index);
    // Applies one job's outcome. The job carries the entry's position and URL:
    // when the position no longer names that URL (removal during the run) the
    // entry is found by URL; an entry that is gone, or waiting because it was
    // removed and added again, is left alone. Either way the job is counted.
    void updateStatus(qint64 index, const QUrl& url, ImageStatus status);
    void recordCompletion();
    void revealOutputFolder();

    // Jobs scheduled by any run whose outcome has not been applied yet.
    qint64 jobsOutstanding() const { return m_jobsOutstanding; }

signals:
    void selectedFilesChanged();
    void isTargetedChanged();
    void outputDirectoryChanged();
    void completedConversionsChanged();

private:
    void replaceSelection(QSet<QUrl> selection);
    void setOutputDirectory(const QUrl& folder);
    void setCompletedConversions(qint64 count);

    PlatformServices m_services;
    FileListModel* m_files;
    QSet<QUrl> m_selected;
    QUrl m_anchor;
    bool m_isTargeted = false;
    QUrl m_outputDirectory;
    qint64 m_completedConversions = 0;
    qint64 m_jobsOutstanding = 0;
};

// The pool every run's jobs go to; GUI thread, with an application object.
QThreadPool* conversionPool();

// What intake takes, by picker and by drop alike: a local file whose name
// ends in ".heic" in any letter case.
bool isHeicFile(const QUrl& url);

} // namespace tessavo
