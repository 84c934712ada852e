#include "intake/file_intake.h"

#include "intake/folder_walk.h"
#include "platform/local_path.h"

#include <QCollator>
#include <QDeadlineTimer>
#include <QCoreApplication>
#include <QFile>
#include <QMetaObject>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace tessavo {

namespace {


bool isFolder(const QUrl& url)
{
    struct stat status {};
    return ::stat(localPath(url).constData(), &status) == 0 && S_ISDIR(status.st_mode);
}

// English needs a text for one and one for more; each is a numerus entry,
// so every language still has all its plural forms.
QString counted(qsizetype n, const char* one, const char* many)
{
    return QCoreApplication::translate("FileIntake", n == 1 ? one : many, nullptr, int(n));
}

// Time and files the GUI thread spends listing per turn of the event loop,
// whichever ends first.
constexpr int turnMs = 10;
constexpr int filesPerTurn = 250;


} // namespace

bool isHeicName(QStringView name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    // A leading dot starts a hidden name, not an extension.
    if (dot <= 0)
        return false;
    return name.mid(dot + 1).compare(u"heic", Qt::CaseInsensitive) == 0;
}

bool isHeicFile(const QUrl& url)
{
    return url.isLocalFile() && isHeicName(url.fileName(QUrl::FullyDecoded));
}

bool offersPhotos(const QList<QUrl>& urls)
{
    return std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return isHeicFile(url) || isFolder(url); });
}

Refusals& Refusals::operator+=(const Refusals& other)
{
    notHeic += other.notHeic;
    alreadyListed += other.alreadyListed;
    unreadable += other.unreadable;
    unreadableFolders += other.unreadableFolders;
    return *this;
}

QString Refusals::text() const
{
    QStringList parts;
    if (notHeic > 0)
        parts << counted(notHeic, QT_TRANSLATE_N_NOOP("FileIntake", "%Ln file skipped: not a HEIC photo"),
                         QT_TRANSLATE_N_NOOP("FileIntake", "%Ln files skipped: not HEIC photos"));
    if (alreadyListed > 0)
        parts << counted(alreadyListed, QT_TRANSLATE_N_NOOP("FileIntake", "%Ln file already listed"),
                         QT_TRANSLATE_N_NOOP("FileIntake", "%Ln files already listed"));
    if (unreadable > 0)
        parts << counted(unreadable, QT_TRANSLATE_N_NOOP("FileIntake", "%Ln file could not be read"),
                         QT_TRANSLATE_N_NOOP("FileIntake", "%Ln files could not be read"));
    if (unreadableFolders > 0)
        parts << counted(unreadableFolders, QT_TRANSLATE_N_NOOP("FileIntake", "%Ln folder could not be read"),
                         QT_TRANSLATE_N_NOOP("FileIntake", "%Ln folders could not be read"));
    return parts.join(QStringLiteral("; "));
}

FileIntake::FileIntake(FileListModel& files, FilePicker& picker, FolderPicker& folders, BookmarkStore& bookmarks,
                       QObject* parent)
    : QObject(parent), m_files(files), m_picker(picker), m_folders(folders), m_bookmarks(bookmarks)
{
}

FileIntake::~FileIntake()
{
    m_stopWalk = true;
    if (m_walker.joinable())
        m_walker.join();
}

void FileIntake::pick()
{
    // The picker's filter does not bind a name typed into the dialog, so
    // the names are checked here as a drop checks them.
    const std::optional<QList<QUrl>> chosen = m_picker.pickFiles();
    if (chosen)
        offer(*chosen, true);
}

void FileIntake::pickFolder()
{
    const FolderChoice choice = m_folders.pickFolder(FolderPurpose::Photos);
    if (choice.confirmed && !choice.folder.isEmpty())
        offer({choice.folder}, true);
}

bool FileIntake::drop(const QList<QUrl>& urls)
{
    if (std::none_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); }))
        return false;
    // Entries arrive after the drop is answered, as they would from an
    // asynchronous load of each item.
    offer(urls, false);
    return true;
}

void FileIntake::offer(const QList<QUrl>& items, bool now)
{
    m_offerings.push_back({items, 0, {}});
    if (m_offerings.size() > 1)
        return;
    if (now)
        takeNext();
    else
        QMetaObject::invokeMethod(this, &FileIntake::takeNext, Qt::QueuedConnection);
}

// Works through the offerings in turn for a few milliseconds per turn of
// the event loop, so that input and painting come between; a folder's
// files are listed as its walk finds them, before the offering goes on.
void FileIntake::takeNext()
{
    m_turnPosted = false;
    if (m_taking)
        return;
    m_taking = true;
    const QDeadlineTimer turn(turnMs);
    for (int taken = 0; !m_offerings.empty(); ++taken) {
        Offering& offering = m_offerings.front();
        if (taken == filesPerTurn || turn.hasExpired()) {
            postTurn();
            break;
        }
        if (m_nextFound < m_found.size()) {
            add(m_found[m_nextFound++], offering.refusals);
            continue;
        }
        m_found.clear();
        m_nextFound = 0;
        if (m_walker.joinable()) {
            if (!m_walkDone)
                break;
            m_walker.join();
            emit readingFolderChanged();
            continue;
        }
        if (offering.next == offering.items.size()) {
            const QString notice = offering.refusals.text();
            m_offerings.pop_front();
            if (!notice.isEmpty())
                emit refused(notice);
            continue;
        }
        const QUrl url = offering.items[offering.next++];
        // An empty or invalid URI ("file://") names no file, never the current folder.
        if (localPath(url).isEmpty())
            ++offering.refusals.unreadable;
        else if (isHeicFile(url))
            add(url, offering.refusals);
        else if (isFolder(url))
            startWalk(localPath(url));
        else
            ++offering.refusals.notHeic;
    }
    m_taking = false;
}

void FileIntake::postTurn()
{
    if (!std::exchange(m_turnPosted, true))
        QMetaObject::invokeMethod(this, &FileIntake::takeNext, Qt::QueuedConnection);
}

void FileIntake::add(const QUrl& url, Refusals& refusals)
{
    if (m_files.containsFile(url)) {
        ++refusals.alreadyListed;
        return;
    }
    m_files.appendFile(url);
    m_bookmarks.saveBookmark(url);
}

void FileIntake::startWalk(const QByteArray& folder)
{
    m_stopWalk = false;
    m_walkDone = false;
    m_walker = std::thread([this, root = fs::path(folder.toStdString())] {
        FolderWalk(m_stopWalk, [this](const QList<QUrl>& found, const Refusals& refusals, bool finished) {
            std::lock_guard lock(m_walkMutex);
            m_handedOver.found += found;
            m_handedOver.refusals += refusals;
            m_handedOver.finished = finished;
            // The thread is joined before this object goes, so posting to it is
            // safe. By name: a functor would be allocated here and freed on the
            // GUI thread, through Qt's event queue, which ThreadSanitizer cannot see.
            if (!std::exchange(m_handedOver.posted, true))
                QMetaObject::invokeMethod(this, "takeWalkBatch", Qt::QueuedConnection);
        }).run(root);
    });
    emit readingFolderChanged();
}

void FileIntake::takeWalkBatch()
{
    WalkBatch batch;
    {
        std::lock_guard lock(m_walkMutex);
        batch = std::exchange(m_handedOver, {});
    }
    m_found += batch.found;
    m_offerings.front().refusals += batch.refusals;
    m_walkDone = batch.finished;
    takeNext();
}

} // namespace tessavo
