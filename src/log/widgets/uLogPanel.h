// The log's half of the window: the log toolbar, the pause bar and the grid
// over the log table, with the Record menu's items and the log file dialogs.
// The window places it and wires the dispatcher and the chart to it.
#pragma once

#include "log/LogFiles.h"
#include "log/LogRecorder.h"
#include "log/LogStore.h"
#include "log/LogTableModel.h"
#include "log/widgets/StatisticsDialog.h"

#include <QElapsedTimer>

#include <algorithm>
#include <QTimer>
#include <QWidget>

#include <functional>

class QAction;
class QEventLoop;
class QCheckBox;
class QLabel;
class QMenu;
class QPushButton;
class QTableView;
class QToolBar;
class QToolButton;

namespace varnetta::app {
class TCEdit;
}

namespace varnetta::log {

// The plain message box of a successful XML save (not the message dialog);
// tests replace it. Returns the previous hook.
using TPlainMessageHook = std::function<void(const QString& text)>;
TPlainMessageHook SetPlainMessageHook(TPlainMessageHook hook);

// What the window says when recording stopped at the record limit.
[[nodiscard]] QString RecordLimitNotice(qsizetype limit);

// Called on the worker thread when a file load or save starts (done 0) and
// whenever it reports progress; tests make it throw or wait there. Returns
// the previous hook.
using TFileWorkHook = std::function<void(qint64 done)>;
TFileWorkHook SetFileWorkHook(TFileWorkHook hook);

class TLogJournal;

class TLogPanel : public QWidget
{
    Q_OBJECT
public:
    explicit TLogPanel(QWidget* parent = nullptr);
    ~TLogPanel() override;
    TLogPanel(const TLogPanel&) = delete;
    TLogPanel& operator=(const TLogPanel&) = delete;

    [[nodiscard]] TLogStore& store() { return m_store; }
    [[nodiscard]] TLogRecorder& recorder() { return m_recorder; }
    [[nodiscard]] TLogTableModel& model() { return m_model; }
    [[nodiscard]] QTableView* grid() const { return DBGrid1; }
    // Live rows reach the grid at most this often: a row alone at once, the
    // rows of a burst together. 0: each at once.
    static constexpr int kDefaultLivePaceMs = 100;
    void setLivePace(int ms) { m_livePaceMs = std::max(0, ms); }
    // The pop-out and print buttons of other parts go on this toolbar.
    [[nodiscard]] QToolBar* toolBar() const { return ToolBar4; }
    [[nodiscard]] QToolButton* printButton() const { return btnRecordPrint; }
    [[nodiscard]] QPushButton* pauseButton() const { return btnPause; }

    // "Clear", "Save", a separator and the record-limit items.
    void buildRecordMenu(QMenu* menu);

    // Record > Statistics...: the window tells it where the chart's page and
    // the comparator's verdicts are read.
    void setStatisticsSources(TPageFiguresSource page, TVerdictCountsSource verdicts);
    // Made on first use; null before.
    [[nodiscard]] TStatisticsDialog* statisticsDialog() const { return m_statisticsDialog; }

    // Handlers, under the names the rest of the window knows them by.
    void btnRecordNewClick(); // also the chart's btnNew and the menu's Clear
    void btnRecordOpenClick();
    void btnRecordSaveClick();
    void cbIntervalClick();
    void edtRecIntervalChange();
    void timerInputDelayTimer();
    void btnPauseClick();

    // Both run the file work on a worker thread and return when it has
    // ended, the event loop turning meanwhile (progress with Cancel after a
    // moment). Rows recorded meanwhile enter the table afterwards. True when
    // the file was written or read completely.
    bool SaveLogFile(const QString& FileName);
    bool LoadLogFile(const QString& FileName, bool EmptyFirst);
    // The save dialog, then the save; true when the table was saved.
    bool saveWithDialog();
    // Asks the running file work to stop; the table stays as it was.
    void cancelFileWork();

    // Rows recorded (or restored) since the table was last saved, cleared
    // or replaced by a file.
    [[nodiscard]] qsizetype unsavedRows() const { return m_unsavedRows; }

    // The recovery journal: recorded rows are written to a file in `folder`
    // as they come (none when the folder is empty or another copy of the
    // program holds it).
    void setJournalFolder(const QString& folder);
    [[nodiscard]] TLogJournal* journal() const { return m_journal; }
    // A journal left by a run that did not end cleanly: asks whether to
    // restore its rows; returns the number restored.
    qsizetype offerRestore();
    // A clean end: the journal goes and no further rows are written to it.
    void closeJournal();

    // A memory record arrived: the log pauses and the button says so in red.
    void showPausedByMemoryRecord();
    // True while a file is being saved or loaded.
    [[nodiscard]] bool busy() const { return m_busy; }

    // Column widths: the user's, remembered across runs, or else wide enough
    // for title and contents in the grid's font.
    void fitColumns();
    [[nodiscard]] QLabel* noticeLabel() const { return lblLogNotice; }

    [[nodiscard]] QTimer& timerInputDelay() { return m_timerInputDelay; }
    [[nodiscard]] int lastAcceptedInterval() const { return m_lastInterval; }

Q_SIGNALS:
    // The user released btnPause: the export overlays are to be hidden.
    void logResumed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void limitItemClick(QAction* item);
    void followLastRow();
    void showLogNotice();
    void columnResized(int column, int newWidth);
    void saveUserColumnWidths();
    // A text save met a value with a line break: ask to save as XML instead.
    [[nodiscard]] bool offerXmlSave(const QString& textName, const QString& note);
    void setBusy(bool busy);
    void rowsRecorded(qsizetype first, qsizetype count);
    void rowsSafe();

    TLogStore m_store;
    TLogRecorder m_recorder;
    TLogTableModel m_model;
    QTimer m_timerInputDelay;
    int m_livePaceMs = kDefaultLivePaceMs;
    QTimer m_followTimer;
    QElapsedTimer m_lastFollow;
    int m_lastInterval = 1;
    bool m_busy = false;
    qsizetype m_unsavedRows = 0;
    TLogJournal* m_journal = nullptr;
    bool m_journalFailureShown = false;
    QMenu* m_recordMenu = nullptr;
    QList<int> m_userWidths;      // empty: none chosen; else one per column
    bool m_fittingColumns = false;
    QWidget* m_headerViewport = nullptr;
    bool m_headerPressed = false; // a resize now is the user's
    bool m_userResized = false;
    QAction* mniNew1 = nullptr;
    QAction* mniSave1 = nullptr;
    QAction* mniStatistics1 = nullptr;
    TStatisticsDialog* m_statisticsDialog = nullptr;
    TPageFiguresSource m_pageFigures;
    TVerdictCountsSource m_verdictCounts;
    class TFileWork;
    TFileWork* m_work = nullptr;
    class TBusyScope;

    QToolBar* ToolBar4 = nullptr;
    QCheckBox* cbRepeat = nullptr;
    QCheckBox* cbInterval = nullptr;
    app::TCEdit* edtRecInterval = nullptr;
    QLabel* lblRecInterval = nullptr;
    QToolButton* btnRecordNew = nullptr;
    QToolButton* btnRecordOpen = nullptr;
    QToolButton* btnRecordSave = nullptr;
    QToolButton* btnRecordPrint = nullptr;
    QWidget* pnlPause = nullptr;
    QPushButton* btnPause = nullptr;
    QLabel* lblLogNotice = nullptr; // why live readings are not being logged
    QTableView* DBGrid1 = nullptr;
};

} // namespace varnetta::log
