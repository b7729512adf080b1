// Tests and development aids never touch the user's own files: the XDG
// folders (where the recovery journal and any settings would go) point into
// a temporary folder for the life of the process. Call before the
// application object is made.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>

inline QTemporaryDir& IsolatedRoot()
{
    static QTemporaryDir root;
    return root;
}

inline QString IsolateUserFolders()
{
    QTemporaryDir& root = IsolatedRoot();
    for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"}) {
        const QString folder = root.filePath(QString::fromLatin1(name).toLower());
        QDir().mkpath(folder);
        qputenv(name, folder.toLocal8Bit());
    }
    return root.path();
}

// Empties the isolated data folder: what one test left (a recovery journal
// of a window that was not closed cleanly) is not offered to the next.
inline void ClearUserData()
{
    const QString data = IsolatedRoot().filePath(QStringLiteral("xdg_data_home"));
    QDir(data).removeRecursively();
    QDir().mkpath(data);
}
