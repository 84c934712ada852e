#include "model/content_view.h"

#include "conversion/core/convert_file.h"
#include "conversion/core/destination_names.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QMetaObject>
#include <QPointer>
#include <QRunnable>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <vector>

namespace tessavo {

namespace {

// Qt passes a job to its worker under futex-based locks that ThreadSanitizer
// cannot see; this release/acquire pair shows it the same ordering.
std::atomic<quint64> handoffs{0};

std::filesystem::path localPath(const QUrl& url)
{
    return std::filesystem::path(QFile::encodeName(url.toLocalFile()).toStdString());
}

} // namespace

// What one job reports: which entry, for which run, and how it ended.
struct JobOutcome {
    QUrl url;
    qint64 index = 0;
    quint64 run = 0;
    ConversionResult result;
};

// The jobs of one run, taken in list order by as many workers as the pool
// has threads: scheduling costs the same for ten files as for ten thousand,
// and cancelling knows exactly which jobs never started.
class ConversionBatch {
public:
    struct Job {
        QUrl url;
        qint64 index;
        std::filesystem::path source;
        std::filesystem::path folder;
        ConversionOptions options;
    };

    ConversionBatch(quint64 run, LineSink lines) : m_run(run), m_lines(std::move(lines)) {}

    // GUI thread, before the workers start.
    void add(Job job) { m_jobs.push_back(std::move(job)); }
    const std::vector<Job>& jobs() const { return m_jobs; }
    quint64 run() const { return m_run; }
    // Where the jobs' lines go; workers call it at once.
    const LineSink& lines() const { return m_lines; }
    // Outcomes still to apply, counted on the GUI thread.
    qsizetype unreported = 0;

    // Workers: the next job to run, or nullptr when none is left.
    const Job* take()
    {
        const size_t next = m_next.fetch_add(1, std::memory_order_relaxed);
        return next < m_jobs.size() ? &m_jobs[next] : nullptr;
    }

    // GUI thread: no job starts any more; returns the first that never will.
    size_t stop() { return std::min(m_next.exchange(m_jobs.size(), std::memory_order_relaxed), m_jobs.size()); }

private:
    const quint64 m_run;
    const LineSink m_lines;
    std::vector<Job> m_jobs;
    std::atomic<size_t> m_next{0};
};

// Carries job outcomes back to the GUI thread. Outcomes wait in a queue under
// a mutex and the GUI thread takes them in batches, at most twenty times a
// second: a plain call by name hands no data through Qt's queue, so every
// byte that crosses threads is ordered by a lock the sanitizers see, and ten
// thousand small files cost a few dozen repaints of the list and the
// summary, not ten thousand (each a full frame on a software renderer).
class JobResultRelay : public QObject {
    Q_OBJECT
public:
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

    void post(QPointer<ContentView> view, JobOutcome outcome)
    {
        bool wake = false;
        {
            const std::lock_guard lock(m_mutex);
            wake = m_pending.empty();
            m_pending.push_back({std::move(view), std::move(outcome)});
        }
        if (wake)
            QMetaObject::invokeMethod(this, "wake", Qt::QueuedConnection);
    }

private:
    static constexpr int kIntervalMs = 50;

    explicit JobResultRelay(QObject* parent) : QObject(parent)
    {
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, &JobResultRelay::deliver);
        m_sinceDelivery.start();
    }

    Q_INVOKABLE void wake()
    {
        const qint64 since = m_sinceDelivery.elapsed();
        if (since >= kIntervalMs)
            deliver();
        else if (!m_timer.isActive())
            m_timer.start(int(kIntervalMs - since));
    }

    void deliver()
    {
        std::vector<std::pair<QPointer<ContentView>, JobOutcome>> pending;
        {
            const std::lock_guard lock(m_mutex);
            pending.swap(m_pending);
        }
        m_sinceDelivery.restart();
        // One call per view and batch, in the order the jobs finished.
        std::vector<JobOutcome> outcomes;
        for (size_t i = 0; i < pending.size(); ++i) {
            outcomes.push_back(std::move(pending[i].second));
            if (i + 1 < pending.size() && pending[i + 1].first == pending[i].first)
                continue;
            if (pending[i].first)
                pending[i].first->applyOutcomes(outcomes);
            outcomes.clear();
        }
    }

    std::mutex m_mutex;
    std::vector<std::pair<QPointer<ContentView>, JobOutcome>> m_pending;
    QTimer m_timer;
    QElapsedTimer m_sinceDelivery;
    QThreadPool m_pool;
};

namespace {

// Runs jobs of one batch until none is left or the batch is stopped.
class BatchWorker : public QRunnable {
public:
    BatchWorker(std::shared_ptr<ConversionBatch> batch, QPointer<ContentView> view)
        : m_batch(std::move(batch)), m_view(std::move(view))
    {
    }

    void run() override
    {
        handoffs.load(std::memory_order_acquire);
        JobResultRelay* relay = JobResultRelay::instance();
        while (const ConversionBatch::Job* job = m_batch->take())
            relay->post(m_view, {job->url, job->index, m_batch->run(), convertFile(job->source, job->folder, job->options, m_batch->lines())});
    }

private:
    std::shared_ptr<ConversionBatch> m_batch;
    QPointer<ContentView> m_view;
};

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
    const auto names = planDestinationNames(sources, folderTellsCaseApart(localPath(folder)));
    m_batches.push_back(std::make_shared<ConversionBatch>(++m_runNumber, m_services.printLine));
    for (qsizetype row = 0; row < count; ++row)
        scheduleConversion(m_files->at(row).url, folder, row, names[size_t(row)]);

    const std::shared_ptr<ConversionBatch>& batch = m_batches.back();
    m_runState = RunState::Running;
    m_runTotal = batch->unreported;
    m_runConverted = 0;
    m_runFailed = 0;
    emit runChanged();

    QThreadPool* pool = conversionPool();
    const qsizetype workers = std::min<qsizetype>(batch->unreported, std::max(1, pool->maxThreadCount()));
    for (qsizetype i = 0; i < workers; ++i) {
        auto* worker = new BatchWorker(batch, this);
        handoffs.fetch_add(1, std::memory_order_release);
        pool->start(worker);
    }
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
        for (size_t i = first; i < jobs.size(); ++i) {
            const qsizetype row = rowOf(jobs[i].index, jobs[i].url);
            if (row >= 0 && m_files->at(row).status == ImageStatus::Converting)
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

#include "conversion_run.moc"
