#include "conversion/job_runner.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QPointer>
#include <QRunnable>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <mutex>
#include <utility>

namespace tessavo {

namespace {

// Qt passes a job to its worker under futex-based locks that ThreadSanitizer
// cannot see; this release/acquire pair shows it the same ordering.
std::atomic<quint64> handoffs{0};

} // namespace

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

    void post(QPointer<OutcomeReceiver> receiver, JobOutcome outcome)
    {
        bool wake = false;
        {
            const std::lock_guard lock(m_mutex);
            wake = m_pending.empty();
            m_pending.push_back({std::move(receiver), std::move(outcome)});
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
        std::vector<std::pair<QPointer<OutcomeReceiver>, JobOutcome>> pending;
        {
            const std::lock_guard lock(m_mutex);
            pending.swap(m_pending);
        }
        m_sinceDelivery.restart();
        // One call per receiver and delivery, in the order the jobs finished.
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
    std::vector<std::pair<QPointer<OutcomeReceiver>, JobOutcome>> m_pending;
    QTimer m_timer;
    QElapsedTimer m_sinceDelivery;
    QThreadPool m_pool;
};

namespace {

// Runs jobs of one batch until none is left or the batch is stopped.
class BatchWorker : public QRunnable {
public:
    BatchWorker(std::shared_ptr<ConversionBatch> batch, QPointer<OutcomeReceiver> receiver)
        : m_batch(std::move(batch)), m_receiver(std::move(receiver))
    {
    }

    void run() override
    {
        handoffs.load(std::memory_order_acquire);
        JobResultRelay* relay = JobResultRelay::instance();
        while (const ConversionBatch::Job* job = m_batch->take())
            relay->post(
                m_receiver, {job->url, job->index, m_batch->run(), convertFile(job->source, job->folder, job->options, m_batch->lines())});
    }

private:
    std::shared_ptr<ConversionBatch> m_batch;
    QPointer<OutcomeReceiver> m_receiver;
};

} // namespace

QThreadPool* conversionPool() { return &JobResultRelay::instance()->pool(); }

void startBatch(const std::shared_ptr<ConversionBatch>& batch, OutcomeReceiver* receiver)
{
    QThreadPool* pool = conversionPool();
    const size_t workers = std::min(batch->jobs().size(), size_t(std::max(1, pool->maxThreadCount())));
    for (size_t i = 0; i < workers; ++i) {
        auto* worker = new BatchWorker(batch, receiver);
        handoffs.fetch_add(1, std::memory_order_release);
        pool->start(worker);
    }
}

} // namespace tessavo

#include "job_runner.moc"
