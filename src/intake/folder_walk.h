#pragma once

#include "intake/file_intake.h"

#include <QCollator>
#include <QList>
#include <QUrl>

#include <atomic>
#include <filesystem>
#include <functional>

namespace tessavo {

// Reads one folder tree on a thread of its own and hands what it finds, in
// order, to `deliver` (called on that thread) in batches.
class FolderWalk {
public:
    using Deliver = std::function<void(const QList<QUrl>&, const Refusals&, bool finished)>;

    FolderWalk(const std::atomic_bool& stop, Deliver deliver);

    void run(const std::filesystem::path& root);

private:
    struct Entry {
        QString name;
        std::filesystem::path path;
    };

    void visit(const std::filesystem::path& folder);

    const std::atomic_bool& m_stop;
    Deliver m_deliver;
    QCollator m_order;
    QList<QUrl> m_batch;
    Refusals m_refusals;
};

} // namespace tessavo
