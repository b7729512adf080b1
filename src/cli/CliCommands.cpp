#include "CliCommands.h"

#include "link/uCP2110.h"
#include "log/LogFiles.h"
#include "log/LogJournal.h"
#include "log/LogRecorder.h"
#include "log/LogStore.h"
#include "protocol/FrameDispatcher.h"
#include "protocol/MeterCommands.h"
#include "protocol/MeterFrame.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QSaveFile>
#include <QTextStream>
#include <QTimer>

namespace varnetta::cli {

namespace {

// Without a chunk for this long the meter counts as silent, as the window's
// watchdog has it.
constexpr int kSilenceMs = 10000;

QPointer<QObject> g_running;

QString normalisedKey(QStringView text)
{
    QString out;
    for (QChar c : text)
        if (c.isLetterOrNumber())
            out += c.toLower();
    return out;
}

// The port as the window sets it up: library beside the program, messages
// to standard error instead of a message box.
class TPortSession : public QObject
{
public:
    TPortSession(const link::TUsbIds& ids, QTextStream& err) : m_err(err)
    {
        link::TCP2110::setMissingLibraryNotice([this](const QString& text) {
            m_err << "varnetta-cli: " << text << " (" << link::TBridgeLibrary::kFileName
                  << " is looked for in " << link::SelectedBridgeFolder() << ")\n";
            m_err.flush();
        });
        m_port = std::make_unique<link::TCP2110>(this);
        m_port->setUsbIds(ids);
        connect(m_port.get(), &link::TCP2110::OnError, this, [this](uint32_t code, const QString& text) {
            m_lastError = code == link::TCP2110::kAccessError ? link::NodeAccessText(text)
                                                               : QStringLiteral("%1 (%2)").arg(text).arg(code);
        });
        connect(m_port.get(), &link::TCP2110::OnReceiveData, this,
                [this](const uint8_t* data, uint32_t len) { m_assembly.CP21101ReceiveData(data, int(len)); });
        connect(&m_assembly, &protocol::TReceiveAssembly::frameReady, &m_dispatcher,
                &protocol::TFrameDispatcher::CP21041ReceiveData);
        m_dispatcher.setDecimalSeparator(protocol::GetDecimalSeparator());
    }
    ~TPortSession() override
    {
        if (m_port)
            m_port->Disconnect();
        link::TCP2110::setMissingLibraryNotice({});
    }

    link::TCP2110& port() { return *m_port; }
    protocol::TReceiveAssembly& assembly() { return m_assembly; }
    protocol::TFrameDispatcher& dispatcher() { return m_dispatcher; }

    // Opens the bridge the window would choose: the first serial of the
    // list, sorted ignoring case.
    [[nodiscard]] int connectFirst()
    {
        if (!m_port->isBound())
            return kExitNoLibrary;
        const QStringList& devices = m_port->DeviceList();
        if (devices.isEmpty()) {
            m_err << "varnetta-cli: No device found.  Please ensure that you have proper USB connection.\n";
            return kExitNoDevice;
        }
        m_port->setDeviceName(devices.first().section(QLatin1Char('='), 0, 0));
        if (!m_port->Connect()) {
            m_err << "varnetta-cli: could not open " << m_port->DeviceName()
                  << (m_lastError.isEmpty() ? QString() : QStringLiteral(": ") + m_lastError) << "\n";
            m_err.flush();
            return kExitNoDevice;
        }
        return kExitOk;
    }

    [[nodiscard]] bool send(uint8_t code)
    {
        if (!m_port->Connected())
            return false;
        QByteArray frame = m_sequencer.BuildCommandFrame(code);
        uint32_t written = 0;
        return m_port->Write(reinterpret_cast<uint8_t*>(frame.data()), uint32_t(frame.size()), written) &&
               written == uint32_t(frame.size());
    }

private:
    QTextStream& m_err;
    std::unique_ptr<link::TCP2110> m_port;
    protocol::TReceiveAssembly m_assembly;
    protocol::TFrameDispatcher m_dispatcher;
    protocol::TCommandSequencer m_sequencer;
    QString m_lastError;
};

// Where rows go: tab-separated lines flushed one by one, to the file or to
// standard output. A .xml file is a complete XML data packet after every
// row, so a run that is killed leaves every reported row in a file the
// program opens: each row overwrites the closing tags and writes them again
// behind it, in one write. A clean end replaces it with the whole table's
// packet, change log included.
class TRowOutput
{
public:
    TRowOutput(const QString& fileName, QIODevice& standardOut, QTextStream& err)
        : m_fileName(fileName), m_stdout(standardOut), m_err(err),
          m_xml(!fileName.isEmpty() && log::LogFileKind(fileName) == log::TLogFileKind::Xml)
    {
    }

    [[nodiscard]] bool open()
    {
        if (m_xml) {
            m_xmlFile.setFileName(m_fileName);
            if (!m_xmlFile.open(QIODevice::ReadWrite | QIODevice::Truncate | QIODevice::Unbuffered)) {
                m_err << "varnetta-cli: cannot write " << m_fileName << ": " << m_xmlFile.errorString() << "\n";
                return false;
            }
            const QByteArray start = log::XmlPacketStart();
            if (!writeXml(start))
                return false;
            m_xmlEnd = start.size();
        }
        if (m_fileName.isEmpty() || m_xml)
            return write(log::TextLogHeaderLine());
        // Each row reaches the system as it comes, as the window's journal.
        if (!m_file.open(m_fileName, log::TFlushedTextLog::TMode::Truncate)) {
            m_err << "varnetta-cli: cannot write " << m_fileName << ": " << m_file.errorString() << "\n";
            return false;
        }
        return true;
    }

    [[nodiscard]] bool rowAdded(const log::TLogStore& store, qsizetype row)
    {
        if (m_xml) {
            const QByteArray element = log::XmlRowElement(store, row);
            if (!writeXml(element))
                return false;
            m_xmlEnd += element.size();
        }
        const std::optional<QByteArray> line = log::TextLogRowLine(store, row);
        if (!line) {
            m_err << "varnetta-cli: row " << row + 1
                  << " holds a line break inside a field, which a tab-separated log cannot carry; it is left out"
                  << (m_xml ? " here and kept in " + m_fileName : QStringLiteral(" (an .xml output keeps it)"))
                  << "\n";
            m_err.flush();
            return true;
        }
        if (!m_file.isOpen())
            return write(*line);
        if (m_file.appendRows(store, row, 1))
            return true;
        m_err << "varnetta-cli: write failed: " << m_file.errorString() << "\n";
        return false;
    }

    [[nodiscard]] bool finish(const log::TLogStore& store)
    {
        if (!m_xml)
            return true;
        // Unbuffered: the writer buffers itself, and a write that fails only
        // when QSaveFile flushes its buffer in commit() is not reported.
        QSaveFile file(m_fileName);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || !log::WriteXmlPacket(store, file) ||
            !file.commit()) {
            m_err << "varnetta-cli: could not save " << m_fileName << ": " << file.errorString()
                  << " (the rows are in it as written during the run)\n";
            return false;
        }
        return true;
    }

private:
    [[nodiscard]] bool write(const QByteArray& bytes)
    {
        if (m_stdout.write(bytes) != bytes.size()) {
            m_err << "varnetta-cli: write failed: " << m_stdout.errorString() << "\n";
            return false;
        }
        if (auto* file = qobject_cast<QFile*>(&m_stdout))
            file->flush();
        return true;
    }

    // `bytes` at the end of the rows, then the closing tags again.
    [[nodiscard]] bool writeXml(const QByteArray& bytes)
    {
        const QByteArray piece = bytes + log::XmlPacketEnd();
        if (!m_xmlFile.seek(m_xmlEnd) || m_xmlFile.write(piece) != piece.size()) {
            m_err << "varnetta-cli: write failed: " << m_xmlFile.errorString() << "\n";
            // A part of the row may stand where the closing tags were (a full
            // disk): put them back behind the rows written so far.
            if (m_xmlFile.resize(m_xmlEnd) && m_xmlFile.seek(m_xmlEnd))
                (void)m_xmlFile.write(log::XmlPacketEnd());
            return false;
        }
        return true;
    }

    QString m_fileName;
    QIODevice& m_stdout;
    QTextStream& m_err;
    bool m_xml;
    log::TFlushedTextLog m_file;
    QFile m_xmlFile;
    qint64 m_xmlEnd = 0; // where the closing tags start
};

// What log and export share: the bridge the window would choose opened,
// the output started, a table without a record limit.
struct TRecordingRun
{
    TRecordingRun(const TOptions& options, QIODevice& out, QTextStream& err)
        : output(options.output, out, err), session(options.usbIds, err), recorder(store)
    {
        recorder.setRecordLimit(log::kMaxLogRows);
    }

    [[nodiscard]] int start()
    {
        if (const int rc = session.connectFirst(); rc != kExitOk)
            return rc;
        return output.open() ? kExitOk : kExitFailure;
    }

    TRowOutput output;
    TPortSession session;
    log::TLogStore store;
    log::TLogRecorder recorder;
};

// Runs the event loop until `done` is called or a stop is requested;
// returns the code given to done (kExitOk on a stop request).
class TRunLoop : public QObject
{
public:
    TRunLoop() { g_running = this; }
    ~TRunLoop() override { g_running = nullptr; }
    void done(int code)
    {
        if (m_finished)
            return;
        m_finished = true;
        m_code = code;
        QCoreApplication::exit(code);
    }
    [[nodiscard]] int exec()
    {
        if (m_finished)
            return m_code;
        QCoreApplication::exec();
        return m_code;
    }

private:
    bool m_finished = false;
    int m_code = kExitOk;
};

int writeAll(QIODevice& out, const QByteArray& bytes)
{
    return out.write(bytes) == bytes.size() ? kExitOk : kExitFailure;
}

} // namespace

void RequestStop()
{
    if (auto* loop = static_cast<TRunLoop*>(g_running.data()))
        loop->done(kExitOk);
}

std::optional<uint8_t> ResolveKey(const QString& text, QString& error)
{
    bool ok = false;
    const uint code = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? text.mid(2).toUInt(&ok, 16)
                                                                                : text.toUInt(&ok, 10);
    if (ok) {
        if (code > 0xFF) {
            error = QStringLiteral("a command code is one byte, 0 to 255 (0x00 to 0xFF)");
            return std::nullopt;
        }
        return uint8_t(code);
    }
    const QString wanted = normalisedKey(text);
    QList<const protocol::TMeterCommand*> matches;
    for (const protocol::TMeterCommand& c : protocol::kMeterCommands) {
        if (c.control.empty())
            continue;
        const QString control =
            normalisedKey(QString::fromLatin1(c.control.data(), qsizetype(c.control.size())));
        const QString caption =
            normalisedKey(QString::fromLatin1(c.caption.data(), qsizetype(c.caption.size())));
        const QString bare = control.startsWith(QLatin1String("btncmd")) ? control.mid(6) : control;
        if (wanted == control || wanted == caption || wanted == bare)
            matches << &c;
    }
    if (matches.size() == 1)
        return matches.first()->code;
    if (matches.isEmpty()) {
        error = QStringLiteral("no meter command is called \"%1\"").arg(text);
    } else {
        QStringList names;
        for (const auto* c : matches)
            names << QString::fromLatin1(c->control.data(), qsizetype(c->control.size()));
        error = QStringLiteral("\"%1\" may mean %2; give the control name")
                    .arg(text, names.join(QStringLiteral(", ")));
    }
    return std::nullopt;
}

int RunList(const TOptions& options, QIODevice& out, QTextStream& err)
{
    TPortSession session(options.usbIds, err);
    if (!session.port().isBound())
        return kExitNoLibrary;
    QByteArray text;
    for (const QString& entry : session.port().DeviceList())
        text += entry.section(QLatin1Char('='), 0, 0).toUtf8() + '\t' +
                entry.section(QLatin1Char('='), 1).toUtf8() + '\n';
    return writeAll(out, text);
}

int RunKey(const TOptions& options, QTextStream& err)
{
    QString error;
    const std::optional<uint8_t> code = ResolveKey(options.arguments.value(0), error);
    if (!code) {
        err << "varnetta-cli: " << error << "\n";
        return kExitUsage;
    }
    TPortSession session(options.usbIds, err);
    if (const int rc = session.connectFirst(); rc != kExitOk)
        return rc;
    if (!session.send(*code)) {
        err << "varnetta-cli: the command could not be written to the meter\n";
        return kExitFailure;
    }
    return kExitOk;
}

int RunLog(const TOptions& options, QIODevice& out, QTextStream& err)
{
    TRecordingRun run(options, out, err);
    if (const int rc = run.start(); rc != kExitOk)
        return rc;
    auto& [output, session, store, recorder] = run;
    recorder.setDecimalSeparator(session.dispatcher().decimalSeparator());
    recorder.setTimeSeparator(log::SystemTimeSeparator());
    if (options.intervalSeconds > 0) {
        recorder.setSamplingSeconds(options.intervalSeconds);
        recorder.setSamplingActive(true);
    }
    QObject::connect(&session.dispatcher(), &protocol::TFrameDispatcher::readingDecoded, &recorder,
                     &log::TLogRecorder::readingDecoded);

    TRunLoop loop;
    qsizetype written = 0;
    QObject::connect(&recorder, &log::TLogRecorder::rowsAppended, &loop, [&] {
        // One chunk can carry several readings: never write past the count.
        while (written < store.rowCount() && (options.count < 0 || written < options.count)) {
            if (!output.rowAdded(store, written)) {
                loop.done(kExitFailure);
                return;
            }
            ++written;
        }
        if (options.count > 0 && written >= options.count)
            loop.done(kExitOk);
    });

    QTimer silence;
    silence.setSingleShot(true);
    silence.setInterval(kSilenceMs);
    QObject::connect(&silence, &QTimer::timeout, &loop, [&] {
        err << "varnetta-cli: USB interface cable is not connected properly, please check and re-try.\n";
        loop.done(kExitTimeout);
    });
    QObject::connect(&session.assembly(), &protocol::TReceiveAssembly::chunkReceived, &silence,
                     qOverload<>(&QTimer::start));
    silence.start();
    QObject::connect(&session.port(), &link::TCP2110::OnDisconnect, &loop, [&] {
        err << "varnetta-cli: the meter was disconnected\n";
        loop.done(kExitFailure);
    });

    QTimer duration;
    if (options.durationSeconds > 0) {
        duration.setSingleShot(true);
        QObject::connect(&duration, &QTimer::timeout, &loop, [&] { loop.done(kExitOk); });
        duration.start(int(std::min(options.durationSeconds * 1000.0, 2.0e9)));
    }

    int rc = loop.exec();
    QObject::disconnect(&session.port(), &link::TCP2110::OnDisconnect, &loop, nullptr);
    if (!output.finish(store) && rc == kExitOk)
        rc = kExitFailure;
    return rc;
}

int RunExport(const TOptions& options, QIODevice& out, QTextStream& err)
{
    TRecordingRun run(options, out, err);
    if (const int rc = run.start(); rc != kExitOk)
        return rc;
    auto& [output, session, store, recorder] = run;
    TRunLoop loop;
    bool ended = false;
    auto& dispatcher = session.dispatcher();
    QObject::connect(&dispatcher, &protocol::TFrameDispatcher::memoryRecordReceived, &loop,
                     [&](const protocol::TReading& reading) {
                         recorder.AppendLogRow(reading, true);
                         if (!output.rowAdded(store, store.rowCount() - 1))
                             loop.done(kExitFailure);
                     });
    QObject::connect(&dispatcher, &protocol::TFrameDispatcher::exportEndReceived, &loop,
                     [&] { ended = true; });
    // Every memory frame, the end frame included, is acknowledged.
    QObject::connect(&dispatcher, &protocol::TFrameDispatcher::exportAcknowledgeDue, &loop, [&] {
        if (!session.send(protocol::kCmdExportAck)) {
            err << "varnetta-cli: the acknowledgement could not be written\n";
            loop.done(kExitFailure);
        } else if (ended) {
            err << "varnetta-cli: Export memory data has been successfully! " << store.rowCount()
                << " records\n";
            loop.done(kExitOk);
        }
    });

    QTimer silence;
    silence.setSingleShot(true);
    silence.setInterval(kSilenceMs);
    QObject::connect(&silence, &QTimer::timeout, &loop, [&] {
        err << "varnetta-cli: the meter sent nothing for " << kSilenceMs / 1000 << " seconds\n";
        loop.done(kExitTimeout);
    });
    QObject::connect(&session.assembly(), &protocol::TReceiveAssembly::chunkReceived, &silence,
                     qOverload<>(&QTimer::start));

    // The export's pace: the reader polls at 1 ms while records come.
    const uint32_t pollPause = link::TCP2110::pollPause();
    link::TCP2110::setPollPause(1);
    if (!session.send(protocol::kCmdExportData)) {
        err << "varnetta-cli: the export request could not be written\n";
        link::TCP2110::setPollPause(pollPause);
        return kExitFailure;
    }
    silence.start();
    int rc = loop.exec();
    link::TCP2110::setPollPause(100);
    if (!output.finish(store) && rc == kExitOk)
        rc = kExitFailure;
    return rc;
}

int RunConvert(const QString& in, const QString& out, QTextStream& err)
{
    QFile source(in);
    if (!source.open(QIODevice::ReadOnly)) {
        err << "varnetta-cli: cannot read " << in << ": " << source.errorString() << "\n";
        return kExitFailure;
    }
    log::TLogStore store;
    const bool read = log::LogFileKind(in) == log::TLogFileKind::Xml ? log::ReadXmlPacket(source, store)
                                                                     : log::ReadTextLog(source, store);
    if (!read) {
        err << "varnetta-cli: Failed to Load File! (" << in << ")\n";
        return kExitFailure;
    }
    const QString target = log::LogSaveFileName(out);
    const bool xml = log::LogFileKind(target) == log::TLogFileKind::Xml;
    QSaveFile file(target);
    bool written = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered); // see TRowOutput::finish
    if (written)
        written = xml ? log::WriteXmlPacket(store, file) : log::WriteTextLog(store, file, log::DefaultTextLogHeader());
    if (!written && !xml) {
        if (const QString note = log::TextLogLineBreakNote(store); !note.isEmpty()) {
            file.cancelWriting();
            err << "varnetta-cli: Could not save table to specified file: " << target << " (" << note
                << " Convert to an .xml file instead.)\n";
            return kExitFailure;
        }
    }
    if (!written || !file.commit()) {
        err << "varnetta-cli: Could not save table to specified file: " << target << " ("
            << file.errorString() << ")\n";
        return kExitFailure;
    }
    return kExitOk;
}

int RunDecode(QIODevice& in, QIODevice& out, QTextStream& err)
{
    protocol::TReceiveAssembly assembly;
    protocol::TFrameDispatcher dispatcher;
    dispatcher.setDecimalSeparator(".");
    bool failed = false;

    QObject::connect(
        &assembly, &protocol::TReceiveAssembly::frameReady, &assembly, [&](const QByteArray& frame) {
            enum class Seen
            {
                Nothing,
                Reading,
                ExportEnd
            } seen = Seen::Nothing;
            protocol::TStatusBytes status{};
            bool haveStatus = false;
            const auto c1 = QObject::connect(&dispatcher, &protocol::TFrameDispatcher::readingDecoded,
                                             [&](const protocol::TReading&) { seen = Seen::Reading; });
            const auto c2 = QObject::connect(&dispatcher, &protocol::TFrameDispatcher::memoryRecordReceived,
                                             [&](const protocol::TReading&) { seen = Seen::Reading; });
            const auto c3 = QObject::connect(&dispatcher, &protocol::TFrameDispatcher::exportEndReceived,
                                             [&] { seen = Seen::ExportEnd; });
            const auto c4 = QObject::connect(&dispatcher, &protocol::TFrameDispatcher::statusReceived,
                                             [&](const protocol::TStatusBytes& s) {
                                                 status = s;
                                                 haveStatus = true;
                                             });
            dispatcher.CP21041ReceiveData(frame);
            for (const auto& c : {c1, c2, c3, c4})
                QObject::disconnect(c);

            const char type = frame.size() > 3 ? frame[3] : '?';
            QByteArray line(1, (type >= 0x21 && type < 0x7F) ? type : '?');
            const protocol::TReading& r = dispatcher.reading();
            if (seen == Seen::ExportEnd) {
                line += "\tExportEnd";
            } else if (seen == Seen::Reading) {
                line += '\t' + protocol::FunModeText(r.FunMode);
                for (const QByteArray& text :
                     {r.Display0, r.Value, r.SubValue1, r.SubValue2, r.Unit, r.SubUnit1, r.SubUnit2})
                    line += '\t' + text;
                if (haveStatus) {
                    line += '\t' +
                            QByteArray(reinterpret_cast<const char*>(status.data()), qsizetype(status.size()))
                                .toHex(' ');
                }
            } else {
                line += "\tignored";
            }
            line += '\n';
            if (out.write(line) != line.size())
                failed = true;
        });

    char buffer[4096];
    for (;;) {
        const qint64 n = in.read(buffer, sizeof buffer);
        if (n <= 0)
            break;
        assembly.CP21101ReceiveData(reinterpret_cast<const uint8_t*>(buffer), int(n));
        if (failed)
            break;
    }
    const protocol::TAssemblyCounters& c = assembly.counters();
    err << "bytes received " << c.bytesReceived << ", frames dispatched " << c.framesDispatched
        << ", checksum failures " << c.checksumFailures << ", bytes dropped " << c.bytesDropped
        << ", resyncs " << c.resyncs << "\n";
    return failed ? kExitFailure : kExitOk;
}

} // namespace varnetta::cli
