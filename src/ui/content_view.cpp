#include "ui/content_view.h"

#include "ui/window_place.h"

#include <QWindow>

#include <utility>

namespace tessavo {

ContentView::ContentView(PlatformServices services, QObject* parent)
    : QObject(parent), m_services(std::move(services)), m_files(new FileListModel(this)), m_selection(*m_files),
      m_intake(*m_files, *m_services.filePicker, *m_services.folderPicker, *m_services.bookmarks), m_run(*m_files, m_services)
{
    Q_ASSERT(m_services.filePicker && m_services.folderPicker && m_services.revealer && m_services.bookmarks && m_services.preferences &&
        m_services.printLine);
    connect(&m_intake, &FileIntake::refused, this, &ContentView::setIntakeNotice);
    connect(m_files, &FileListModel::countChanged, &m_run, &ConversionRun::forgetEndedRun);
    if (const QString problem = m_services.preferences->problem(); !problem.isEmpty())
        setIntakeNotice(tr("Settings cannot be kept: %1").arg(problem));
    // Said once, in the GUI thread; the store is gone before this object.
    m_services.bookmarks->storeFailed = [this](StoreFailure failure, const QString& reason) {
        QMetaObject::invokeMethod(this, [this, failure, reason] {
            if (std::exchange(m_bookmarkProblemTold, true))
                return;
            m_bookmarkProblem = storeFailureText(failure);
            m_bookmarkProblemReason = reason;
            emit bookmarkProblemChanged();
        });
    };
}

// SQLite's words ("attempt to write a readonly database") are not the user's.
QString ContentView::storeFailureText(StoreFailure failure)
{
    switch (failure) {
    case StoreFailure::ReadOnly:
        return tr("Tessavo cannot remember the folders it was given: its data file is read-only");
    case StoreFailure::Locked:
        return tr("Tessavo cannot remember the folders it was given: another program is holding its data file");
    case StoreFailure::DiskFull:
        return tr("Tessavo cannot remember the folders it was given: the disk is full");
    case StoreFailure::Damaged:
        return tr("Tessavo cannot remember the folders it was given: its data file is damaged");
    case StoreFailure::CannotOpen:
        return tr("Tessavo cannot remember the folders it was given: its data file cannot be opened");
    case StoreFailure::NoHome:
        return tr("Tessavo cannot remember the folders it was given: there is no home folder to keep its data in");
    case StoreFailure::Other:
        break;
    }
    return tr("Tessavo cannot remember the folders it was given");
}

void ContentView::dismissBookmarkProblem()
{
    m_bookmarkProblem.clear();
    m_bookmarkProblemReason.clear();
    emit bookmarkProblemChanged();
}

ContentView::~ContentView() { m_services.bookmarks.reset(); }

void ContentView::removeSelectedImages()
{
    m_files->removeFiles(m_selection.urls());
    m_selection.clear();
}

bool ContentView::openConverted(const QUrl& url)
{
    const qsizetype row = m_files->indexOf(url);
    if (row < 0 || !m_services.opener)
        return false;
    const FileEntry& entry = m_files->at(row);
    if (entry.status != ImageStatus::Success || entry.jpeg.isEmpty())
        return false;
    m_services.opener->open(entry.jpeg);
    return true;
}

void ContentView::clearList()
{
    if (m_run.state() == RunState::Running || m_run.state() == RunState::Cancelling)
        return;
    QSet<QUrl> all;
    for (const FileEntry& entry : m_files->entries())
        all.insert(entry.url);
    m_files->removeFiles(all);
    m_selection.clear();
}

namespace {
const auto geometryKey = QStringLiteral("MainWindow/geometry");
const auto maximizedKey = QStringLiteral("MainWindow/maximized");
} // namespace

void ContentView::rememberPlaceOf(QWindow* window)
{
    if (!window)
        return;
    const QRect saved = m_services.preferences->value(geometryKey).toRect();
    // A saved size too large for the screens of the day (at 2x) leaves the
    // window at one that fits, which is not the user's: while the window has
    // that size, the saved one is kept. Sizes in between (Qt and the window
    // manager pass through the minimum on the way) are not told apart.
    if (!restorePlace(*window, saved, true) && saved.isValid())
        m_fitted = {window->size(), saved.size()};
    const auto track = [this, window] {
        const Qt::WindowStates states = window->windowStates();
        if (states & Qt::WindowMinimized)
            return;
        m_windowMaximized = states & Qt::WindowMaximized;
        if (!(states & (Qt::WindowMaximized | Qt::WindowFullScreen)))
            m_windowPlace = placeOf(*window);
    };
    track();
    for (const auto changed : {&QWindow::xChanged, &QWindow::yChanged, &QWindow::widthChanged, &QWindow::heightChanged})
        connect(window, changed, this, track);
    connect(window, &QWindow::windowStateChanged, this, track);
    // Recorded first: un-maximised, it comes back to the place just restored.
    if (m_services.preferences->value(maximizedKey).toBool())
        window->setWindowStates(Qt::WindowMaximized);
    // Hidden also as it is destroyed: only what was recorded is read then.
    connect(window, &QWindow::visibleChanged, this, [this](bool visible) {
        if (visible || !m_windowPlace.isValid())
            return;
        const bool fitted = m_windowPlace.size() == m_fitted.first;
        m_services.preferences->setValue(geometryKey, QRect(m_windowPlace.topLeft(), fitted ? m_fitted.second : m_windowPlace.size()));
        m_services.preferences->setValue(maximizedKey, m_windowMaximized);
    });
}

void ContentView::setIsTargeted(bool targeted)
{
    if (targeted == m_isTargeted)
        return;
    m_isTargeted = targeted;
    emit isTargetedChanged();
}

void ContentView::setIntakeNotice(const QString& notice)
{
    m_intakeNotice = notice;
    emit intakeNoticeChanged();
}

} // namespace tessavo
