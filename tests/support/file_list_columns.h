#pragma once

#include "model/file_list_model.h"

#include <QList>
#include <QUrl>

// One field of every entry, in list order, so a test compares a whole list at once.
namespace tessavo::testing {

inline QList<QUrl> urlsOf(const FileListModel& files)
{
    QList<QUrl> urls;
    for (const FileEntry& entry : files.entries())
        urls << entry.url;
    return urls;
}

inline QList<ImageStatus> statusesOf(const FileListModel& files)
{
    QList<ImageStatus> statuses;
    for (const FileEntry& entry : files.entries())
        statuses << entry.status;
    return statuses;
}

} // namespace tessavo::testing
