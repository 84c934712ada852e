#include "fake_platform.h"

#include <QTest>

using namespace tessavo;
using namespace tessavo::testing;

namespace {
QUrl url(const QString& path) { return QUrl::fromLocalFile("/photos/" + path); }
} // namespace

class FileListModelTest : public QObject {
    Q_OBJECT
private slots:
    // Appending refuses a listed URL; removal is stable and leaves the index
    // from URL to row right for the lookups that follow.
    void listOperations()
    {
        FileListModel files;
        for (const char* name : {"A.heic", "B.heic", "C.heic", "D.heic", "E.heic"})
            QVERIFY(files.appendFile(url(name)));
        QVERIFY(!files.appendFile(url("A.heic")));
        QVERIFY(files.setStatus(0, ImageStatus::Success));
        QVERIFY(!files.setStatus(5, ImageStatus::Error));
        QCOMPARE(files.removeFiles({url("B.heic"), url("C.heic"), url("E.heic"), url("never.heic")}), 3);
        QCOMPARE(listed(files), "A.heic:S D.heic:W");
        QCOMPARE(files.indexOf(url("D.heic")), 1);
        QVERIFY(files.appendFile(url("B.heic")));
        QCOMPARE(listed(files), "A.heic:S D.heic:W B.heic:W");
        files.setAllStatuses(ImageStatus::Converting);
        QCOMPARE(listed(files), "A.heic:C D.heic:C B.heic:C");
    }

    // Plain words per step; the write steps name the output folder.
    void failureTextPerStep_data()
    {
        QTest::addColumn<ConversionStep>("step");
        QTest::addColumn<QString>("expected");
        QTest::newRow("read") << ConversionStep::Read << "Could not read the photo: why";
        QTest::newRow("parse") << ConversionStep::Parse << "Not a HEIC photo, or damaged";
        QTest::newRow("decode") << ConversionStep::Decode << "Could not decode the photo";
        QTest::newRow("folder") << ConversionStep::CreateFolder << "Could not write to Out: why";
        QTest::newRow("destination") << ConversionStep::CreateDestination << "Could not write to Out: why";
        QTest::newRow("finish") << ConversionStep::Finalize << "Could not write to Out: why";
    }

    void failureTextPerStep()
    {
        QFETCH(ConversionStep, step);
        QFETCH(QString, expected);
        FileListModel files;
        files.appendFile(url("A.heic"));
        QVERIFY(files.setFailed(0, {step, "why", "/home/me/Out/A.jpg"}));
        QCOMPARE(files.data(files.index(0), FileListModel::FailureTextRole).toString(), expected);
        files.setStatus(0, ImageStatus::Converting); // a new status clears it
        QCOMPARE(files.data(files.index(0), FileListModel::FailureTextRole).toString(), QString());
    }

    // Rows of one name show their folders until the name is theirs alone.
    void sharedNamesShowTheirFolders()
    {
        FileListModel files;
        const QList<QUrl> urls{url("a/IMG_1.HEIC"), url("a/IMG_1.heic"), url("b/IMG_1.HEIC")};
        const auto folders = [&] {
            QStringList shown;
            for (int row = 0; row < files.count(); ++row)
                shown << files.data(files.index(row), FileListModel::SharedNameFolderRole).toString();
            return shown.join(u',');
        };
        for (const QUrl& each : urls)
            files.appendFile(each);
        QCOMPARE(folders(), "a,,b");
        files.removeFiles({urls[0]});
        QCOMPARE(folders(), ",");
    }
};

QTEST_GUILESS_MAIN(FileListModelTest)
#include "test_file_list_model.moc"
