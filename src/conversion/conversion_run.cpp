// The run operations of the window state; the jobs themselves go through
// model/job_runner.
#include "model/content_view.h"

#include "conversion/core/destination_names.h"
#include "model/job_runner.h"

#include <QFile>
#include <QLocale>

#include <algorithm>
#include <filesystem>
#include <vector>

namespace tessavo {

namespace {

std::filesystem::path localPath(const QUrl& url)
{
    return std::filesystem::path(QFile::encodeName(url.toLocalFile()).toStdString());
}

} // namespace

void ContentView::convertToJPEG()
{
    const FolderChoice choice = m_services.folderPicker->pickFolder();
    if (!choice.confirmed)
        return;
    setOutputDirectory(choice.folder);
    if (!m_outputDirectory.isEmpty())
        m_services.bookmarks->saveBookmark(m_outputDirectory);
    setCompletedConversions(0);
    convertImages();
}

void ContentView::convertImages()
{
    if (m_outputDirectory.isEmpty())
        return;
    const QUrl folder = m_outputDirectory;
    const qsizetype count = m_files->count();
    if (count == 0)
        return;
    // One change for the list: a signal per row cost the GUI thread tens of
    // milliseconds on ten thousand entries.
    m_files->setAllStatuses(ImageStatus::Converting);
    // Photos of the same name keep apart, compared as the folder's file system does.
    std::vector<std::filesystem::path> sources;
    sources.reserve(size_t(count));
    for (qsizetype row = 0; row < count; ++row)
        sources.push_back(localPath(m_files->at(row).url));
    const auto names = planDestinationNames(sources, localPath(folder));
    m_batches.push_back(std::make_shared<ConversionBatch>(++m_runNumber, m_services.printLine));
    for (qsizetype row = 0; row < count; ++row)
        scheduleConversion(m_files->at(row).url, folder, row, names[size_t(row)]);

    const std::shared_ptr<ConversionBatch>& batch = m_batches.back();
    m_runState = RunState::Running;
    m_runTotal = batch->unreported;
    m_runConverted = 0;
    m_runFailed = 0;
    emit runChanged();

    startBatch(batch, this);
}

void ContentView::scheduleConversion(const QUrl& url, const QUrl& outputDirectory, qint64 index,
                                     const std::filesystem::path& destinationName)
{
    ++m_jobsOutstanding;
    ++m_batches.back()->unreported;
    // Paths only: the job reads and decodes once it runs on a worker.
    ConversionOptions options;
    options.destinationName = destinationName;
    m_batches.back()->add({url, index, localPath(url), localPath(outputDirectory), std::move(options)});
}

qsizetype ContentView::rowOf(qint64 index, const QUrl& url) const
{
    if (index >= 0 && index < m_files->count() && m_files->at(index).url == url)
        return index;
    return m_files->indexOf(url);
}

void ContentView::applyOutcomes(const std::vector<JobOutcome>& outcomes)
{
    for (const JobOutcome& outcome : outcomes)
        updateStatus(outcome);
    // Once per batch: the summary and the counter's readers need no more.
    emit completedConversionsChanged();
    emit runChanged();
    settleRun();
}

void ContentView::updateStatus(const JobOutcome& outcome)
{
    const qsizetype row = rowOf(outcome.index, outcome.url);
    const bool converted = outcome.result.succeeded();
    // A waiting entry joined after its file's job was scheduled (removed and
    // added again); the old outcome is not its own. With overlapping runs
    // the last outcome to arrive wins.
    if (row >= 0 && m_files->at(row).status != ImageStatus::Waiting) {
        if (converted)
            m_files->setStatus(row, ImageStatus::Success);
        else
            m_files->setFailed(row, {outcome.result.step, QString::fromLocal8Bit(outcome.result.reason),
                                     QFile::decodeName(outcome.result.destination.c_str())});
    }
    if (outcome.run == m_runNumber)
        ++(converted ? m_runConverted : m_runFailed);
    recordCompletion();
    for (auto it = m_batches.begin(); it != m_batches.end(); ++it) {
        if ((*it)->run() == outcome.run) {
            if (--(*it)->unreported == 0)
                m_batches.erase(it);
            break;
        }
    }
}

void ContentView::recordCompletion()
{
    --m_jobsOutstanding;
    ++m_completedConversions;
}

void ContentView::settleRun()
{
    if (m_jobsOutstanding > 0)
        return;
    if (m_runState == RunState::Cancelling) {
        m_runState = RunState::Cancelled;
        emit runChanged();
        return;
    }
    if (m_runState != RunState::Running)
        return;
    m_runState = RunState::Finished;
    emit runChanged();
    // The counter alone could reach the list's length while jobs are still
    // out (entries removed, or an earlier run's jobs counted after a reset),
    // so the folder is shown only once every scheduled job has reported.
    if (m_completedConversions >= m_files->count() && !m_outputDirectory.isEmpty())
        revealOutputFolder();
}

void ContentView::cancelConversion()
{
    if (m_runState != RunState::Running)
        return;
    for (const std::shared_ptr<ConversionBatch>& batch : m_batches) {
        const auto& jobs = batch->jobs();
        const size_t first = batch->stop();
        // A dropped job of the latest run leaves its row waiting, even where
        // an earlier run's late outcome has marked it since.
        const bool latest = batch->run() == m_runNumber;
        for (size_t i = first; i < jobs.size(); ++i) {
            const qsizetype row = rowOf(jobs[i].index, jobs[i].url);
            if (row >= 0 && (latest || m_files->at(row).status == ImageStatus::Converting))
                m_files->setStatus(row, ImageStatus::Waiting);
        }
        const auto dropped = qsizetype(jobs.size() - first);
        batch->unreported -= dropped;
        m_jobsOutstanding -= dropped;
    }
    std::erase_if(m_batches, [](const auto& batch) { return batch->unreported == 0; });
    m_runState = RunState::Cancelling;
    emit runChanged();
    settleRun();
}

QString ContentView::runSummary() const
{
    const QLocale locale;
    const QString converted = locale.toString(m_runConverted);
    const QString failed = locale.toString(m_runFailed);
    const QString total = locale.toString(m_runTotal);
    switch (m_runState) {
    case RunState::NoRun:
        return {};
    case RunState::Running:
    case RunState::Cancelling:
        return m_runFailed ? tr("%1 of %2 converted, %3 failed").arg(converted, total, failed)
                           : tr("%1 of %2 converted").arg(converted, total);
    case RunState::Finished:
        return m_runFailed ? tr("%1 converted, %2 failed").arg(converted, failed) : tr("%1 converted").arg(converted);
    case RunState::Cancelled:
        return m_runFailed ? tr("Cancelled: %1 of %2 converted, %3 failed").arg(converted, total, failed)
                           : tr("Cancelled: %1 of %2 converted").arg(converted, total);
    }
    return {};
}

void ContentView::revealOutputFolder()
{
    if (!m_outputDirectory.isEmpty())
        m_services.revealer->reveal(m_outputDirectory);
}

} // namespace tessavo
