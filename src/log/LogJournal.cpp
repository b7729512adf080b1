#include "LogJournal.h"

#include "LogFiles.h"

#include <QDir>
#include <QFileInfo>

#include <unistd.h>

namespace varnetta::log {

namespace {
constexpr const char* kJournalName = "recording-journal.xls";
constexpr const char* kLockName = "recording-journal.lock";
constexpr int kSyncDelayMs = 1000;
} // namespace

bool TFlushedTextLog::open(const QString& fileName, TMode mode)
{
    m_file.close();
    m_file.setFileName(fileName);
    const bool fresh =
        mode == TMode::Truncate || !QFileInfo::exists(fileName) || QFileInfo(fileName).size() == 0;
    const QIODevice::OpenMode how = QIODevice::WriteOnly | QIODevice::Unbuffered |
                                    (mode == TMode::Truncate ? QIODevice::Truncate : QIODevice::Append);
    if (!m_file.open(how))
        return false;
    return !fresh || write(TextLogHeaderLine());
}

bool TFlushedTextLog::appendRows(const TLogStore& store, qsizetype first, qsizetype count)
{
    QByteArray lines;
    for (qsizetype row = first; row < first + count; ++row) {
        // A row with a line break inside a field has no line; the table, and
        // an XML save of it, keep it.
        if (const std::optional<QByteArray> line = TextLogRowLine(store, row))
            lines += *line;
    }
    return write(lines);
}

bool TFlushedTextLog::write(const QByteArray& bytes)
{
    // Unbuffered: every write reaches the system before this returns.
    return m_file.write(bytes) == bytes.size();
}

void TFlushedTextLog::sync()
{
    if (m_file.isOpen())
        ::fdatasync(m_file.handle());
}

TLogJournal::TLogJournal(const QString& folder, QObject* parent) : QObject(parent)
{
    m_syncTimer.setSingleShot(true);
    m_syncTimer.setInterval(kSyncDelayMs);
    connect(&m_syncTimer, &QTimer::timeout, this, [this] { m_log.sync(); });
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return;
    const QDir dir(folder);
    m_path = dir.filePath(QLatin1String(kJournalName));
    // The lock names the process holding it; one left by a process that
    // no longer runs is taken over.
    m_lock = std::make_unique<QLockFile>(dir.filePath(QLatin1String(kLockName)));
    m_lock->setStaleLockTime(0);
    m_active = m_lock->tryLock(0);
}

TLogJournal::~TLogJournal()
{
    if (m_log.isOpen())
        m_log.sync();
}

bool TLogJournal::readLeftover(TLogStore& out) const
{
    if (!m_active || m_continue)
        return false;
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // A line cut short by the crash fails alone; the rows before it count.
    (void)ReadTextLog(file, out);
    return out.rowCount() > 0;
}

bool TLogJournal::append(const TLogStore& store, qsizetype first, qsizetype count)
{
    if (!m_active || count <= 0)
        return true;
    if (!m_log.isOpen()) {
        const auto mode = m_continue ? TFlushedTextLog::TMode::Append : TFlushedTextLog::TMode::Truncate;
        if (!m_log.open(m_path, mode)) {
            m_error = m_log.errorString();
            return false;
        }
        m_continue = true;
    }
    if (!m_log.appendRows(store, first, count)) {
        m_error = m_log.errorString();
        return false;
    }
    if (!m_syncTimer.isActive())
        m_syncTimer.start();
    return true;
}

void TLogJournal::remove()
{
    if (!m_active)
        return;
    m_syncTimer.stop();
    m_log.close();
    QFile::remove(m_path);
    m_continue = false;
}

} // namespace varnetta::log
