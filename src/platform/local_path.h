#pragma once

#include <QByteArray>
#include <QFile>
#include <QUrl>

#include <filesystem>

// A local file's path as the bytes the system gave, carried in a QUrl. Qt's
// own conversions (toLocalFile, QFile::decodeName) turn a name that is not
// UTF-8 (a Latin-1 "é", byte E9) into U+FFFD, and that name then names no
// file; a URL keeps such bytes percent-encoded, so the way back gives them
// again. Qt Core only, so that every layer can use it.
namespace tessavo {

// The absolute path of a local file URL, as the system's bytes; empty for an
// invalid URL, another scheme, another host, or an empty or relative path.
inline QByteArray localPath(const QUrl& url)
{
    if (!url.isValid() || !url.isLocalFile() || !(url.host().isEmpty() || url.host() == u"localhost"))
        return {};
    const QByteArray path = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    return path.startsWith('/') ? path : QByteArray();
}

// The URL of a local path given as bytes: QUrl::fromLocalFile's for a name in
// UTF-8, the bytes kept as they are otherwise.
inline QUrl localUrl(const QByteArray& path)
{
    const QString decoded = QFile::decodeName(path);
    if (QFile::encodeName(decoded) == path)
        return QUrl::fromLocalFile(decoded);
    QUrl url;
    url.setScheme(QStringLiteral("file"));
    url.setPath(QString::fromLatin1(path.toPercentEncoding("/")), QUrl::TolerantMode);
    return url;
}

// A path named at launch, resolved against the current folder ("x/../a.heic"
// is a.heic there). An empty one names nothing, and stays an empty file URL,
// so that intake refuses it rather than list the current folder.
inline QUrl launchUrl(const QByteArray& path)
{
    if (path.isEmpty())
        return QUrl(QStringLiteral("file:"));
    std::error_code noFolder;
    std::filesystem::path absolute = std::filesystem::absolute(path.toStdString(), noFolder).lexically_normal();
    if (!absolute.has_filename() && absolute.has_relative_path()) // "folder/"
        absolute = absolute.parent_path();
    return localUrl(QByteArray::fromStdString(absolute.native()));
}

} // namespace tessavo
