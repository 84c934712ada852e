#include "conversion/conversion_run.h"

#include "conversion/core/output/destination_names.h"
#include "platform/local_path.h"

#include <QFile>
#include <QLocale>

#include <filesystem>
#include <map>
#include <vector>

namespace tessavo {

namespace {

std::filesystem::path pathOf(const QUrl& url) { return std::filesystem::path(localPath(url).toStdString()); }

} // namespace

ConversionRun::ConversionRun(FileListModel& files, PlatformServices& services, QObject* parent)
    : OutcomeReceiver(parent), m_files(files), m_services(services)
{
}

ConversionRun::~ConversionRun() = default;

void ConversionRun::start()
{
    m_bookmarked.clear();
    if (besideOriginals()) {
        // The first photo's folder is the one shown at the end.
        if (m_files.count() == 0)
            return;
        setOutputDirectory(localUrl(QByteArray::fromStdString(pathOf(m_files.at(0).url).parent_path().native())));
    } else {
        const FolderChoice choice = m_services.folderPicker->pickFolder(FolderPurpose::Output);
        if (!choice.confirmed)
            return;
        setOutputDirectory(choice.folder);
        if (!m_outputDirectory.isEmpty())
            m_services.bookmarks->saveBookmark(m_outputDirectory);
    }
    m_bookmarked.insert(m_outputDirectory);
    setCompletedConversions(0);
    convertImages();
}

void ConversionRun::convertImages()
{
    if (m_outputDirectory.isEmpty())
        return;
    const QUrl folder = m_outputDirectory;
    const qsizetype count = m_files.count();
    if (count == 0)
        return;
    // Taken once: a change while the jobs run is for the next run.
    const bool keepMetadata = option(kKeepMetadata);
    const bool keepHdr = option(kKeepHdr);
    const bool beside = option(kBesideOriginals);
    // Where each JPEG goes; photos of the same name bound for one folder keep
    // apart, compared as the folder's file system does.
    std::vector<std::filesystem::path> sources, bases, subfolders;
    std::map<std::filesystem::path, std::vector<qsizetype>> byFolder;
    for (qsizetype row = 0; row < count; ++row) {
        sources.push_back(pathOf(m_files.at(row).url));
        bases.push_back(beside ? sources.back().parent_path() : pathOf(folder));
        subfolders.push_back(beside ? std::filesystem::path() : std::filesystem::path(m_files.at(row).subfolder.toStdString()));
        byFolder[bases.back() / subfolders.back()].push_back(row);
    }
    std::vector<std::filesystem::path> names(static_cast<size_t>(count));
    for (const auto& [target, rows] : byFolder) {
        std::vector<std::filesystem::path> bound;
        for (const qsizetype row : rows)
            bound.push_back(sources[size_t(row)]);
        const auto planned = planDestinationNames(bound, target);
        for (size_t k = 0; k < rows.size(); ++k)
            names[size_t(rows[k])] = planned[k];
    }
    auto batch = std::make_shared<ConversionBatch>(++m_runNumber, m_services.printLine);
    // Paths only: the job reads and decodes once it runs on a worker.
    for (qsizetype row = 0; row < count; ++row) {
        ConversionOptions options;
        options.subfolder = subfolders[size_t(row)];
        options.destinationName = names[size_t(row)];
        options.keepMetadata = keepMetadata;
        options.keepHdr = keepHdr;
        m_files.setDestination(row, QFile::decodeName((options.subfolder / options.destinationName).c_str()));
        batch->add({m_files.at(row).url, row, sources[size_t(row)], bases[size_t(row)], std::move(options)});
    }
    // One change for the list: a signal per row cost the GUI thread tens of
    // milliseconds on ten thousand entries.
    m_files.setAllStatuses(ImageStatus::Converting);
    m_batches.push_back(batch);
    m_progress.outstanding += count;
    m_state = RunState::Running;
    m_progress.total = count;
    m_progress.converted = 0;
    m_progress.failed = 0;
    m_progress.foldersMade = 0;
    emit runChanged();

    startBatch(batch, this);
}

qsizetype ConversionRun::rowOf(qint64 index, const QUrl& url) const
{
    if (index >= 0 && index < m_files.count() && m_files.at(index).url == url)
        return index;
    return m_files.indexOf(url);
}

void ConversionRun::applyOutcomes(const std::vector<JobOutcome>& outcomes)
{
    for (const JobOutcome& outcome : outcomes) {
        const qsizetype row = rowOf(outcome.index, outcome.url);
        const bool converted = outcome.result.succeeded();
        // A waiting entry joined after its file's job was scheduled (removed
        // and added again); the old outcome is not its own. With overlapping
        // runs the last outcome to arrive wins.
        if (row >= 0 && m_files.at(row).status != ImageStatus::Waiting) {
            if (converted)
                m_files.setConverted(row, localUrl(QByteArray::fromStdString(outcome.result.destination.native())),
                    QString::fromStdString(outcome.result.hdrNotKept));
            else
                m_files.setFailed(row, *outcome.result.failure, localUrl(QByteArray::fromStdString(outcome.result.destination.native())));
        }
        if (outcome.run == m_runNumber) {
            ++(converted ? m_progress.converted : m_progress.failed);
            m_progress.foldersMade += outcome.result.foldersMade;
            // Each folder written into is remembered as the output folder is.
            const QUrl folder = localUrl(QByteArray::fromStdString(outcome.result.destination.parent_path().native()));
            if (converted && !m_bookmarked.contains(folder)) {
                m_bookmarked.insert(folder);
                m_services.bookmarks->saveBookmark(folder);
            }
        }
        --m_progress.outstanding;
        ++m_progress.completed;
    }
    // Once per delivery: the summary and the counters' readers need no more.
    emit runChanged();
    settleRun();
}

void ConversionRun::settleRun()
{
    if (m_progress.outstanding > 0)
        return;
    m_batches.clear();
    if (m_state == RunState::Cancelling) {
        m_state = RunState::Cancelled;
        emit runChanged();
        return;
    }
    if (m_state != RunState::Running)
        return;
    m_state = RunState::Finished;
    emit runChanged();
    // The counter alone could reach the list's length while jobs are still
    // out (entries removed, or an earlier run's jobs counted after a reset),
    // so the folder is shown only once every scheduled job has reported.
    if (m_progress.completed >= m_files.count() && !m_outputDirectory.isEmpty())
        revealOutputFolder();
}

void ConversionRun::cancel()
{
    if (m_state != RunState::Running)
        return;
    for (const std::shared_ptr<ConversionBatch>& batch : m_batches) {
        const auto& jobs = batch->jobs();
        const size_t first = batch->stop();
        // A dropped job of the latest run leaves its row waiting, even where
        // an earlier run's late outcome has marked it since.
        const bool latest = batch->run() == m_runNumber;
        for (size_t i = first; i < jobs.size(); ++i) {
            const qsizetype row = rowOf(jobs[i].index, jobs[i].url);
            if (row >= 0 && (latest || m_files.at(row).status == ImageStatus::Converting))
                m_files.setStatus(row, ImageStatus::Waiting);
        }
        m_progress.outstanding -= qsizetype(jobs.size() - first);
    }
    m_state = RunState::Cancelling;
    emit runChanged();
    settleRun();
}

QString ConversionRun::summary() const
{
    // The count converted chooses the plural form (%Ln), where a language
    // makes the words agree with it; the others are only numbers.
    const QLocale locale;
    const int converted = int(m_progress.converted);
    const QString failed = locale.toString(m_progress.failed);
    const QString total = locale.toString(m_progress.total);
    const bool anyFailed = m_progress.failed > 0;
    // English has no plural forms of its own without a translation loaded.
    const int folders = int(m_progress.foldersMade);
    const QString made = folders == 0 ? QString()
        : folders == 1                ? tr("; %Ln folder made", nullptr, folders)
                                      : tr("; %Ln folders made", nullptr, folders);
    return runSummary(converted, total, failed, anyFailed) + (m_state == RunState::NoRun ? QString() : made);
}

QString ConversionRun::runSummary(int converted, const QString& total, const QString& failed, bool anyFailed) const
{
    switch (m_state) {
    case RunState::NoRun:
        return {};
    case RunState::Running:
    case RunState::Cancelling:
        return anyFailed ? tr("%Ln of %1 converted, %2 failed", nullptr, converted).arg(total, failed)
                         : tr("%Ln of %1 converted", nullptr, converted).arg(total);
    case RunState::Finished:
        return anyFailed ? tr("%Ln converted, %1 failed", nullptr, converted).arg(failed) : tr("%Ln converted", nullptr, converted);
    case RunState::Cancelled:
        return anyFailed ? tr("Cancelled: %Ln of %1 converted, %2 failed", nullptr, converted).arg(total, failed)
                         : tr("Cancelled: %Ln of %1 converted", nullptr, converted).arg(total);
    }
    return {};
}

bool ConversionRun::option(QStringView key) const
{
    return m_services.preferences && m_services.preferences->value(key.toString(), false).toBool();
}

void ConversionRun::setOption(QStringView key, bool on)
{
    if (!m_services.preferences || option(key) == on)
        return;
    m_services.preferences->setValue(key.toString(), on);
    emit optionsChanged();
}

void ConversionRun::revealOutputFolder()
{
    if (!m_outputDirectory.isEmpty())
        m_services.revealer->reveal(m_outputDirectory);
}

void ConversionRun::forgetEndedRun()
{
    if (m_state != RunState::Finished && m_state != RunState::Cancelled)
        return;
    m_state = RunState::NoRun;
    emit runChanged();
}

void ConversionRun::setOutputDirectory(const QUrl& folder)
{
    if (folder == m_outputDirectory)
        return;
    m_outputDirectory = folder;
    emit outputDirectoryChanged();
}

void ConversionRun::setCompletedConversions(qint64 count)
{
    if (count == m_progress.completed)
        return;
    m_progress.completed = count;
    emit runChanged();
}

} // namespace tessavo
