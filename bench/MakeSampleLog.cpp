// make_sample_log ROWS FILE: writes ROWS rows as a long recording gives
// them, in the form FILE's extension names (.xml: the XML data packet;
// otherwise tab-separated text), with the program's own writers.
#include "support/LogSampleRows.h"

#include "log/LogFiles.h"
#include "log/LogStore.h"

#include <QCoreApplication>
#include <QSaveFile>

#include <cstdio>

using namespace varnetta::log;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    bool ok = false;
    const qsizetype rows = args.size() == 3 ? args[1].toLongLong(&ok) : 0;
    if (!ok || rows < 0) {
        std::fputs("usage: make_sample_log ROWS FILE\n", stderr);
        return 2;
    }
    TLogStore store;
    bench::FillSampleLog(store, rows);
    QSaveFile file(args[2]);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(args[2]));
        return 1;
    }
    const bool written = LogFileKind(args[2]) == TLogFileKind::Xml ? WriteXmlPacket(store, file)
                                                                   : WriteTextLog(store, file, DefaultTextLogHeader());
    if (!written || !file.commit()) {
        std::fprintf(stderr, "writing %s failed\n", qPrintable(args[2]));
        return 1;
    }
    return 0;
}
