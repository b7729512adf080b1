// Window glue of the LCD panel and the limit comparator.
#include "ufrmMain.h"

#include "display/widgets/uLcdPanel.h"
#include "log/widgets/uComparator.h"
#include "protocol/Reading.h"

#include <QWidget>

namespace varnetta::app {

QWidget* TfrmMain::createLcdPanel(QWidget* parent)
{
    m_lcd = new display::TLcdPanel(parent);
    return m_lcd;
}

QWidget* TfrmMain::createComparatorPanel(QWidget* parent)
{
    // The limit edits accept the system's separator, the one FormCreate reads.
    m_comparator = new log::TComparatorPanel(protocol::GetDecimalSeparator(), parent);
    return m_comparator;
}

void TfrmMain::setupDisplay()
{
    using protocol::TFrameDispatcher;
    connect(&m_dispatcher, &TFrameDispatcher::unitChanged, m_lcd, &display::TLcdPanel::SetUnitText);
    connect(&m_dispatcher, &TFrameDispatcher::functionSymbols, m_lcd,
            &display::TLcdPanel::SetFunctionSymbols);
    // The display fields first, then the verdict; the log row follows.
    connect(&m_dispatcher, &TFrameDispatcher::readingDecoded, m_lcd, &display::TLcdPanel::ShowReading);
    connect(&m_dispatcher, &TFrameDispatcher::readingDecoded, m_comparator, &log::TComparatorPanel::Judge);
    // A memory record's texts reach the fields through the memory download
    // (frmMainCommands.cpp), in its order of record handling.
    connect(&m_dispatcher, &TFrameDispatcher::statusReceived, m_lcd,
            &display::TLcdPanel::CP21041ReceiveStatusData);
    connect(&m_dispatcher, &TFrameDispatcher::frameHandled, m_lcd, &display::TLcdPanel::FlipActivity);
}

} // namespace varnetta::app
