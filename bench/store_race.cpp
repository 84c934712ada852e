// Two processes saving into one new bookmark store at once, as two windows
// started together would. Run it in a loop (README); every round must keep
// every record.
//   store_race STORE FOLDER     saves each file of FOLDER into STORE
#include "app/console.h"
#include "platform/bookmark_store.h"

#include <QCoreApplication>
#include <QDir>
#include <QUrl>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 2;
    tessavo::SqliteBookmarkStore store(tessavo::printLine, QString::fromLocal8Bit(argv[1]));
    for (const QFileInfo& file : QDir(QString::fromLocal8Bit(argv[2])).entryInfoList(QDir::Files))
        store.saveBookmark(QUrl::fromLocalFile(file.absoluteFilePath()));
    store.flush();
}
