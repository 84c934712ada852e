#include "fake_desktop.h"

#include <QTest>

using namespace tessavo;
using namespace tessavo::testing;

namespace {
QUrl url(const QString& name) { return QUrl::fromLocalFile("/photos/" + name); }
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
        QVERIFY(files.setStatus(0, ImageStatus::Success) && !files.setStatus(5, ImageStatus::Error));
        QCOMPARE(files.removeFiles({url("B.heic"), url("C.heic"), url("E.heic"), url("never.heic")}), 3);
        QCOMPARE(files.indexOf(url("D.heic")), 1);
        QVERIFY(files.appendFile(url("B.heic")));
        QCOMPARE(listed(files), "A.heic:S D.heic:W B.heic:W");
        files.setAllStatuses(ImageStatus::Converting);
        QCOMPARE(listed(files), "A.heic:C D.heic:C B.heic:C");
    }

    // Plain words per step; the write steps name the output folder. A new status clears them.
    void failureTextPerStep()
    {
        const std::pair<ConversionStep, const char*> steps[] = {
            {ConversionStep::Read, "Could not read the photo: why"}, {ConversionStep::Parse, "Not a HEIC photo, or damaged"},
            {ConversionStep::Decode, "Could not decode the photo"}, {ConversionStep::CreateFolder, "Could not write to Out: why"},
            {ConversionStep::CreateDestination, "Could not write to Out: why"}, {ConversionStep::Finalize, "Could not write to Out: why"},
        };
        FileListModel files;
        files.appendFile(url("A.heic"));
        for (const auto& [step, text] : steps) {
            QVERIFY(files.setFailed(0, {step, "why", "/home/me/Out/A.jpg"}));
            QCOMPARE(files.data(files.index(0), FileListModel::FailureTextRole).toString(), text);
            files.setStatus(0, ImageStatus::Converting);
            QCOMPARE(files.data(files.index(0), FileListModel::FailureTextRole).toString(), QString());
        }
    }
};

QTEST_GUILESS_MAIN(FileListModelTest)
#include "test_file_list_model.moc"
