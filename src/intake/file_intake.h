#pragma once

#include "model/file_list_model.h"
#include "platform/services.h"

#include <QList>
#include <QObject>
#include <QUrl>

namespace tessavo {

// What intake takes, by picker and by drop alike: a local file whose name
// ends in ".heic" in any letter case.
bool isHeicFile(const QUrl& url);

// The one way a file enters the list, whether picked, dropped or named on
// the command line: a HEIC file not listed yet joins at the end, and its
// bookmark is saved. GUI thread only.
class FileIntake : public QObject {
public:
    FileIntake(FileListModel& files, FilePicker& picker, BookmarkStore& bookmarks, QObject* parent = nullptr);

    // Lists what the picker chose; nothing when it was cancelled.
    void pick();
    // True when at least one URL names a local file; the entries arrive
    // later, queued on this object's thread.
    bool drop(const QList<QUrl>& urls);
    // True when `url` joined the list.
    bool add(const QUrl& url);

private:
    FileListModel& m_files;
    FilePicker& m_picker;
    BookmarkStore& m_bookmarks;
};

} // namespace tessavo
