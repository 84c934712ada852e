#include "platform/file_dialogs.h"

#include <QRegularExpression>
#include <QTest>

using namespace tessavo;

class FileDialogsTest : public QObject {
    Q_OBJECT

private slots:
    // Native dialogs match patterns case-sensitively, so the filter itself
    // must spell out every letter case of the extension.
    void heicFilterMatchesEveryLetterCaseAndNothingElse()
    {
        const QString filter = heicNameFilter();
        const QRegularExpression inParentheses(QStringLiteral("\\(([^)]*)\\)"));
        const QRegularExpressionMatch match = inParentheses.match(filter);
        QVERIFY2(match.hasMatch(), qPrintable(filter));
        QList<QRegularExpression> patterns;
        for (const QString& pattern : match.captured(1).split(u' ', Qt::SkipEmptyParts))
            patterns << QRegularExpression(QRegularExpression::wildcardToRegularExpression(pattern));

        auto accepted = [&](const QString& name) {
            return std::any_of(patterns.begin(), patterns.end(),
                               [&](const QRegularExpression& re) { return re.match(name).hasMatch(); });
        };
        for (int mask = 0; mask < 16; ++mask) {
            QString name = QStringLiteral("IMG_0001.");
            for (int i = 0; i < 4; ++i)
                name += (mask & (1 << i)) ? QStringLiteral("HEIC")[i] : QStringLiteral("heic")[i];
            QVERIFY2(accepted(name), qPrintable(name));
        }
        for (const char* name : {"IMG_0001.heif", "IMG_0001.jpg", "heic", "IMG.heic.jpg", "IMG.HEI"})
            QVERIFY2(!accepted(QString::fromLatin1(name)), name);
    }
};

QTEST_GUILESS_MAIN(FileDialogsTest)
#include "test_file_dialogs.moc"
