// The log files: which form a file name means, and the name a save gets.
// The text form is in LogTextFile.cpp, the XML data packet in LogXmlFile.cpp.
#include "LogFiles.h"

namespace varnetta::log {

TLogFileKind LogFileKind(const QString& fileName)
{
    return fileName.endsWith(QLatin1String(".xml"), Qt::CaseInsensitive) ? TLogFileKind::Xml
                                                                         : TLogFileKind::Text;
}

QString LogSaveFileName(const QString& fileName)
{
    for (const char* ext : {".xml", ".xls", ".txt"})
        if (fileName.endsWith(QLatin1String(ext), Qt::CaseInsensitive))
            return fileName;
    return fileName + QLatin1String(".xls");
}

} // namespace varnetta::log
