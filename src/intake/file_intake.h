#pragma once

#include "model/file_list_model.h"
#include "platform/services.h"

#include <QList>
#include <QObject>
#include <QUrl>

#include <atomic>
#include <deque>
#include <mutex>
#include <thread>

namespace tessavo {

// What intake takes, by picker and by drop alike: a local file whose name
// ends in ".heic" in any letter case.
bool isHeicFile(const QUrl& url);
// The same rule on a file name alone.
bool isHeicName(QStringView name);

// True when a drag holding `urls` has something intake can take: a local
// HEIC file or a local folder.
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
// the command line: a HEIC file not listed yet joins at the end, and its
// bookmark is saved. A folder stands for the HEIC files inside it, read on
// a thread of its own: in natural name order (IMG_2 before IMG_10, letter
// case aside), a folder's files before its subfolders; hidden entries and
// symbolic links to folders are passed over. Offerings are taken whole and
// one after another, so a drop during a walk joins after the walk's files.
// Lives on the GUI thread.
class FileIntake : public QObject {
    Q_OBJECT
    // A folder's walk is under way.
    Q_PROPERTY(bool readingFolder READ readingFolder NOTIFY readingFolderChanged)

public:
    FileIntake(FileListModel& files, FilePicker& picker, FolderPicker& folders, BookmarkStore& bookmarks,
               QObject* parent = nullptr);
    // Stops a walk under way and waits for its thread.
    ~FileIntake() override;

    // Lists what the picker chose; nothing when it was cancelled.
    Q_INVOKABLE void pick();
    // Lists the HEIC files of the folder chosen.
    Q_INVOKABLE void pickFolder();
    // True when at least one URL names a local file or folder; the entries
    // arrive later, queued on this object's thread.
    Q_INVOKABLE bool drop(const QList<QUrl>& urls);
    // Whether a drag holding `urls` may show that it will be taken.
    Q_INVOKABLE bool acceptsDrop(const QList<QUrl>& urls) const { return offersPhotos(urls); }
    bool readingFolder() const { return m_walker.joinable(); }
    // True until every offering so far has been taken in.
    bool busy() const { return !m_offerings.empty(); }

signals:
    void readingFolderChanged();
    // Once per offering that left anything out, with Refusals::text().
    void refused(const QString& notice);

private:
    struct Offering {
        QList<QUrl> items;
        qsizetype next = 0;
        Refusals refusals;
    };

    // Taken at once when nothing is waiting and `now`, else in turn.
    void offer(const QList<QUrl>& items, bool now);
    void takeNext();
    void postTurn();
    void add(const QUrl& url, Refusals& refusals);
    void startWalk(const QString& folder);
    // Invoked by name from the walk's thread (see startWalk).
    Q_INVOKABLE void takeWalkBatch();

    FileListModel& m_files;
    FilePicker& m_picker;
    FolderPicker& m_folders;
    BookmarkStore& m_bookmarks;
    std::deque<Offering> m_offerings;
    bool m_taking = false;
    bool m_turnPosted = false;
    // Files the walk has found that are not listed yet, in order.
    QList<QUrl> m_found;
    qsizetype m_nextFound = 0;
    bool m_walkDone = false;
    std::thread m_walker;
    std::atomic_bool m_stopWalk = false;
    // What the walk hands over to the GUI thread.
    struct WalkBatch {
        QList<QUrl> found;
        Refusals refusals;
        bool finished = false;
        bool posted = false;
    };
    std::mutex m_walkMutex;
    WalkBatch m_handedOver;
};

} // namespace tessavo
