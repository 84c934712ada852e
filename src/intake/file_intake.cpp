#include "intake/file_intake.h"

#include "conversion/core/input/photo_names.h"

#include "intake/folder_walk.h"
#include "platform/local_path.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMetaObject>

#include <algorithm>
#include <array>
#include <utility>

#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace tessavo {

namespace {

bool isFolder(const QUrl& url)
{
    struct stat status { };
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

// The file systems through which the kernel shows itself (a link to
// /proc/self/mem is a "regular file" of 0 bytes).
constexpr std::array<decltype(statfs::f_type), 5> kernelViews{
    PROC_SUPER_MAGIC, SYSFS_MAGIC, DEBUGFS_MAGIC, TRACEFS_MAGIC, SECURITYFS_MAGIC};

} // namespace

bool isHeicName(std::string_view name) { return isHeifName(name); }

bool isHeicFile(const QUrl& url)
{
    const QByteArray path = localPath(url);
    return isHeicName(std::string_view(path).substr(size_t(path.lastIndexOf('/') + 1)));
}

bool isPhotoFile(const char* path)
{
    struct stat status { };
    struct statfs system { };
    return ::stat(path, &status) == 0 && S_ISREG(status.st_mode) && ::access(path, R_OK) == 0 && ::statfs(path, &system) == 0 &&
        std::find(kernelViews.begin(), kernelViews.end(), system.f_type) == kernelViews.end();
}

QByteArray subfolderOf(const std::filesystem::path& root, const QByteArray& photo)
{
    std::filesystem::path folder = root.lexically_normal();
    if (!folder.has_filename())
        folder = folder.parent_path(); // "/card/DCIM/"
    const std::filesystem::path parent = folder.parent_path();
    const std::filesystem::path relative = std::filesystem::path(photo.toStdString()).parent_path().lexically_relative(parent);
    return relative.empty() || relative == "." ? QByteArray() : QByteArray::fromStdString(relative.native());
}

bool offersPhotos(const QList<QUrl>& urls)
{
    return std::any_of(urls.begin(), urls.end(),
        [](const QUrl& url) { return isFolder(url) || (isHeicFile(url) && isPhotoFile(localPath(url).constData())); });
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

FileIntake::FileIntake(FileListModel& files, FilePicker& picker, FolderPicker& folders, BookmarkStore& bookmarks, QObject* parent)
    : QObject(parent), m_files(files), m_picker(picker), m_folders(folders), m_bookmarks(bookmarks)
{
}

// One folder of an offering being read.
struct FileIntake::Walk {
    std::shared_ptr<Offering> offering;
    // The folder given: its photos keep its name and the folders below it.
    std::filesystem::path root;
    // What it found that is not listed yet, in order, from `next` on.
    QList<QUrl> found;
    qsizetype next = 0;
    bool finished = false;
    // Last, so it goes first.
    FolderWalk walk;
};

FileIntake::~FileIntake() = default;

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
    if (urls.isEmpty())
        return false;
    // Entries arrive after the drop is answered, as they would from an
    // asynchronous load of each item. What cannot be taken is said all the
    // same, whatever the drop held.
    offer(urls, false);
    return std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

void FileIntake::offer(const QList<QUrl>& items, bool now)
{
    m_offerings.push_back(std::make_shared<Offering>());
    m_offerings.back()->items = items;
    if (m_offerings.size() > 1)
        return;
    if (now)
        takeNext();
    else
        QMetaObject::invokeMethod(this, &FileIntake::takeNext, Qt::QueuedConnection);
}

// Works in steps for a few milliseconds per turn of the event loop, so that
// input and painting come between.
void FileIntake::takeNext()
{
    m_turnPosted = false;
    if (m_taking)
        return;
    m_taking = true;
    const QDeadlineTimer turn(turnMs);
    for (int taken = 0;; ++taken) {
        if (taken == filesPerTurn || turn.hasExpired()) {
            postTurn();
            break;
        }
        if (!takeOne())
            break;
    }
    m_taking = false;
}

bool FileIntake::takeOne()
{
    for (auto it = m_walks.begin(); it != m_walks.end(); ++it) {
        Walk& walk = **it;
        if (walk.next < walk.found.size()) {
            const QUrl& url = walk.found[walk.next++];
            add(url, walk.offering->refusals, subfolderOf(walk.root, localPath(url)));
            return true;
        }
        if (walk.finished) {
            const std::shared_ptr<Offering> offering = walk.offering;
            m_walks.erase(it);
            if (--offering->walks == 0 && offering->taken)
                tell(*offering);
            if (m_walks.empty())
                emit readingFolderChanged();
            return true;
        }
    }
    if (m_offerings.empty())
        return false;
    Offering& offering = *m_offerings.front();
    if (offering.next < offering.items.size()) {
        take(offering.items[offering.next++], offering);
        return true;
    }
    const std::shared_ptr<Offering> taken = m_offerings.front();
    m_offerings.pop_front();
    taken->taken = true;
    if (taken->walks == 0)
        tell(*taken);
    return true;
}

void FileIntake::take(const QUrl& url, Offering& offering)
{
    const QByteArray path = localPath(url);
    // An empty or invalid URI ("file://") names no file, never the current folder.
    if (path.isEmpty()) {
        ++offering.refusals.unreadable;
    } else if (isFolder(url)) {
        ++offering.walks;
        m_walks.push_back(std::unique_ptr<Walk>(
            new Walk{m_offerings.front(), path.toStdString(), {}, 0, false, FolderWalk(path.toStdString(), this, "takeWalkBatches")}));
        if (m_walks.size() == 1)
            emit readingFolderChanged();
    } else if (!isHeicFile(url)) {
        ++offering.refusals.notHeic;
    } else if (!isPhotoFile(path.constData())) {
        ++offering.refusals.unreadable;
    } else {
        add(url, offering.refusals);
    }
}

void FileIntake::postTurn()
{
    if (!std::exchange(m_turnPosted, true))
        QMetaObject::invokeMethod(this, &FileIntake::takeNext, Qt::QueuedConnection);
}

void FileIntake::add(const QUrl& url, Refusals& refusals, const QByteArray& subfolder)
{
    if (m_files.containsFile(url)) {
        ++refusals.alreadyListed;
        return;
    }
    m_files.appendFile(url, subfolder);
    m_bookmarks.saveBookmark(url);
}

void FileIntake::tell(const Offering& offering)
{
    if (const QString notice = offering.refusals.text(); !notice.isEmpty())
        emit refused(notice);
}

void FileIntake::takeWalkBatches()
{
    for (const std::unique_ptr<Walk>& walk : m_walks) {
        WalkBatch batch = walk->walk.take();
        if (walk->next == walk->found.size())
            walk->found.clear(), walk->next = 0;
        walk->found += batch.found;
        walk->offering->refusals += batch.refusals;
        walk->finished = walk->finished || batch.finished;
    }
    takeNext();
}

} // namespace tessavo
