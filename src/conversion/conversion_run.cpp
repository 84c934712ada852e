#include "model/content_view.h"

#include "conversion/convert_file.h"

#include <QCoreApplication>
#include <QFile>
#include <QMetaObject>
#include <QPointer>
#include <QThreadPool>

#include <filesystem>

namespace tessavo {

namespace {

std::filesystem::path localPath(const QUrl& url)
{
    return std::filesystem::path(QFile::encodeName(url.toLocalFile()).toStdString());
}

} // namespace

void ContentView::convertToJPEG()
{
    const FolderChoice choice = m_services.folderPicker->pickFolder();
    if (!choice.confirmed)
        return;
    setOutputDirectory(choice.folder);
    if (!m_outputDirectory.isEmpty())
        m_services.bookmarks->saveBookmark(m_outputDirectory);
    setCompletedConversions(0);
    convertImages();
}

void ContentView::convertImages()
{
    if (m_outputDirectory.isEmpty())
        return;
    const QUrl folder = m_outputDirectory;
    const qsizetype count = m_files->count();
    for (qsizetype row = 0; row < count; ++row) {
        m_files->setStatus(row, ImageStatus::Converting);
        scheduleConversion(m_files->at(row).url, folder, row);
    }
}

void ContentView::scheduleConversion(const QUrl& url, const QUrl& outputDirectory, qint64 index)
{
    ++m_jobsOutstanding;
    // Paths only: the job reads and decodes once it runs on a worker. The
    // outcome is posted to the application object, which outlives the view,
    // and the view is looked up there, on the GUI thread.
    QThreadPool::globalInstance()->start(
        [view = QPointer<ContentView>(this), url, index, source = localPath(url),
         folder = localPath(outputDirectory)] {
            const ImageStatus status = convertFile(source, folder) == ConversionOutcome::Success
                ? ImageStatus::Success
                : ImageStatus::Error;
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [view, url, index, status] {
                    if (view)
                        view->updateStatus(index, url, status);
                },
                Qt::QueuedConnection);
        });
}

void ContentView::updateStatus(qint64 index, const QUrl& url, ImageStatus status)
{
    qsizetype row = index;
    if (row >= m_files->count() || m_files->at(row).url != url)
        row = m_files->indexOf(url);
    // A waiting entry joined after its file's job was scheduled (removed and
    // added again); the old outcome is not its own. With overlapping runs
    // the last outcome to arrive wins.
    if (row >= 0 && m_files->at(row).status != ImageStatus::Waiting)
        m_files->setStatus(row, status);
    recordCompletion();
}

void ContentView::recordCompletion()
{
    --m_jobsOutstanding;
    setCompletedConversions(m_completedConversions + 1);
    // The counter alone could reach the list's length while jobs are still
    // out (entries removed, or an earlier run's jobs counted after a reset),
    // so the folder is shown only once every scheduled job has reported.
    if (m_jobsOutstanding == 0 && m_completedConversions >= m_files->count() && !m_outputDirectory.isEmpty())
        revealOutputFolder();
}

void ContentView::revealOutputFolder()
{
    m_services.revealer->reveal(m_outputDirectory);
}

} // namespace tessavo
