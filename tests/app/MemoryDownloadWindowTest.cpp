// A memory download through the main window: progress over the LCD, the
// log paused and resumed, rows without time stamps.
#include "app/CommandPanel.h"
#include "controls/NewMsgDlg.h"
#include "app/ufrmMain.h"
#include "display/widgets/uLcdPanel.h"
#include "log/LogStore.h"
#include "log/MemoryDownload.h"
#include "log/widgets/uLogPanel.h"
#include "protocol/FrameBuilders.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>

using namespace varnetta;
using protocol::testing::ExportEndFrame;
using protocol::testing::MemoryFrame;
using protocol::testing::ReadingFrame;

namespace {

class DownloadInWindow : public testing::Test
{
protected:
    void SetUp() override
    {
        m_previous = app::SetMsgDlgHook([this](const QString& msg, app::TMsgDlgType, app::TMsgDlgButtons) {
            m_messages.push_back(msg);
            return int(app::mrOk);
        });
        m_window = std::make_unique<app::TfrmMain>();
    }
    void TearDown() override
    {
        m_window.reset();
        app::SetMsgDlgHook(m_previous);
    }

    void feed(const QByteArray& bytes) { m_window->receiveAssembly().CP21101ReceiveData(bytes); }
    QString dots() { return m_window->findChild<QLabel*>(QStringLiteral("lblLoading"))->text(); }
    log::TLogStore& store() { return m_window->logPanel()->store(); }

    std::unique_ptr<app::TfrmMain> m_window;
    app::TMsgDlgHook m_previous;
    std::vector<QString> m_messages;
};

} // namespace

TEST_F(DownloadInWindow, ProgressPauseAndRowsFollowTheRecords)
{
    // A live row first: the records come after it.
    feed(ReadingFrame('6', "  1 50.00 230.1   4.20"));
    ASSERT_EQ(store().rowCount(), 1);

    for (int i = 1; i <= 21; ++i) {
        feed(MemoryFrame('0', "  1 0.5" + QByteArray::number(i % 10) + " 230.1   4.20"));
        if (i == 1) {
            EXPECT_FALSE(m_window->findChild<QLabel*>(QStringLiteral("lblBackToLive"))->isVisibleTo(m_window.get()))
                << "only once the download has ended";
        }
        if (i == 19) {
            EXPECT_EQ(dots(), QString(19, QLatin1Char('.')));
        }
        if (i == 20) {
            EXPECT_EQ(dots(), QString()) << "emptied at the twentieth";
        }
    }
    EXPECT_EQ(dots(), ".");
    EXPECT_EQ(m_window->lcdPanel()->loadCaption(), "Data transfering");
    EXPECT_TRUE(m_window->lcdPanel()->overlaysShown());
    QPushButton* pause = m_window->logPanel()->pauseButton();
    EXPECT_TRUE(pause->isChecked());
    EXPECT_EQ(pause->text(), "Log Data Mode Disabled");
    EXPECT_TRUE(m_window->dispatcher().logPaused());

    ASSERT_EQ(store().rowCount(), 22);
    EXPECT_FALSE(store().fieldText(0, log::fATime).isEmpty());
    for (qsizetype r = 1; r < 22; ++r) {
        EXPECT_TRUE(store().fieldText(r, log::fATime).isEmpty()) << r;
        EXPECT_EQ(store().fieldText(r, log::fAFunction), "PWRP") << r;
    }

    // Live readings are ignored while paused.
    feed(ReadingFrame('6', "  1 50.01 230.1   4.20"));
    EXPECT_EQ(store().rowCount(), 22);

    QSignalSpy done(m_window->memoryDownload(), &log::TMemoryDownload::exportCompleted);
    feed(ExportEndFrame());
    ASSERT_TRUE(done.wait(5000));
    EXPECT_EQ(m_window->lcdPanel()->loadCaption(), "Data transfer completed");
    EXPECT_EQ(dots(), QString());
    ASSERT_FALSE(m_messages.empty());
    EXPECT_EQ(m_messages.back(), "Export memory data has been successfully!");
    EXPECT_TRUE(m_window->lcdPanel()->overlaysShown()) << "until the user resumes";

    // The covered display and the pause bar say how to go back.
    auto* backToLive = m_window->findChild<QLabel*>(QStringLiteral("lblBackToLive"));
    ASSERT_NE(backToLive, nullptr);
    EXPECT_TRUE(backToLive->isVisibleTo(m_window.get()));
    EXPECT_TRUE(backToLive->text().contains("\"Log Data Mode Disabled\""));
    EXPECT_EQ(m_window->findChild<QLabel*>(QStringLiteral("pnlLoadLog"))->toolTip(), backToLive->text());
    QLabel* notice = m_window->logPanel()->noticeLabel();
    EXPECT_TRUE(notice->isVisibleTo(m_window.get()));
    EXPECT_TRUE(notice->text().contains("go back to live readings"));

    // Releasing btnPause resumes logging and hides the overlays.
    pause->click();
    EXPECT_FALSE(m_window->lcdPanel()->overlaysShown());
    EXPECT_FALSE(notice->isVisibleTo(m_window.get()));
    feed(ReadingFrame('6', "  1 50.02 230.1   4.20"));
    EXPECT_EQ(store().rowCount(), 23);
}

TEST_F(DownloadInWindow, EndFrameAloneLeavesTheLogRunningAndTheOverlaysHidden)
{
    QSignalSpy done(m_window->memoryDownload(), &log::TMemoryDownload::exportCompleted);
    feed(ExportEndFrame());
    ASSERT_TRUE(done.wait(5000));
    EXPECT_EQ(store().rowCount(), 0);
    EXPECT_FALSE(m_window->lcdPanel()->overlaysShown());
    EXPECT_FALSE(m_window->dispatcher().logPaused());
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0], "Export memory data has been successfully!");
}
