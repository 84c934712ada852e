#include "model/file_list_model.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace tessavo;

namespace {
QUrl fileUrl(const QString& name) { return QUrl::fromLocalFile("/photos/" + name); }

QList<QUrl> urlsOf(const FileListModel& model)
{
    QList<QUrl> urls;
    for (const auto& entry : model.entries())
        urls.append(entry.url);
    return urls;
}

QList<ImageStatus> statusesOf(const FileListModel& model)
{
    QList<ImageStatus> statuses;
    for (const auto& entry : model.entries())
        statuses.append(entry.status);
    return statuses;
}
} // namespace

class TestFileListModel : public QObject {
    Q_OBJECT
private slots:
    void statusOrdinalsAreStable()
    {
        const ImageStatus inOrder[] = {ImageStatus::Waiting, ImageStatus::Converting, ImageStatus::Success, ImageStatus::Error};
        for (quint8 i = 0; i < 4; ++i)
            QCOMPARE(quint8(inOrder[i]), i);
        QCOMPARE(sizeof(ImageStatus), size_t(1));
    }

    void appendKeepsOrderAndRefusesDuplicates()
    {
        FileListModel model;
        QVERIFY(!model.containsFile(fileUrl("IMG_1.HEIC")));
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QVERIFY(model.appendFile(fileUrl("IMG_1.HEIC")));
        QVERIFY(model.appendFile(fileUrl("IMG_2.heic")));
        QVERIFY(model.setStatus(0, ImageStatus::Success));
        // Already listed, whatever its status: refused, nothing changes.
        QVERIFY(!model.appendFile(fileUrl("IMG_1.HEIC")));
        QCOMPARE(inserted.count(), 2);
        QCOMPARE(urlsOf(model), (QList<QUrl>{fileUrl("IMG_1.HEIC"), fileUrl("IMG_2.heic")}));
        QCOMPARE(statusesOf(model), (QList<ImageStatus>{ImageStatus::Success, ImageStatus::Waiting}));
        // No normalisation: letter case makes another file.
        QVERIFY(!model.containsFile(fileUrl("img_1.heic")));
        QVERIFY(model.containsFile(fileUrl("IMG_1.HEIC")));
    }

    void setStatusTouchesOneRowOnly()
    {
        FileListModel model;
        for (int i = 0; i < 3; ++i)
            model.appendFile(fileUrl(QString("IMG_%1.HEIC").arg(i)));
        const auto before = urlsOf(model);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QVERIFY(model.setStatus(1, ImageStatus::Converting));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toModelIndex().row(), 1);
        QCOMPARE(changed.at(0).at(1).toModelIndex().row(), 1);
        QCOMPARE(statusesOf(model), (QList<ImageStatus>{ImageStatus::Waiting, ImageStatus::Converting, ImageStatus::Waiting}));
        // A row that no longer exists is refused without touching the list.
        QVERIFY(!model.setStatus(3, ImageStatus::Error));
        QVERIFY(!model.setStatus(-1, ImageStatus::Error));
        QCOMPARE(urlsOf(model), before);

        // All at once: every row, announced by one change over the list.
        changed.clear();
        model.setAllStatuses(ImageStatus::Error);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toModelIndex().row(), 0);
        QCOMPARE(changed.at(0).at(1).toModelIndex().row(), 2);
        QCOMPARE(statusesOf(model), QList<ImageStatus>(3, ImageStatus::Error));
        QCOMPARE(urlsOf(model), before);
        FileListModel empty;
        QSignalSpy none(&empty, &QAbstractItemModel::dataChanged);
        empty.setAllStatuses(ImageStatus::Converting);
        QCOMPARE(none.count(), 0);
    }

    void removalIsStableAndKeepsTheIndexRight()
    {
        FileListModel model;
        for (int i = 1; i <= 6; ++i)
            model.appendFile(fileUrl(QString("IMG_%1").arg(i)));
        model.setStatus(0, ImageStatus::Success);
        const QSet<QUrl> selection{fileUrl("IMG_2"), fileUrl("IMG_3"), fileUrl("IMG_5"),
                                   fileUrl("not-listed")};
        QCOMPARE(model.removeFiles(selection), 3);
        QCOMPARE(urlsOf(model),
                 (QList<QUrl>{fileUrl("IMG_1"), fileUrl("IMG_4"), fileUrl("IMG_6")}));
        QCOMPARE(model.at(0).status, ImageStatus::Success);
        QCOMPARE(model.indexOf(fileUrl("IMG_6")), 2);
        QCOMPARE(model.indexOf(fileUrl("IMG_2")), -1);
        // A removed file can come back, at the end.
        QVERIFY(model.appendFile(fileUrl("IMG_2")));
        QCOMPARE(model.indexOf(fileUrl("IMG_2")), 3);
        QCOMPARE(model.removeFiles({}), 0);
        const QList<QUrl> all = urlsOf(model);
        QCOMPARE(model.removeFiles(QSet<QUrl>(all.begin(), all.end())), 4);
        QCOMPARE(model.count(), 0);
    }

    void rolesServeTheRow()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("IMG_0001.HEIC");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(1500));
        file.close();

        FileListModel model;
        model.appendFile(QUrl::fromLocalFile(path));
        const QModelIndex row = model.index(0);
        QCOMPARE(model.data(row, FileListModel::FileNameRole).toString(), "IMG_0001.HEIC");
        QCOMPARE(model.data(row, FileListModel::SizeTextRole).toString(), "1.5 kB");
        QCOMPARE(model.data(row, FileListModel::StatusRole).value<ImageStatus>(), ImageStatus::Waiting);
        QVERIFY(QFile::remove(path));
        QCOMPARE(model.data(row, FileListModel::SizeTextRole).toString(), "Unknown");
    }

    // Plain words per step, and the output folder's name for the write steps.
    void failureTextPerStep_data()
    {
        QTest::addColumn<ConversionStep>("step");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("expected");
        const QString disk = QStringLiteral("No space left on device");
        QTest::newRow("read") << ConversionStep::Read << "Too many open files" << "Could not read the photo: Too many open files";
        QTest::newRow("parse") << ConversionStep::Parse << "Invalid input: No 'ftyp' box" << "Not a HEIC photo, or damaged";
        QTest::newRow("decode") << ConversionStep::Decode << "out of memory" << "Could not decode the photo";
        QTest::newRow("folder") << ConversionStep::CreateFolder << "Permission denied" << "Could not write to Out: Permission denied";
        QTest::newRow("destination") << ConversionStep::CreateDestination << "Read-only file system"
                                     << "Could not write to Out: Read-only file system";
        QTest::newRow("finalize") << ConversionStep::Finalize << disk << "Could not write to Out: " + disk;
        QTest::newRow("done") << ConversionStep::Done << QString() << QString();
    }

    void failureTextPerStep()
    {
        QFETCH(ConversionStep, step);
        QFETCH(QString, reason);
        QFETCH(QString, expected);
        FileListModel model;
        model.appendFile(fileUrl("IMG_1.HEIC"));
        QVERIFY(model.setFailed(0, {step, reason, QStringLiteral("/home/me/Out/IMG_1.jpg")}));
        QCOMPARE(model.data(model.index(0), FileListModel::FailureTextRole).toString(), expected);
        // A new status clears the reason.
        model.setStatus(0, ImageStatus::Converting);
        QCOMPARE(model.data(model.index(0), FileListModel::FailureTextRole).toString(), QString());
    }

    // Rows of the same name show their folders, and stop once the name is theirs alone.
    void sharedNamesShowTheirFolders()
    {
        FileListModel model;
        const QUrl a = QUrl::fromLocalFile("/photos/a/IMG_1.HEIC");
        const QUrl b = QUrl::fromLocalFile("/photos/b/IMG_1.HEIC");
        model.appendFile(a);
        model.appendFile(QUrl::fromLocalFile("/photos/a/IMG_1.heic"));
        const auto folders = [&] {
            QStringList shown;
            for (int row = 0; row < model.count(); ++row)
                shown << model.data(model.index(row), FileListModel::SharedNameFolderRole).toString();
            return shown;
        };
        QCOMPARE(folders(), (QStringList{"", ""}));
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.appendFile(b);
        QCOMPARE(folders(), (QStringList{"a", "", "b"}));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toModelIndex().row(), 0);
        model.removeFiles({a});
        QCOMPARE(folders(), (QStringList{"", ""}));
    }
};

QTEST_GUILESS_MAIN(TestFileListModel)
#include "test_file_list_model.moc"
