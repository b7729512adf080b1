// PrintLog: reception is held while the report's preview is open, so the
// link's watchdog does not drop the connection meanwhile, and it is given
// back however the preview ends.
#pragma once

#include <QByteArray>

#include <functional>

class QTimer;
class QWidget;

namespace varnetta::log {

class TLogStore;

// What printing holds of the link: the reader's pause and the watchdog.
struct TReceptionHold
{
    std::function<void(bool)> setReadPause;
    std::function<bool()> connected;
    QTimer* watchdog = nullptr;
};

// Pauses the reader and stops the watchdog, runs `produceAndShow`, then
// (also when it throws) starts the watchdog again if the link is connected
// and resumes the reader. An exception goes on to the caller.
void HoldReceptionWhile(const TReceptionHold& hold, const std::function<void()>& produceAndShow);

// The report of the whole table in the modal preview.
// `decimalSeparator`: the one the values were recorded with, for the
// report's optional statistics block.
void PrintLog(const TLogStore& store, const TReceptionHold& hold, QWidget* parent,
              const QByteArray& decimalSeparator = ".");

} // namespace varnetta::log
