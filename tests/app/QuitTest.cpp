// Quitting with recorded rows that were never saved: Save, Discard or
// Cancel; without such rows the plain confirmation of before.
#include "controls/NewMsgDlg.h"
#include "app/ufrmMain.h"
#include "log/LogFiles.h"
#include "log/LogJournal.h"
#include "log/widgets/uLogPanel.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace varnetta;

namespace {

class QuitWithUnsavedRows : public testing::Test
{
protected:
    void SetUp() override
    {
        m_previous = app::SetMsgDlgHook([this](const QString& msg, app::TMsgDlgType, app::TMsgDlgButtons) {
            m_messages << msg;
            return int(app::mrYes);
        });
        m_window = std::make_unique<app::TfrmMain>();
        m_window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    }
    void TearDown() override
    {
        m_window.reset();
        app::SetMsgDlgHook(m_previous);
    }

    void record(int rows)
    {
        protocol::TReading r;
        r.FunMode = protocol::fmFRQ;
        r.Value = "50.00";
        r.Unit = "Hz";
        for (int i = 0; i < rows; ++i)
            m_window->logPanel()->recorder().AppendLogRow(r, false);
    }

    // Answers the quit question with `button` once it shows (then runs
    // `next`, for the dialog that follows), and returns whether the window
    // closed; `question` receives its text.
    bool quitAnswering(QMessageBox::StandardButton button, QString* question = nullptr,
                       std::function<void()> next = {})
    {
        QTimer::singleShot(0, [&] {
            QMessageBox* box = nullptr;
            QTRY_VERIFY((box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())));
            EXPECT_EQ(box->objectName(), "dlgSaveBeforeQuit");
            if (question)
                *question = box->text() + ' ' + box->informativeText();
            if (next)
                QTimer::singleShot(0, next);
            QTest::mouseClick(box->button(button), Qt::LeftButton);
        });
        return m_window->close();
    }

    std::unique_ptr<app::TfrmMain> m_window;
    app::TMsgDlgHook m_previous;
    QStringList m_messages;
    QTemporaryDir m_dir;
};

} // namespace

TEST_F(QuitWithUnsavedRows, CancelKeepsTheWindowRowsAndJournal)
{
    record(3);
    const QString journal = m_window->logPanel()->journal()->filePath();
    ASSERT_TRUE(QFile::exists(journal));
    QString question;
    EXPECT_FALSE(quitAnswering(QMessageBox::Cancel, &question));
    EXPECT_EQ(question, "The log holds 3 recorded rows that have not been saved. Save them before quitting?");
    EXPECT_TRUE(m_window->isVisible());
    EXPECT_EQ(m_window->logPanel()->store().rowCount(), 3);
    EXPECT_TRUE(QFile::exists(journal));
    EXPECT_TRUE(m_messages.isEmpty()); // not the plain confirmation as well
}

TEST_F(QuitWithUnsavedRows, DiscardQuitsAndLeavesNothingToRecover)
{
    record(2);
    const QString journal = m_window->logPanel()->journal()->filePath();
    EXPECT_TRUE(quitAnswering(QMessageBox::Discard));
    EXPECT_FALSE(QFile::exists(journal));
    // Rows still arriving before the port closes start no new journal.
    record(1);
    EXPECT_FALSE(QFile::exists(journal));
}

TEST_F(QuitWithUnsavedRows, SaveWritesTheFileThenQuitsButACancelledSaveDialogDoesNot)
{
    record(4);
    const QString journal = m_window->logPanel()->journal()->filePath();
    const QString file = m_dir.filePath("quit.xls");
    const auto answerSaveDialog = [&](bool accept) {
        return [&, accept] {
            QFileDialog* dialog = nullptr;
            QTRY_VERIFY((dialog = m_window->findChild<QFileDialog*>(QStringLiteral("SaveDialog1"))));
            QTRY_VERIFY(dialog->isVisible());
            if (accept) {
                dialog->selectFile(file);
                static_cast<QDialog*>(dialog)->accept(); // the file dialog's own check runs
            } else {
                dialog->reject();
            }
        };
    };
    EXPECT_FALSE(quitAnswering(QMessageBox::Save, nullptr, answerSaveDialog(false)));
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_TRUE(QFile::exists(journal));

    EXPECT_TRUE(quitAnswering(QMessageBox::Save, nullptr, answerSaveDialog(true)));
    log::TLogStore saved;
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log::ReadTextLog(f, saved));
    EXPECT_EQ(saved.rowCount(), 4);
    EXPECT_FALSE(QFile::exists(journal));
    EXPECT_EQ(m_messages, QStringList{"Save table to specified file: " + file + " Scuss!"});
}

TEST_F(QuitWithUnsavedRows, RowsSavedBeforeBringBackThePlainConfirmation)
{
    record(2);
    ASSERT_TRUE(m_window->logPanel()->SaveLogFile(m_dir.filePath("a.xls")));
    m_messages.clear();
    EXPECT_TRUE(m_window->close());
    EXPECT_EQ(m_messages, QStringList{"Are you sure that you want to quit this application?"});
}
