#include "intake/folder_walk.h"

#include "platform/local_path.h"

#include <QFile>
#include <QLocale>

#include <algorithm>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace tessavo {

namespace {

// Files found per hand-over to the GUI thread: the first photos show soon,
// and the lock between the threads is seldom taken.
constexpr qsizetype walkBatch = 500;

} // namespace

// The C locale's collation is plain code-point order with no numbers,
// so without a language of the user's the names sort as in English.
FolderWalk::FolderWalk(const std::atomic_bool& stop, Deliver deliver)
    : m_stop(stop), m_deliver(std::move(deliver)),
      m_order(QLocale().language() == QLocale::C ? QLocale(QLocale::English) : QLocale())
{
    m_order.setNumericMode(true);
    m_order.setCaseSensitivity(Qt::CaseInsensitive);
}

void FolderWalk::run(const fs::path& root)
{
    visit(root);
    if (!m_stop)
        m_deliver(m_batch, m_refusals, true);
}

void FolderWalk::visit(const fs::path& folder)
{
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error) {
        ++m_refusals.unreadableFolders;
        return;
    }
    std::vector<Entry> files, folders;
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        if (m_stop)
            return;
        Entry entry{QFile::decodeName(it->path().filename().c_str()), it->path()};
        // Hidden files are thumbnails and desktop records, never photos.
        if (entry.name.startsWith(u'.'))
            continue;
        std::error_code ignored;
        if (it->is_directory(ignored)) {
            if (!it->is_symlink(ignored))
                folders.push_back(std::move(entry));
            continue;
        }
        files.push_back(std::move(entry));
    }
    if (error)
        ++m_refusals.unreadableFolders;
    const auto byName = [this](const Entry& a, const Entry& b) { return m_order.compare(a.name, b.name) < 0; };
    std::sort(files.begin(), files.end(), byName);
    std::sort(folders.begin(), folders.end(), byName);
    for (const Entry& file : files) {
        std::error_code ignored;
        if (!isHeicName(file.name))
            ++m_refusals.notHeic;
        else if (!fs::is_regular_file(file.path, ignored) || ::access(file.path.c_str(), R_OK) != 0)
            ++m_refusals.unreadable;
        else
            m_batch << localUrl(QByteArray::fromStdString(file.path.native()));
        if (m_batch.size() >= walkBatch) {
            m_deliver(m_batch, m_refusals, false);
            m_batch.clear();
            m_refusals = {};
        }
    }
    for (const Entry& sub : folders) {
        if (m_stop)
            return;
        visit(sub.path);
    }
}

} // namespace tessavo
