// Points the user's folders (settings, data, cache, state, home) at a
// temporary folder for the life of a test binary, so that no test reads or
// writes the settings of the person running it. Create it before the
// application object: Qt reads these variables when it first needs a path.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>

namespace varnetta::testing {

class TTemporaryUserFolders
{
public:
    TTemporaryUserFolders()
    {
        for (const char* variable : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"}) {
            const QString folder = m_root.filePath(QString::fromLatin1(variable));
            QDir().mkpath(folder);
            qputenv(variable, QFile::encodeName(folder));
        }
        const QString home = m_root.filePath(QStringLiteral("home"));
        QDir().mkpath(home);
        qputenv("HOME", QFile::encodeName(home));
    }
    TTemporaryUserFolders(const TTemporaryUserFolders&) = delete;
    TTemporaryUserFolders& operator=(const TTemporaryUserFolders&) = delete;

    [[nodiscard]] QString path() const { return m_root.path(); }

private:
    QTemporaryDir m_root;
};

} // namespace varnetta::testing
