// Rows kept safe as they come. TFlushedTextLog writes the tab-separated log
// line by line, each line handed to the system at once, so a killed process
// loses no row it reported (the command-line logger's --output, and the
// journal below). TLogJournal is the window's recovery journal: the rows
// recorded and not yet saved, in a per-user folder, read back after a crash.
#pragma once

#include "LogStore.h"

#include <QFile>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

namespace varnetta::log {

class TFlushedTextLog
{
public:
    // Truncate: a new file with the header line. Append: rows go after what
    // the file holds; a file that does not exist yet gets the header.
    enum class TMode
    {
        Truncate,
        Append
    };
    [[nodiscard]] bool open(const QString& fileName, TMode mode);
    [[nodiscard]] bool isOpen() const { return m_file.isOpen(); }
    // The lines of rows first .. first+count-1 of the store.
    [[nodiscard]] bool appendRows(const TLogStore& store, qsizetype first, qsizetype count);
    // Asks the system to put what was written on the disk.
    void sync();
    void close() { m_file.close(); }
    [[nodiscard]] QString errorString() const { return m_file.errorString(); }
    [[nodiscard]] QString fileName() const { return m_file.fileName(); }

private:
    [[nodiscard]] bool write(const QByteArray& bytes);
    QFile m_file;
};

class TLogJournal : public QObject
{
    Q_OBJECT
public:
    // Takes the journal in `folder` (made when missing). While another
    // running copy of the program holds it, this one keeps none: active()
    // is false and every call does nothing.
    explicit TLogJournal(const QString& folder, QObject* parent = nullptr);
    ~TLogJournal() override;
    TLogJournal(const TLogJournal&) = delete;
    TLogJournal& operator=(const TLogJournal&) = delete;

    [[nodiscard]] bool active() const { return m_active; }
    [[nodiscard]] QString filePath() const { return m_path; }

    // The rows a journal left by an earlier run holds (none: empty store
    // and false). Rows come back as the text log reader reads them.
    [[nodiscard]] bool readLeftover(TLogStore& out) const;
    // After a restore: new rows go after the ones restored.
    void adoptLeftover() { m_continue = true; }

    // Writes rows that entered the table; false (once reported through
    // errorString) when the journal could not be written.
    [[nodiscard]] bool append(const TLogStore& store, qsizetype first, qsizetype count);
    // The rows are safe elsewhere or given up: the journal goes.
    void remove();
    [[nodiscard]] QString errorString() const { return m_error; }

private:
    bool m_active = false;
    bool m_continue = false; // the file on disk is this run's own
    QString m_path;
    QString m_error;
    std::unique_ptr<QLockFile> m_lock;
    TFlushedTextLog m_log;
    // A crash keeps what was written; a power cut keeps what was synced,
    // which is at most a second behind.
    QTimer m_syncTimer;
};

} // namespace varnetta::log
