#pragma once

#include "conversion/core/convert_file.h"

#include <QObject>
#include <QUrl>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <vector>

class QThreadPool;

// The runner of a run's conversion jobs: a pool of its own, workers that
// take the jobs of a batch in list order, and the relay that hands their
// outcomes to the run on the GUI thread.
namespace tessavo {

// What one job reports: which entry, for which run, and how it ended.
struct JobOutcome {
    QUrl url;
    qint64 index = 0;
    quint64 run = 0;
    ConversionResult result;
};

// Whoever started a batch, and takes its outcomes on the GUI thread.
class OutcomeReceiver : public QObject {
public:
    using QObject::QObject;
    // The outcomes of finished jobs, in the order they finished.
    virtual void applyOutcomes(const std::vector<JobOutcome>& outcomes) = 0;
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

    ConversionBatch(quint64 run, LineSink lines) : m_run(run), m_lines(std::move(lines)) { }

    // GUI thread, before the workers start.
    void add(Job job) { m_jobs.push_back(std::move(job)); }
    const std::vector<Job>& jobs() const { return m_jobs; }
    quint64 run() const { return m_run; }
    // Where the jobs' lines go; workers call it at once.
    const LineSink& lines() const { return m_lines; }
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

// Starts as many workers on `batch` as the pool has threads, and no more
// than it has jobs. Their outcomes reach receiver->applyOutcomes on the GUI
// thread in the order the jobs finished, unless the receiver is gone. GUI thread.
void startBatch(const std::shared_ptr<ConversionBatch>& batch, OutcomeReceiver* receiver);

// The pool every run's jobs go to; GUI thread, with an application object.
QThreadPool* conversionPool();

} // namespace tessavo
