#pragma once

#include "model/file_list_model.h"
#include "platform/services.h"

#include <QList>
#include <QObject>
#include <QUrl>

#include <deque>
#include <filesystem>
#include <memory>
#include <string_view>
#include <vector>

namespace tessavo {

// What intake takes, by picker and by drop alike: a local file whose name
// ends in ".heic", ".heif" or ".hif" in any letter case: HEIF photos, coded
// alike, whatever their camera named them.
bool isHeicFile(const QUrl& url);
// The same rule on a file name alone, as the system's bytes.
bool isHeicName(std::string_view name);
// True for a regular file that can be read, and not one of the kernel's
// views (procfs, sysfs), whose files say 0 bytes and may never end. A FIFO
// or a device would block a read or never end it.
bool isPhotoFile(const char* path);

// The folders from `root`'s parent down to the folder of `photo`, which lies
// below it ("DCIM/100APPLE" for /card/DCIM/100APPLE/IMG_1.HEIC and /card/DCIM).
QByteArray subfolderOf(const std::filesystem::path& root, const QByteArray& photo);

// True when a drag holding `urls` has something intake can take: a local
// HEIC file (isPhotoFile) or a local folder.
bool offersPhotos(const QList<QUrl>& urls);

// What one offering left out, by reason.
struct Refusals {
    qsizetype notHeic = 0;
    qsizetype alreadyListed = 0;
    qsizetype unreadable = 0;
    qsizetype unreadableFolders = 0;

    Refusals& operator+=(const Refusals& other);
    // One line for all reasons, e.g. "2 files skipped: not HEIC photos; 1 file
    // already listed"; empty when nothing was left out.
    QString text() const;
};

// The one way a file enters the list, whether picked, dropped or named on
// the command line: a HEIC file (a regular one that can be read) not listed
// yet joins at the end, and its bookmark is saved. A folder stands for the
// HEIC files inside it, read on a thread of its own (FolderWalk): in
// natural name order (IMG_2 before IMG_10, letter case aside), a folder's
// files before its subfolders; hidden entries and symbolic links to folders
// are passed over. Offerings are taken one after another; a folder's files
// join as its walk finds them, so a folder that does not answer (a stuck
// mount) holds back nothing offered after it. Lives on the GUI thread.
class FileIntake : public QObject {
    Q_OBJECT
    // A folder's walk is under way.
    Q_PROPERTY(bool readingFolder READ readingFolder NOTIFY readingFolderChanged)

public:
    FileIntake(FileListModel& files, FilePicker& picker, FolderPicker& folders, BookmarkStore& bookmarks, QObject* parent = nullptr);
    // Stops the walks under way; one that does not stop is left behind.
    ~FileIntake() override;

    // Lists what the picker chose; nothing when it was cancelled.
    Q_INVOKABLE void pick();
    // Lists the HEIC files of the folder chosen.
    Q_INVOKABLE void pickFolder();
    // True when at least one URL names a local file or folder; the entries
    // and the notice of what was left out arrive later, queued on this
    // object's thread.
    Q_INVOKABLE bool drop(const QList<QUrl>& urls);
    // Whether a drag holding `urls` may show that it will be taken.
    Q_INVOKABLE bool acceptsDrop(const QList<QUrl>& urls) const { return offersPhotos(urls); }
    bool readingFolder() const { return !m_walks.empty(); }
    // True until every offering so far has been taken in.
    bool busy() const { return !m_offerings.empty() || !m_walks.empty(); }

signals:
    void readingFolderChanged();
    // Once per offering that left anything out, with Refusals::text().
    void refused(const QString& notice);

private:
    struct Offering {
        QList<QUrl> items;
        qsizetype next = 0;
        Refusals refusals;
        // Its folders still being read; its notice waits for them.
        int walks = 0;
        bool taken = false;
    };
    struct Walk;

    // Taken at once when nothing is waiting and `now`, else in turn.
    void offer(const QList<QUrl>& items, bool now);
    void takeNext();
    // One step: a file a walk found, a walk's end, or the next item offered.
    // False when there is nothing to do until a walk hands over more.
    bool takeOne();
    void take(const QUrl& url, Offering& offering);
    void postTurn();
    void add(const QUrl& url, Refusals& refusals, const QByteArray& subfolder = {});
    void tell(const Offering& offering);
    // Invoked by name from the walks' threads.
    Q_INVOKABLE void takeWalkBatches();

    FileListModel& m_files;
    FilePicker& m_picker;
    FolderPicker& m_folders;
    BookmarkStore& m_bookmarks;
    std::deque<std::shared_ptr<Offering>> m_offerings;
    // In the order they began.
    std::vector<std::unique_ptr<Walk>> m_walks;
    bool m_taking = false;
    bool m_turnPosted = false;
};

} // namespace tessavo
