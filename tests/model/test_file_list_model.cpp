#include "fake_desktop.h"

#include <QTest>

using namespace tessavo;
using namespace tessavo::testsupport;

namespace {
QUrl url(const QString& name) { return QUrl::fromLocalFile("/photos/" + name); }
} // namespace

class FileListModelTest : public QObject {
    Q_OBJECT
private slots:
    // Each step on one list, then the list and what the model announced:
    // "+2" a row inserted at 2, "-1-3" rows 1 to 3 removed, "2:status" (or
    // "0-2:folder") a change of those rows' status, failure and note (or of the
    // folder shown beside a shared name). A view repaints only what is named.
    void stepsAndTheRowsTheyName()
    {
        FileListModel files;
        QStringList heard;
        connect(&files, &FileListModel::rowsInserted, [&](auto, int first) { heard << u'+' + QString::number(first); });
        connect(&files, &FileListModel::rowsRemoved, [&](auto, int first, int last) { heard << QString("-%1-%2").arg(first).arg(last); });
        connect(&files, &FileListModel::dataChanged, [&](const QModelIndex& from, const QModelIndex& to, const QList<int>& roles) {
            const QString what = roles == QList<int>{FileListModel::SharedNameFolderRole} ? "folder"
                : roles ==
                    QList<int>{FileListModel::StatusRole, FileListModel::FailureTextRole, FileListModel::NoteTextRole,
                        FileListModel::DestinationRole}
                ? "status"
                : "?";
            heard << (from == to ? QString::number(from.row()) : QString("%1-%2").arg(from.row()).arg(to.row())) + u':' + what;
        });
        const struct {
            std::function<bool()> step;
            const char *list, *heard;
        } steps[] = {
            {[&] { return files.appendFile(url("a/IMG.heic")) && files.appendFile(url("B.heic")) && files.appendFile(url("C.heic")); },
                "IMG.heic:W B.heic:W C.heic:W", "+0 +1 +2"},
            {[&] { return files.appendFile(url("D.heic")) && files.appendFile(url("b/IMG.heic")); },
                "IMG.heic:W B.heic:W C.heic:W D.heic:W IMG.heic:W", "+3 +4 0:folder"},
            {[&] { return !files.appendFile(url("B.heic")) && !files.setStatus(5, ImageStatus::Error); },
                "IMG.heic:W B.heic:W C.heic:W D.heic:W IMG.heic:W", ""},
            {[&] { return files.setStatus(2, ImageStatus::Success) && files.setStatus(2, ImageStatus::Success); },
                "IMG.heic:W B.heic:W C.heic:S D.heic:W IMG.heic:W", "2:status"},
            {[&] {
                 return files.setFailed(3, {ConversionStep::Decode, "why"}) && files.setStatus(3, ImageStatus::Error);
             },
                "IMG.heic:W B.heic:W C.heic:S D.heic:E IMG.heic:W", "3:status 3:status"},
            {[&] {
                 return files.removeFiles({url("B.heic"), url("D.heic"), url("b/IMG.heic"), url("never.heic")}) == 3;
             },
                "IMG.heic:W C.heic:S", "-3-4 -1-1 0-1:folder"},
            {[&] { return files.indexOf(url("C.heic")) == 1 && files.appendFile(url("B.heic")); }, "IMG.heic:W C.heic:S B.heic:W", "+2"},
            {[&] {
                 files.setAllStatuses(ImageStatus::Converting);
                 return true;
             },
                "IMG.heic:C C.heic:C B.heic:C", "0-2:status"},
        };
        for (const auto& [step, list, announced] : steps) {
            heard.clear();
            QVERIFY2(step(), list);
            QCOMPARE(listed(files), list);
            QCOMPARE(heard.join(u' '), announced);
        }
        QCOMPARE(files.data(files.index(0), FileListModel::SharedNameFolderRole).toString(), QString());
    }

    // Plain words per step; the write steps name the output folder. A new status clears them.
    void failureTextPerStep()
    {
        const std::pair<ConversionStep, const char*> steps[] = {
            {ConversionStep::Read, "Could not read the photo: why"},
            {ConversionStep::Parse, "Not a HEIC photo, or damaged"},
            {ConversionStep::Decode, "Could not decode the photo"},
            {ConversionStep::CreateFolder, "Could not write to Out: why"},
            {ConversionStep::CreateDestination, "Could not write to Out: why"},
            {ConversionStep::Finalize, "Could not write to Out: why"},
        };
        FileListModel files;
        files.appendFile(url("A.heic"));
        for (const auto& [step, text] : steps) {
            QVERIFY(files.setFailed(0, {step, "why"}, QUrl::fromLocalFile("/home/me/Out/A.jpg")));
            QCOMPARE(files.data(files.index(0), FileListModel::FailureTextRole).toString(), text);
            files.setStatus(0, ImageStatus::Converting);
            QCOMPARE(files.data(files.index(0), FileListModel::FailureTextRole).toString(), QString());
        }
    }
};

QTEST_GUILESS_MAIN(FileListModelTest)
#include "test_file_list_model.moc"
