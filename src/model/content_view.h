#pragma once

#include "model/file_list_model.h"
#include "model/image_status.h"
#include "platform/services.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

#include <filesystem>
#include <memory>
#include <vector>

namespace tessavo {

class ConversionBatch;
struct JobOutcome;

// The main window's state and actions. Lives on the GUI thread; conversion
// jobs run on the job runner's pool (job_runner.h) and report back through
// the GUI thread's event loop. Its operations live in model/, intake/ and
// conversion/conversion_run.cpp (the table in src/README.md).
//
// The application creates it and hands it to QML as an initial property:
//   auto* view = new tessavo::ContentView(tessavo::desktopServices(tessavo::printLine), &app);
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
    // The latest run, for its summary line.
    Q_PROPERTY(RunState runState READ runState NOTIFY runChanged)
    Q_PROPERTY(qint64 runTotal READ runTotal NOTIFY runChanged)
    Q_PROPERTY(qint64 runConverted READ runConverted NOTIFY runChanged)
    Q_PROPERTY(qint64 runFailed READ runFailed NOTIFY runChanged)
    Q_PROPERTY(QString runSummary READ runSummary NOTIFY runChanged)
    // Why the bookmark store cannot keep records, from its first failure on.
    Q_PROPERTY(QString bookmarkProblem READ bookmarkProblem NOTIFY bookmarkProblemChanged)

public:
    enum class RunState {
        NoRun,
        Running,
        // Cancel was pressed; the jobs already started are finishing.
        Cancelling,
        Finished,
        Cancelled,
    };
    Q_ENUM(RunState)

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

    RunState runState() const { return m_runState; }
    qint64 runTotal() const { return m_runTotal; }
    qint64 runConverted() const { return m_runConverted; }
    qint64 runFailed() const { return m_runFailed; }
    // "12 of 40 converted, 1 failed" during a run, "40 converted, 1 failed"
    // after it; empty before the first.
    QString runSummary() const;
    QString bookmarkProblem() const { return m_bookmarkProblem; }

    Q_INVOKABLE void addImages();
    Q_INVOKABLE void removeSelectedImages();
    Q_INVOKABLE void convertToJPEG();
    // Jobs of any run that have not started are dropped and their entries
    // wait again; started ones finish. The folder is then not revealed.
    Q_INVOKABLE void cancelConversion();
    // True when at least one URL names a local file; the entries arrive later
    // through addDroppedFile, queued on this object's thread.
    Q_INVOKABLE bool handleDrop(const QList<QUrl>& urls);
    void addDroppedFile(const QUrl& url);

    void convertImages();
    // Adds one job to the run that convertImages is building; an empty
    // `destinationName` takes the one derived from the source.
    void scheduleConversion(const QUrl& url, const QUrl& outputDirectory, qint64 index,
                            const std::filesystem::path& destinationName = {});
    // Applies the outcomes of finished jobs, in the order they finished.
    void applyOutcomes(const std::vector<JobOutcome>& outcomes);
    // Applies one job's outcome. The job carries the entry's position and URL:
    // when the position no longer names that URL (removal during the run) the
    // entry is found by URL; an entry that is gone, or waiting because it was
    // removed and added again, is left alone. Either way the job is counted.
    void updateStatus(const JobOutcome& outcome);
    void recordCompletion();
    Q_INVOKABLE void revealOutputFolder();

    // Jobs scheduled by any run whose outcome has not been applied yet.
    qint64 jobsOutstanding() const { return m_jobsOutstanding; }

signals:
    void selectedFilesChanged();
    void isTargetedChanged();
    void outputDirectoryChanged();
    void completedConversionsChanged();
    void runChanged();
    void bookmarkProblemChanged();

private:
    void replaceSelection(QSet<QUrl> selection);
    void setOutputDirectory(const QUrl& folder);
    void setCompletedConversions(qint64 count);
    qsizetype rowOf(qint64 index, const QUrl& url) const;
    // Ends the run once every job of every run has reported.
    void settleRun();

    PlatformServices m_services;
    FileListModel* m_files;
    QSet<QUrl> m_selected;
    QUrl m_anchor;
    bool m_isTargeted = false;
    QUrl m_outputDirectory;
    qint64 m_completedConversions = 0;
    qint64 m_jobsOutstanding = 0;

    // Runs whose jobs have not all reported, oldest first.
    std::vector<std::shared_ptr<ConversionBatch>> m_batches;
    quint64 m_runNumber = 0;
    RunState m_runState = RunState::NoRun;
    qint64 m_runTotal = 0;
    qint64 m_runConverted = 0;
    qint64 m_runFailed = 0;
    QString m_bookmarkProblem;
};

// What intake takes, by picker and by drop alike: a local file whose name
// ends in ".heic" in any letter case.
bool isHeicFile(const QUrl& url);

} // namespace tessavo
