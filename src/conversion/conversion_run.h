#pragma once

#include "conversion/job_runner.h"
#include "model/file_list_model.h"
#include "platform/services.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>

#include <memory>
#include <vector>

namespace tessavo {

namespace runs {
Q_NAMESPACE
enum class RunState {
    NoRun,
    Running,
    // Cancel was pressed; the jobs already started are finishing.
    Cancelling,
    Finished,
    Cancelled,
};
Q_ENUM_NS(RunState)
} // namespace runs
using runs::RunState;

// The options of every run, off unless the user asked, kept as preferences.
inline constexpr QStringView kKeepMetadata = u"Options/keepMetadata";
inline constexpr QStringView kKeepHdr = u"Options/keepHdr";
// Each JPEG into its photo's own folder, with no folder asked for.
inline constexpr QStringView kBesideOriginals = u"Options/besideOriginals";

// How far the runs have come, counted once, on the GUI thread.
struct RunProgress {
    Q_GADGET
    Q_PROPERTY(qint64 outstanding MEMBER outstanding)
    Q_PROPERTY(qint64 completed MEMBER completed)
    Q_PROPERTY(qint64 total MEMBER total)
    Q_PROPERTY(qint64 converted MEMBER converted)
    Q_PROPERTY(qint64 failed MEMBER failed)
    Q_PROPERTY(qint64 foldersMade MEMBER foldersMade)

public:
    // Jobs of any run whose outcome has not been applied and that no cancel dropped.
    qint64 outstanding = 0;
    // Outcomes applied, of any run, since a folder was last chosen.
    qint64 completed = 0;
    // The latest run: its jobs, and its outcomes so far.
    qint64 total = 0;
    qint64 converted = 0;
    qint64 failed = 0;
    // The folders it made for photos listed through a folder.
    qint64 foldersMade = 0;
};

// The conversion of the listed files into a chosen folder: the folder
// dialog, the jobs of each run (through job_runner), their outcomes on the
// list, the summary, cancel, and the reveal of the folder once every job
// has reported. A new run may start while an earlier one's jobs are out.
class ConversionRun : public OutcomeReceiver {
    Q_OBJECT
    Q_PROPERTY(tessavo::runs::RunState state READ state NOTIFY runChanged)
    Q_PROPERTY(tessavo::RunProgress progress READ progress NOTIFY runChanged)
    Q_PROPERTY(QString summary READ summary NOTIFY runChanged)
    Q_PROPERTY(QUrl outputDirectory READ outputDirectory NOTIFY outputDirectoryChanged)
    // The options of the next run, remembered between sessions.
    Q_PROPERTY(bool keepMetadata READ keepMetadata WRITE setKeepMetadata NOTIFY optionsChanged)
    Q_PROPERTY(bool keepHdr READ keepHdr WRITE setKeepHdr NOTIFY optionsChanged)
    Q_PROPERTY(bool besideOriginals READ besideOriginals WRITE setBesideOriginals NOTIFY optionsChanged)

public:
    ConversionRun(FileListModel& files, PlatformServices& services, QObject* parent = nullptr);
    ~ConversionRun() override;

    // Empty while no run has chosen a folder.
    QUrl outputDirectory() const { return m_outputDirectory; }
    const RunProgress& progress() const { return m_progress; }
    RunState state() const { return m_state; }
    // "12 of 40 converted, 1 failed" during a run, "40 converted, 1 failed"
    // after it; empty before the first.
    QString summary() const;

    // Asks for a folder, then converts every listed file into it: a photo
    // listed through a folder into the folders it came in with, made under
    // it. With besideOriginals, into each photo's own folder, asking nothing.
    Q_INVOKABLE void start();
    // Jobs of any run that have not started are dropped and their entries
    // wait again; started ones finish. The folder is then not revealed.
    Q_INVOKABLE void cancel();
    Q_INVOKABLE void revealOutputFolder();
    // Once a run has ended its summary and folder no longer describe a list
    // that changed since: back to no run.
    void forgetEndedRun();

    // kKeepMetadata or kKeepHdr, as the next run will take it.
    bool option(QStringView key) const;
    void setOption(QStringView key, bool on);
    bool keepMetadata() const { return option(kKeepMetadata); }
    void setKeepMetadata(bool on) { setOption(kKeepMetadata, on); }
    bool keepHdr() const { return option(kKeepHdr); }
    void setKeepHdr(bool on) { setOption(kKeepHdr, on); }
    bool besideOriginals() const { return option(kBesideOriginals); }
    void setBesideOriginals(bool on) { setOption(kBesideOriginals, on); }

    // Applies each job's outcome. The job carries the entry's position and
    // URL: when the position no longer names that URL (removal during the
    // run) the entry is found by URL; an entry that is gone, or waiting
    // because it was removed and added again, is left alone. Either way the
    // job is counted.
    void applyOutcomes(const std::vector<JobOutcome>& outcomes) override;

signals:
    void outputDirectoryChanged();
    // The state, the summary or any count.
    void runChanged();
    void optionsChanged();

private:
    void convertImages();
    QString runSummary(int converted, const QString& total, const QString& failed, bool anyFailed) const;
    void setOutputDirectory(const QUrl& folder);
    void setCompletedConversions(qint64 count);
    qsizetype rowOf(qint64 index, const QUrl& url) const;
    // Ends the run once every job of every run has reported.
    void settleRun();

    FileListModel& m_files;
    PlatformServices& m_services;
    QUrl m_outputDirectory;
    // Runs whose jobs may still report, oldest first.
    std::vector<std::shared_ptr<ConversionBatch>> m_batches;
    quint64 m_runNumber = 0;
    // The folders of the latest run whose bookmark is saved.
    QSet<QUrl> m_bookmarked;
    RunState m_state = RunState::NoRun;
    RunProgress m_progress;
};

} // namespace tessavo
