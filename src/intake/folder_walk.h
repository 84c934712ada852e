#pragma once

#include "intake/file_intake.h"

#include <QList>
#include <QObject>
#include <QUrl>

#include <filesystem>
#include <memory>
#include <thread>

namespace tessavo {

// What a walk has found since it was last asked.
struct WalkBatch {
    QList<QUrl> found;
    Refusals refusals;
    bool finished = false;
};

// Reads one folder tree on a thread of its own, in natural name order (see
// FileIntake), and hands over what it finds in batches; the folders are
// listed by a FolderLister. The thread owns all it uses, so a walk stuck in
// a file system that never answers (a hung network or FUSE mount) is left
// behind when its FolderWalk goes: neither the intake nor the quitting
// process waits for it.
class FolderWalk {
public:
    // Starts at once. Whenever a batch waits, `receiver`'s method `notify` is
    // invoked by name, queued, while this object lives.
    FolderWalk(const std::filesystem::path& root, QObject* receiver, const char* notify);
    ~FolderWalk();
    FolderWalk(const FolderWalk&) = delete;
    FolderWalk& operator=(const FolderWalk&) = delete;

    WalkBatch take();

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
};

} // namespace tessavo
