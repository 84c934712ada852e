#include "model/content_view.h"

#include "conversion/convert_file.h"
#include "conversion/destination_names.h"

#include <QCoreApplication>
#include <QFile>
#include <QMetaObject>
#include <QPointer>
#include <QRunnable>
#include <QThreadPool>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <vector>

namespace tessavo {

namespace {

// Qt passes a job to its worker under futex-based locks that ThreadSanitizer
// cannot see; this release/acquire pair shows it the same ordering.
std::atomic<quint64> handoffs{0};

} // namespace

// Carries job outcomes back to the GUI thread. Outcomes wait in a queue under
// a mutex and the GUI thread is woken once per batch: a plain call by name
// hands no data through Qt's queue, so every byte that crosses threads is
// ordered by a lock the sanitizers see, and a burst of finished jobs costs
// one wake-up instead of one per job.
class JobResultRelay : public QObject {
    Q_OBJECT
public:
    struct Result {
        QPointer<ContentView> view;
        QUrl url;
        qint64 index;
        ImageStatus status;
    };

    // Created on the GUI thread by the first run; a child of the application
    // object. Its pool goes first, so every job finishes while it still exists.
    static JobResultRelay* instance()
    {
        static JobResultRelay* relay = new JobResultRelay(QCoreApplication::instance());
        return relay;
    }

    // Not Qt's global pool: QtGui's raster painting splits fills over that
    // one and waits for them, so a queue of conversions there stalls every
    // frame that paints until the whole run is done.
    QThreadPool& pool() { return m_pool; }

    void post(Result result)
    {
        bool wake = false;
        {
            const std::lock_guard lock(m_mutex);
            wake = m_pending.empty();
            m_pending.push_back(std::move(result));
        }
        if (wake)
            QMetaObject::invokeMethod(this, "deliver", Qt::QueuedConnection);
    }

private:
    using QObject::QObject;

    Q_INVOKABLE void deliver()
    {
        std::vector<Result> results;
        {
            const std::lock_guard lock(m_mutex);
            results.swap(m_pending);
        }
        for (const Result& result : results) {
            if (result.view)
                result.view->updateStatus(result.index, result.url, result.status);
        }
    }

    std::mutex m_mutex;
    std::vector<Result> m_pending;
    QThreadPool m_pool;
};

namespace {

class ConversionJob : public QRunnable {
public:
    ConversionJob(JobResultRelay* relay, JobResultRelay::Result result,
                  std::filesystem::path source, std::filesystem::path folder, std::filesystem::path name)
        : m_relay(relay), m_result(std::move(result)), m_source(std::move(source)),
          m_folder(std::move(folder))
    {
        m_options.destinationName = std::move(name);
    }

    void run() override
    {
        handoffs.load(std::memory_order_acquire);
        m_result.status = convertFile(m_source, m_folder, m_options).succeeded() ? ImageStatus::Success : ImageStatus::Error;
        m_relay->post(std::move(m_result));
    }

private:
    JobResultRelay* m_relay;
    JobResultRelay::Result m_result;
    std::filesystem::path m_source;
    std::filesystem::path m_folder;
    ConversionOptions m_options;
};

std::filesystem::path localPath(const QUrl& url)
{
    return std::filesystem::path(QFile::encodeName(url.toLocalFile()).toStdString());
}

} // namespace

QThreadPool* conversionPool()
{
    return &JobResultRelay::instance()->pool();
}

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
    // One change for the list: a signal per row cost the GUI thread tens of
    // milliseconds on ten thousand entries.
    m_files->setAllStatuses(ImageStatus::Converting);
    const qsizetype count = m_files->count();
    // Photos of the same name keep apart, compared as the folder's file system does.
    std::vector<std::filesystem::path> sources;
    sources.reserve(size_t(count));
    for (qsizetype row = 0; row < count; ++row)
        sources.push_back(localPath(m_files->at(row).url));
    const auto names = planDestinationNames(sources, folderTellsCaseApart(localPath(folder)));
    for (qsizetype row = 0; row < count; ++row)
        scheduleConversion(m_files->at(row).url, folder, row, names[size_t(row)]);
}

void ContentView::scheduleConversion(const QUrl& url, const QUrl& outputDirectory, qint64 index,
                                     const std::filesystem::path& destinationName)
{
    ++m_jobsOutstanding;
    // Paths only: the job reads and decodes once it runs on a worker.
    auto* job = new ConversionJob(JobResultRelay::instance(), {this, url, index, ImageStatus::Error},
                                  localPath(url), localPath(outputDirectory), destinationName);
    handoffs.fetch_add(1, std::memory_order_release);
    conversionPool()->start(job);
}

void ContentView::updateStatus(qint64 index, const QUrl& url, ImageStatus status)
{
    qsizetype row = index;
    if (row >= m_files->count() || m_files->at(row).url != url)
        row = m_files->indexOf(url);
    // A waiting entry joined after its file's job was scheduled (removed and
    // added again); the old outcome is not its own. With overlapping runs
    // the last outcome to arrive wins.
    if (row >= 0 && m_files->at(row).status != ImageStatus::Waiting)
        m_files->setStatus(row, status);
    recordCompletion();
}

void ContentView::recordCompletion()
{
    --m_jobsOutstanding;
    setCompletedConversions(m_completedConversions + 1);
    // The counter alone could reach the list's length while jobs are still
    // out (entries removed, or an earlier run's jobs counted after a reset),
    // so the folder is shown only once every scheduled job has reported.
    if (m_jobsOutstanding == 0 && m_completedConversions >= m_files->count() && !m_outputDirectory.isEmpty())
        revealOutputFolder();
}

void ContentView::revealOutputFolder()
{
    m_services.revealer->reveal(m_outputDirectory);
}

} // namespace tessavo

#include "conversion_run.moc"
