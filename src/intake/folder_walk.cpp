#include "intake/folder_walk.h"

#include "intake/folder_lister.h"
#include "platform/local_path.h"

#include <QCollator>
#include <QFile>
#include <QLocale>
#include <QMetaObject>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace tessavo {

namespace {

// Files found per hand-over to the GUI thread: the first photos show soon,
// and the lock between the threads is seldom taken.
constexpr qsizetype walkBatch = 500;

// How long a walk that was told to stop is waited for before it is left
// behind: one between two entries stops well within it.
constexpr std::chrono::milliseconds stopWait(500);

// The walk itself, made and run on its thread.
class Walker {
public:
    using Deliver = std::function<void(const QList<QUrl>&, const Refusals&, bool finished)>;

    // The C locale's collation is plain code-point order with no numbers,
    // so without a language of the user's the names sort as in English.
    Walker(const std::atomic_bool& stop, Deliver deliver)
        : m_stop(stop), m_deliver(std::move(deliver)), m_order(QLocale().language() == QLocale::C ? QLocale(QLocale::English) : QLocale())
    {
        m_order.setNumericMode(true);
        m_order.setCaseSensitivity(Qt::CaseInsensitive);
    }

    void run(const fs::path& root)
    {
        visit(root);
        if (!m_stop)
            m_deliver(m_batch, m_refusals, true);
    }

private:
    struct Entry {
        QString name;
        std::string bytes;
    };

    void visit(const fs::path& folder);
    std::vector<Entry> inOrder(std::vector<std::string>& names) const;

    const std::atomic_bool& m_stop;
    Deliver m_deliver;
    QCollator m_order;
    FolderLister m_lister;
    QList<QUrl> m_batch;
    Refusals m_refusals;
};

void Walker::visit(const fs::path& folder)
{
    FolderListing listing = m_lister.list(folder);
    m_refusals.unreadableFolders += listing.failed;
    m_refusals.notHeic += listing.notHeic;
    m_refusals.unreadable += listing.unreadable;
    for (const Entry& photo : inOrder(listing.photos)) {
        m_batch << localUrl(QByteArray::fromStdString((folder / photo.bytes).native()));
        if (m_batch.size() >= walkBatch) {
            m_deliver(m_batch, m_refusals, false);
            m_batch.clear();
            m_refusals = {};
        }
    }
    for (const Entry& sub : inOrder(listing.folders)) {
        if (m_stop)
            return;
        visit(folder / sub.bytes);
    }
}

std::vector<Walker::Entry> Walker::inOrder(std::vector<std::string>& names) const
{
    std::vector<Entry> entries;
    entries.reserve(names.size());
    for (std::string& name : names)
        entries.push_back({QFile::decodeName(name.c_str()), std::move(name)});
    // Names that differ only in letter case (IMG_1.HEIC, img_1.HEIC) are two
    // photos, in the order of their bytes.
    std::sort(entries.begin(), entries.end(), [this](const Entry& a, const Entry& b) {
        const int order = m_order.compare(a.name, b.name);
        return order != 0 ? order < 0 : a.bytes < b.bytes;
    });
    return entries;
}

} // namespace

// Between the FolderWalk and its thread, each holding it.
struct FolderWalk::Shared {
    std::atomic_bool stop = false;
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    // Null once the FolderWalk is gone.
    QObject* receiver = nullptr;
    const char* notify = nullptr;
    WalkBatch batch;
    bool posted = false;

    void deliver(const QList<QUrl>& found, const Refusals& refusals, bool finished)
    {
        const std::lock_guard lock(mutex);
        batch.found += found;
        batch.refusals += refusals;
        batch.finished = finished;
        // By name: a functor would be allocated here and freed on the GUI
        // thread, through Qt's event queue, which ThreadSanitizer cannot see.
        if (receiver && !std::exchange(posted, true))
            QMetaObject::invokeMethod(receiver, notify, Qt::QueuedConnection);
    }
};

FolderWalk::FolderWalk(const fs::path& root, QObject* receiver, const char* notify) : m_shared(std::make_shared<Shared>())
{
    m_shared->receiver = receiver;
    m_shared->notify = notify;
    try {
        m_thread = std::thread([shared = m_shared, root] {
            Walker(shared->stop, [&shared](const QList<QUrl>& found, const Refusals& refusals, bool finished) {
                shared->deliver(found, refusals, finished);
            }).run(root);
            const std::lock_guard lock(shared->mutex);
            shared->done = true;
            shared->ended.notify_all();
        });
    } catch (const std::system_error&) {
        // No thread to be had: the folder is not read.
        m_shared->done = true;
        m_shared->deliver({}, Refusals{.unreadableFolders = 1}, true);
    }
}

FolderWalk::~FolderWalk()
{
    std::unique_lock lock(m_shared->mutex);
    m_shared->receiver = nullptr;
    m_shared->stop = true;
    const bool ended = m_shared->ended.wait_for(lock, stopWait, [this] { return m_shared->done; });
    lock.unlock();
    if (m_thread.joinable())
        ended ? m_thread.join() : m_thread.detach();
}

WalkBatch FolderWalk::take()
{
    const std::lock_guard lock(m_shared->mutex);
    m_shared->posted = false;
    return std::exchange(m_shared->batch, {});
}

} // namespace tessavo
