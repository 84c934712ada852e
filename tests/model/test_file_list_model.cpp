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
    // Each step on one list, then the list and what the model announced (a view repaints only that): "+2" a row inserted at 2,
    // "-1-3" rows 1 to 3 removed, "0-2:status" those rows' status, failure and note changed ("folder": the folder of a shared name).
    void stepsAndTheRowsTheyName()
    {
        FileListModel files;
        QStringList heard;
        connect(&files, &FileListModel::rowsInserted, [&](auto, int first) { heard << u'+' + QString::number(first); });
        connect(&files, &FileListModel::rowsRemoved, [&](auto, int first, int last) { heard << QString("-%1-%2").arg(first).arg(last); });
        using M = FileListModel;
        const QList<int> statusRoles{M::StatusRole, M::FailureTextRole, M::NoteTextRole, M::DestinationRole};
        connect(&files, &FileListModel::dataChanged, [&](const QModelIndex& from, const QModelIndex& to, const QList<int>& roles) {
            const QString what = roles == QList<int>{M::SharedNameFolderRole} ? "folder" : roles == statusRoles ? "status" : "?";
            heard << (from == to ? QString::number(from.row()) : QString("%1-%2").arg(from.row()).arg(to.row())) + u':' + what;
        });
        const char* const five = "IMG.heic:W B.heic:W C.heic:W D.heic:W IMG.heic:W";
        const Failure why{ConversionStep::Decode, "why"};
        const QSet<QUrl> removed{url("B.heic"), url("D.heic"), url("b/IMG.heic"), url("never.heic")};
        const std::tuple<const char*, const char*, std::function<bool()>> steps[] = {
            {"IMG.heic:W B.heic:W C.heic:W", "+0 +1 +2",
                [&] { return files.appendFile(url("a/IMG.heic")) && files.appendFile(url("B.heic")) && files.appendFile(url("C.heic")); }},
            {five, "+3 +4 0:folder", [&] { return files.appendFile(url("D.heic")) && files.appendFile(url("b/IMG.heic")); }},
            {five, "", [&] { return !files.appendFile(url("B.heic")) && !files.setStatus(5, ImageStatus::Error); }},
            {"IMG.heic:W B.heic:W C.heic:S D.heic:W IMG.heic:W", "2:status",
                [&] { return files.setStatus(2, ImageStatus::Success) && files.setStatus(2, ImageStatus::Success); }},
            {"IMG.heic:W B.heic:W C.heic:S D.heic:E IMG.heic:W", "3:status 3:status",
                [&] { return files.setFailed(3, why) && files.setStatus(3, ImageStatus::Error); }},
            {"IMG.heic:W C.heic:S", "-3-4 -1-1 0-1:folder", [&] { return files.removeFiles(removed) == 3; }},
            {"IMG.heic:W C.heic:S B.heic:W", "+2", [&] { return files.indexOf(url("C.heic")) == 1 && files.appendFile(url("B.heic")); }},
            {"IMG.heic:C C.heic:C B.heic:C", "0-2:status", [&] { return files.setAllStatuses(ImageStatus::Converting), true; }}};
        for (const auto& [list, announced, step] : steps) {
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
        const std::pair<ConversionStep, const char*> steps[] = {{ConversionStep::Read, "Could not read the photo: why"},
            {ConversionStep::Parse, "Not a HEIC photo, or damaged"}, {ConversionStep::Decode, "Could not decode the photo"},
            {ConversionStep::CreateFolder, "Could not write to Out: why"},
            {ConversionStep::CreateDestination, "Could not write to Out: why"}, {ConversionStep::Finalize, "Could not write to Out: why"}};
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
