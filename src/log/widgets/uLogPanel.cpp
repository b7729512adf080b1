#include "uLogPanel.h"

#include "GridColumns.h"
#include "StatisticsDialog.h"
#include "log/LogFiles.h"
#include "log/LogJournal.h"
#include "controls/CControls.h"
#include "controls/FileDialogs.h"
#include "controls/NewMsgDlg.h"
#include "controls/UserSettings.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QSaveFile>
#include <QStyle>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <atomic>
#include <new>
#include <system_error>
#include <thread>

namespace varnetta::log {

namespace {

constexpr int kRowHeight = 17;
constexpr int kMaxInterval = 99999999;
constexpr int kProgressDelayMs = 400;
const char* const kColumnWidthsKey = "grid/columnWidths";
const char* const kPausedHint = "Click to go back to logging live readings";
const char* const kEnabledHint = "Pause logging of live readings";
constexpr int kProgressTickMs = 50;

TPlainMessageHook& plainMessageHook()
{
    static TPlainMessageHook hook;
    return hook;
}

void plainMessage(QWidget* parent, const QString& text)
{
    if (plainMessageHook()) {
        plainMessageHook()(text);
        return;
    }
    QMessageBox::information(parent, QString(), text, QMessageBox::Ok);
}

struct TLimitItem
{
    const char* name;
    const char* caption;
    qsizetype limit;
};
constexpr TLimitItem kLimitItems[] = {
    {"mniN10001", "1000", 1000},       {"mniN50001", "5000", 5000},
    {"mniN100001", "10000", 10000},    {"mniN500001", "50000", 50000},
    {"mniN1000001", "100000", 100000}, {"mnilimitess", "Unlimited", kMaxLogRows},
};

QToolButton* toolButton(QToolBar* bar, const char* name, const QString& hint, QStyle::StandardPixmap icon)
{
    auto* b = app::IconToolButton(bar, name, hint, icon);
    bar->addWidget(b);
    return b;
}

TFileWorkHook& fileWorkHook()
{
    static TFileWorkHook hook;
    return hook;
}

// Thrown from the progress report to leave a reader or writer early.
struct TWorkCancelled
{
};

} // namespace

QString RecordLimitNotice(qsizetype limit)
{
    const QString reached = QStringLiteral("Record limit of %1 rows reached: logging has stopped. ").arg(limit);
    if (limit >= kMaxLogRows)
        return reached + QStringLiteral("Save the log and clear it to go on.");
    return reached + QStringLiteral("Choose a larger limit in the Record menu, or clear the log.");
}

TPlainMessageHook SetPlainMessageHook(TPlainMessageHook hook)
{
    return std::exchange(plainMessageHook(), std::move(hook));
}

TFileWorkHook SetFileWorkHook(TFileWorkHook hook)
{
    return std::exchange(fileWorkHook(), std::move(hook));
}

// One load or save on a worker thread. The user-interface thread turns its
// event loop meanwhile: the window paints, readings are handled, and after
// a moment a progress dialog offers Cancel. Whatever the work throws
// (out of memory included) ends it as failed, never past this point.
class TLogPanel::TFileWork
{
public:
    enum class TEnd
    {
        Done,
        Cancelled,
        Failed
    };

    TFileWork(QWidget* parent, const QString& label) : m_parent(parent), m_label(label) {}
    TFileWork(const TFileWork&) = delete;
    TFileWork& operator=(const TFileWork&) = delete;

    // Runs `work` (which returns the reader's or writer's verdict) and
    // returns when it has ended; `error` holds what a failure threw.
    TEnd run(const std::function<bool(const TLogProgress&)>& work, bool& verdict, QString& error)
    {
        const TLogProgress progress = [this](qint64 done, qint64 total) {
            m_done.store(done);
            m_total.store(total);
            if (fileWorkHook())
                fileWorkHook()(done);
            if (m_cancel.load())
                throw TWorkCancelled{};
        };
        QEventLoop loop;
        std::atomic<bool> finished{false};
        TEnd end = TEnd::Failed;
        std::thread worker;
        try {
            worker = std::thread([&] {
                try {
                    progress(0, 0);
                    verdict = work(progress);
                    end = m_cancel.load() ? TEnd::Cancelled : TEnd::Done;
                } catch (const TWorkCancelled&) {
                    end = TEnd::Cancelled;
                } catch (const std::bad_alloc&) {
                    error = QStringLiteral("Not enough memory.");
                } catch (const std::exception& e) {
                    error = QString::fromLocal8Bit(e.what());
                } catch (...) {
                    error = QStringLiteral("Unknown error");
                }
                finished.store(true);
                QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
            });
        } catch (const std::system_error& e) {
            error = QString::fromLocal8Bit(e.what());
            return TEnd::Failed;
        }
        QTimer tick;
        tick.setInterval(kProgressTickMs);
        QElapsedTimer clock;
        clock.start();
        QObject::connect(&tick, &QTimer::timeout, &loop, [&] { showProgress(clock.elapsed()); });
        tick.start();
        if (!finished.load())
            loop.exec();
        worker.join();
        delete m_dialog;
        return end;
    }

    void cancel() { m_cancel.store(true); }

private:
    void showProgress(qint64 elapsedMs)
    {
        if (!m_dialog && elapsedMs >= kProgressDelayMs) {
            m_dialog = new QProgressDialog(m_label, QStringLiteral("Cancel"), 0, 1000, m_parent);
            m_dialog->setObjectName(QStringLiteral("dlgLogProgress"));
            m_dialog->setWindowTitle(QStringLiteral("Log Data"));
            m_dialog->setAccessibleName(m_label);
            m_dialog->setWindowModality(Qt::WindowModal);
            m_dialog->setMinimumDuration(0);
            m_dialog->setAutoClose(false);
            m_dialog->setAutoReset(false);
            QObject::connect(m_dialog, &QProgressDialog::canceled, m_dialog, [this] {
                cancel();
                m_dialog->setLabelText(QStringLiteral("Cancelling..."));
                m_dialog->setAccessibleDescription(QStringLiteral("Cancelling"));
            });
            m_dialog->show();
        }
        if (!m_dialog)
            return;
        const qint64 total = m_total.load();
        const int share = total > 0 ? int(std::min<qint64>(1000, m_done.load() * 1000 / total)) : 0;
        m_dialog->setValue(share);
        m_dialog->setAccessibleDescription(QStringLiteral("%1 percent done").arg(share / 10));
    }

    QWidget* m_parent;
    QString m_label;
    std::atomic<qint64> m_done{0};
    std::atomic<qint64> m_total{0};
    std::atomic<bool> m_cancel{false};
    QPointer<QProgressDialog> m_dialog;
};

// While a file is read or written the table must not change: the file
// buttons are off and recorded rows are held. Given back however the work
// ends.
class TLogPanel::TBusyScope
{
public:
    explicit TBusyScope(TLogPanel& panel) : m_panel(panel) { m_panel.setBusy(true); }
    ~TBusyScope() { end(); }
    TBusyScope(const TBusyScope&) = delete;
    TBusyScope& operator=(const TBusyScope&) = delete;
    void end()
    {
        if (m_ended)
            return;
        m_ended = true;
        m_panel.setBusy(false);
    }

private:
    TLogPanel& m_panel;
    bool m_ended = false;
};

TLogPanel::TLogPanel(QWidget* parent) : QWidget(parent), m_recorder(m_store, this), m_model(m_store, this)
{
    setObjectName(QStringLiteral("pnlGridParent"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    ToolBar4 = new QToolBar(this);
    ToolBar4->setObjectName(QStringLiteral("ToolBar4"));
    ToolBar4->setIconSize(QSize(16, 16));
    cbRepeat = new QCheckBox(QStringLiteral("Repeat"), ToolBar4);
    cbRepeat->setObjectName(QStringLiteral("cbRepeat"));
    cbRepeat->setChecked(true);
    cbInterval = new QCheckBox(QStringLiteral("Sampling Interval"), ToolBar4);
    cbInterval->setObjectName(QStringLiteral("cbInterval"));
    edtRecInterval = new app::TCEdit(ToolBar4);
    edtRecInterval->setObjectName(QStringLiteral("edtRecInterval"));
    edtRecInterval->SetAlignment(app::taRightJustify);
    edtRecInterval->setText(QStringLiteral("1"));
    edtRecInterval->setFixedWidth(56);
    edtRecInterval->setToolTip(QStringLiteral("Sampling interval in seconds"));
    edtRecInterval->setAccessibleName(QStringLiteral("Sampling interval in seconds"));
    edtRecInterval->installEventFilter(this);
    lblRecInterval = new QLabel(QStringLiteral(" S  "), ToolBar4);
    lblRecInterval->setObjectName(QStringLiteral("lblRecInterval"));
    lblRecInterval->setBuddy(edtRecInterval);
    ToolBar4->addWidget(cbRepeat);
    ToolBar4->addWidget(cbInterval);
    ToolBar4->addWidget(edtRecInterval);
    ToolBar4->addWidget(lblRecInterval);
    ToolBar4->addSeparator();
    btnRecordNew =
        toolButton(ToolBar4, "btnRecordNew", QStringLiteral("Clear Log Data"), QStyle::SP_FileIcon);
    btnRecordOpen =
        toolButton(ToolBar4, "btnRecordOpen", QStringLiteral("Open Log Data"), QStyle::SP_DialogOpenButton);
    btnRecordSave =
        toolButton(ToolBar4, "btnRecordSave", QStringLiteral("Save Log Data"), QStyle::SP_DialogSaveButton);
    btnRecordPrint = toolButton(ToolBar4, "btnRecordPrint", QStringLiteral("Print Log Data"),
                                QStyle::SP_FileDialogDetailedView);
    column->addWidget(ToolBar4);

    pnlPause = new QWidget(this);
    pnlPause->setObjectName(QStringLiteral("pnlPause"));
    auto* pauseRow = new QHBoxLayout(pnlPause);
    pauseRow->setContentsMargins(2, 1, 2, 1);
    btnPause = new QPushButton(QStringLiteral("Log Data Mode Enabled"), pnlPause);
    btnPause->setObjectName(QStringLiteral("btnPause"));
    btnPause->setCheckable(true);
    btnPause->setToolTip(QString::fromLatin1(kEnabledHint));
    pauseRow->addWidget(btnPause);
    column->addWidget(pnlPause);

    // Says why live readings are not being logged, and how to go on.
    lblLogNotice = new QLabel(this);
    lblLogNotice->setObjectName(QStringLiteral("lblLogNotice"));
    lblLogNotice->setWordWrap(true);
    lblLogNotice->setMargin(3);
    lblLogNotice->setAutoFillBackground(true);
    QPalette notice = lblLogNotice->palette();
    notice.setColor(QPalette::Window, notice.color(QPalette::ToolTipBase));
    notice.setColor(QPalette::WindowText, notice.color(QPalette::ToolTipText));
    lblLogNotice->setPalette(notice);
    lblLogNotice->hide();
    column->addWidget(lblLogNotice);

    DBGrid1 = new QTableView(this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setModel(&m_model);
    DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    DBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    DBGrid1->setWordWrap(false);
    DBGrid1->verticalHeader()->hide();
    DBGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    DBGrid1->verticalHeader()->setDefaultSectionSize(kRowHeight);
    DBGrid1->verticalHeader()->setMinimumSectionSize(kRowHeight);
    DBGrid1->horizontalHeader()->setHighlightSections(false);
    DBGrid1->setAccessibleName(QStringLiteral("Log"));
    column->addWidget(DBGrid1, 1);
    m_userWidths = ColumnWidthsFromText(app::OpenUserSettings()->value(QLatin1String(kColumnWidthsKey)).toString());
    m_headerViewport = DBGrid1->horizontalHeader()->viewport();
    m_headerViewport->installEventFilter(this);
    connect(DBGrid1->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int column, int, int newWidth) { columnResized(column, newWidth); });
    // A reset of the model may give the header its default sizes back.
    connect(&m_model, &QAbstractItemModel::modelReset, this, &TLogPanel::fitColumns);
    fitColumns();

    m_timerInputDelay.setObjectName(QStringLiteral("timerInputDelay"));
    m_timerInputDelay.setSingleShot(true);
    m_timerInputDelay.setInterval(1000);

    connect(btnRecordNew, &QToolButton::clicked, this, &TLogPanel::btnRecordNewClick);
    connect(btnRecordOpen, &QToolButton::clicked, this, &TLogPanel::btnRecordOpenClick);
    connect(btnRecordSave, &QToolButton::clicked, this, &TLogPanel::btnRecordSaveClick);
    connect(cbInterval, &QCheckBox::clicked, this, &TLogPanel::cbIntervalClick);
    connect(edtRecInterval, &QLineEdit::textChanged, this, &TLogPanel::edtRecIntervalChange);
    connect(&m_timerInputDelay, &QTimer::timeout, this, &TLogPanel::timerInputDelayTimer);
    connect(btnPause, &QPushButton::clicked, this, &TLogPanel::btnPauseClick);
    connect(&m_recorder, &TLogRecorder::rowsRecorded, this, &TLogPanel::rowsRecorded);
    // Live rows reach the grid at most every m_livePaceMs: a row alone (a
    // meter sends a few a second) at once, the rows of a burst together,
    // so the grid is not laid out, scrolled and repainted for each.
    m_followTimer.setSingleShot(true);
    const auto showLiveRows = [this] {
        m_lastFollow.start();
        m_model.noteAppended();
        followLastRow();
    };
    connect(&m_followTimer, &QTimer::timeout, this, showLiveRows);
    connect(&m_recorder, &TLogRecorder::rowsAppended, this, [this, showLiveRows] {
        if (m_followTimer.isActive())
            return;
        const qint64 since = m_lastFollow.isValid() ? m_lastFollow.elapsed() : m_livePaceMs;
        if (since < m_livePaceMs)
            m_followTimer.start(int(m_livePaceMs - since));
        else
            showLiveRows();
    });
    connect(&m_recorder, &TLogRecorder::tableReset, this, [this] {
        m_model.noteReset();
        followLastRow();
    });
    // Rows shown a slice at a time: the last one is followed once all are.
    connect(&m_model, &TLogTableModel::caughtUp, this, &TLogPanel::followLastRow);
    connect(&m_recorder, &TLogRecorder::stoppedAtLimitChanged, this, &TLogPanel::showLogNotice);
    connect(&m_recorder, &TLogRecorder::logPausedChanged, this, &TLogPanel::showLogNotice);
}

TLogPanel::~TLogPanel() = default;

void TLogPanel::buildRecordMenu(QMenu* menu)
{
    m_recordMenu = menu;
    mniNew1 = menu->addAction(QStringLiteral("Clear"));
    mniNew1->setObjectName(QStringLiteral("mniNew1"));
    connect(mniNew1, &QAction::triggered, this, &TLogPanel::btnRecordNewClick);
    mniSave1 = menu->addAction(QStringLiteral("Save"));
    mniSave1->setObjectName(QStringLiteral("mniSave1"));
    connect(mniSave1, &QAction::triggered, this, &TLogPanel::btnRecordSaveClick);
    menu->addSeparator();
    for (const TLimitItem& item : kLimitItems) {
        QAction* a = menu->addAction(QLatin1String(item.caption));
        a->setObjectName(QLatin1String(item.name));
        a->setCheckable(true);
        a->setChecked(item.limit == kDefaultRecordLimit);
        a->setData(QVariant::fromValue<qlonglong>(item.limit));
        connect(a, &QAction::triggered, this, [this, a] { limitItemClick(a); });
    }
    // Beyond the record items: the figures of the log's values.
    menu->addSeparator();
    mniStatistics1 = menu->addAction(QStringLiteral("Statistics..."));
    mniStatistics1->setObjectName(QStringLiteral("mniStatistics1"));
    mniStatistics1->setToolTip(QStringLiteral("Count, minimum, maximum, mean and standard deviation of the log's values"));
    connect(mniStatistics1, &QAction::triggered, this, [this] {
        if (!m_statisticsDialog) {
            m_statisticsDialog = new TStatisticsDialog(m_store, m_model, m_recorder, window());
            m_statisticsDialog->setPageFiguresSource(m_pageFigures);
            m_statisticsDialog->setVerdictCountsSource(m_verdictCounts);
        }
        m_statisticsDialog->show();
        m_statisticsDialog->raise();
        m_statisticsDialog->activateWindow();
    });
}

void TLogPanel::setStatisticsSources(TPageFiguresSource page, TVerdictCountsSource verdicts)
{
    m_pageFigures = std::move(page);
    m_verdictCounts = std::move(verdicts);
    if (m_statisticsDialog) {
        m_statisticsDialog->setPageFiguresSource(m_pageFigures);
        m_statisticsDialog->setVerdictCountsSource(m_verdictCounts);
    }
}

void TLogPanel::fitColumns()
{
    const QList<int> readable =
        ReadableColumnWidths(*DBGrid1, m_recorder.decimalSeparator(), m_recorder.timeSeparator());
    m_fittingColumns = true;
    for (int f = 0; f < kLogFieldCount; ++f)
        DBGrid1->setColumnWidth(f, m_userWidths.size() == kLogFieldCount ? m_userWidths[f] : readable[f]);
    m_fittingColumns = false;
}

void TLogPanel::columnResized(int column, int newWidth)
{
    // Only a drag or double click on the header is the user's choice; the
    // program's own sizing and the header's resets are not remembered.
    if (m_fittingColumns || !m_headerPressed || column < 0 || column >= kLogFieldCount)
        return;
    if (m_userWidths.size() != kLogFieldCount) {
        m_userWidths.clear();
        for (int f = 0; f < kLogFieldCount; ++f)
            m_userWidths << DBGrid1->columnWidth(f);
    }
    m_userWidths[column] = std::clamp(newWidth, kMinUserColumnWidth, kMaxUserColumnWidth);
    m_userResized = true;
}

void TLogPanel::saveUserColumnWidths()
{
    if (!m_userResized)
        return;
    m_userResized = false;
    app::OpenUserSettings()->setValue(QLatin1String(kColumnWidthsKey), ColumnWidthsText(m_userWidths));
}

void TLogPanel::showLogNotice()
{
    QStringList lines;
    if (m_recorder.stoppedAtLimit())
        lines << RecordLimitNotice(m_recorder.recordLimit());
    if (m_recorder.logPaused())
        lines << QStringLiteral("Live readings are not being logged. Click \"Log Data Mode Disabled\" "
                                "to go back to live readings.");
    btnPause->setToolTip(QString::fromLatin1(m_recorder.logPaused() ? kPausedHint : kEnabledHint));
    lblLogNotice->setText(lines.join(QLatin1Char('\n')));
    lblLogNotice->setVisible(!lines.isEmpty());
}

void TLogPanel::limitItemClick(QAction* item)
{
    for (QAction* a : m_recordMenu->actions())
        a->setChecked(false);
    item->setChecked(true);
    m_recorder.setRecordLimit(qsizetype(item->data().toLongLong()));
}

void TLogPanel::followLastRow()
{
    const int rows = m_model.rowCount();
    if (rows == 0)
        return;
    const QModelIndex last = m_model.index(
        rows - 1, DBGrid1->currentIndex().isValid() ? std::max(0, DBGrid1->currentIndex().column()) : 0);
    DBGrid1->setCurrentIndex(last);
    DBGrid1->scrollTo(last, QAbstractItemView::EnsureVisible);
}

void TLogPanel::btnRecordNewClick()
{
    if (m_busy)
        return;
    if (app::MsgDlg(QStringLiteral("Are you sure that you want to delete this record?"), app::mtConfirmation,
                    app::mbYes | app::mbNo, 0) != app::mrYes)
        return;
    m_recorder.Clear();
    // The user gave the rows up: nothing is left to recover.
    rowsSafe();
}

void TLogPanel::btnRecordOpenClick()
{
    if (m_busy)
        return;
    app::TFileDialogRequest request;
    request.kind = app::TFileKind::Log;
    request.objectName = QStringLiteral("OpenDialog1");
    request.caption = QStringLiteral("Open Log Data");
    // Every form at once first; the single forms after it.
    request.nameFilters = {QStringLiteral("All log files (*.xls *.xml *.txt)"),
                           QStringLiteral("Excel data files (*.xls)"), QStringLiteral("XML data files (*.xml)"),
                           QStringLiteral("notepad data files (*.txt)")};
    const QString name = app::TFileDialogs::getOpenFileName(this, request);
    if (!name.isEmpty())
        LoadLogFile(name, false);
}

void TLogPanel::btnRecordSaveClick()
{
    (void)saveWithDialog();
}

bool TLogPanel::saveWithDialog()
{
    if (m_busy)
        return false;
    app::TFileDialogRequest request;
    request.kind = app::TFileKind::Log;
    request.objectName = QStringLiteral("SaveDialog1");
    request.caption = QStringLiteral("Save Log Data");
    request.nameFilters = {QStringLiteral("Excel File(*.xls)"), QStringLiteral("XML File(*.xml)"),
                           QStringLiteral("Txt File(*.txt)")};
    request.defaultSuffix = QStringLiteral("xls");
    const QString name = app::TFileDialogs::getSaveFileName(this, request);
    if (name.isEmpty())
        return false;
    return SaveLogFile(name);
}

void TLogPanel::cbIntervalClick()
{
    m_recorder.setSamplingActive(cbInterval->isChecked());
}

void TLogPanel::edtRecIntervalChange()
{
    m_timerInputDelay.start();
}

void TLogPanel::timerInputDelayTimer()
{
    bool ok = false;
    const qlonglong value = edtRecInterval->text().toLongLong(&ok);
    if (ok && value >= 1 && value <= kMaxInterval) {
        m_lastInterval = int(value);
        m_recorder.setSamplingSeconds(m_lastInterval);
        return;
    }
    app::MsgDlg(QStringLiteral("You have entered a number that is out of range."), app::mtInformation,
                app::mbOK, 0);
    edtRecInterval->setText(QString::number(m_lastInterval));
    m_timerInputDelay.stop(); // the restored text is the accepted value already
}

void TLogPanel::btnPauseClick()
{
    const bool paused = btnPause->isChecked();
    m_recorder.setLogPaused(paused);
    btnPause->setStyleSheet(QString());
    btnPause->setText(paused ? QStringLiteral("Log Data Mode Disabled")
                             : QStringLiteral("Log Data Mode Enabled"));
    if (!paused)
        Q_EMIT logResumed();
}

void TLogPanel::showPausedByMemoryRecord()
{
    m_recorder.setLogPaused(true);
    btnPause->setChecked(true);
    btnPause->setStyleSheet(QStringLiteral("color: rgb(255, 0, 0);"));
    btnPause->setText(QStringLiteral("Log Data Mode Disabled"));
}

bool TLogPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_headerViewport) {
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)
            m_headerPressed = true;
        if (event->type() == QEvent::MouseButtonRelease) {
            m_headerPressed = false;
            saveUserColumnWidths();
        }
        return QWidget::eventFilter(watched, event);
    }
    // Typed characters other than digits and backspace are discarded; keys
    // that type nothing (arrows, Delete, Tab) keep working.
    if (watched == edtRecInterval && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        if (key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Delete || text.isEmpty())
            return false;
        if (text.size() == 1 && text[0] >= QLatin1Char('0') && text[0] <= QLatin1Char('9'))
            return false;
        if (text[0].isPrint() || text[0].unicode() < 0x20)
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TLogPanel::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        fitColumns();
}

void TLogPanel::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // The separators are known by now.
    fitColumns();
}


void TLogPanel::setBusy(bool busy)
{
    m_busy = busy;
    for (QToolButton* b : {btnRecordNew, btnRecordOpen, btnRecordSave})
        b->setEnabled(!busy);
    for (QAction* a : {mniNew1, mniSave1})
        if (a)
            a->setEnabled(!busy);
    // Held rows enter the table when the work is over.
    m_recorder.holdRows(busy);
}

void TLogPanel::cancelFileWork()
{
    if (m_work)
        m_work->cancel();
}

void TLogPanel::rowsRecorded(qsizetype first, qsizetype count)
{
    m_unsavedRows += count;
    if (!m_journal || m_journal->append(m_store, first, count) || m_journalFailureShown)
        return;
    m_journalFailureShown = true;
    app::MsgDlg(QStringLiteral("The recovery journal %1 could not be written: %2. Recording goes on; "
                               "save the log to keep it.")
                    .arg(m_journal->filePath(), m_journal->errorString()),
                app::mtWarning, app::mbOK, 0);
}

void TLogPanel::rowsSafe()
{
    m_unsavedRows = 0;
    if (m_journal)
        m_journal->remove();
}

void TLogPanel::setJournalFolder(const QString& folder)
{
    delete m_journal;
    m_journal = folder.isEmpty() ? nullptr : new TLogJournal(folder, this);
}

void TLogPanel::closeJournal()
{
    if (!m_journal)
        return;
    m_journal->remove();
    delete m_journal;
    m_journal = nullptr;
}

qsizetype TLogPanel::offerRestore()
{
    if (!m_journal || m_busy)
        return 0;
    TLogStore leftover;
    if (!m_journal->readLeftover(leftover))
        return 0;
    const qsizetype rows = leftover.rowCount();
    const int answer = app::MsgDlg(
        QStringLiteral("The last run ended without saving its log. Restore the %1 recorded rows kept in the "
                       "recovery journal?")
            .arg(rows),
        app::mtConfirmation, app::mbYes | app::mbNo, 0);
    if (answer != app::mrYes) {
        m_journal->remove();
        return 0;
    }
    m_store.appendFrom(std::move(leftover));
    m_model.noteAppended();
    m_unsavedRows += rows;
    // Rows recorded from now on follow them in the same journal.
    m_journal->adoptLeftover();
    followLastRow();
    return rows;
}

bool TLogPanel::SaveLogFile(const QString& FileName)
{
    if (m_busy)
        return false;
    const QString name = LogSaveFileName(FileName);
    const bool xml = LogFileKind(name) == TLogFileKind::Xml;
    TBusyScope busy(*this);
    TFileWork work(window(), QStringLiteral("Saving %1").arg(name));
    m_work = &work;
    // Written beside the old file and put in its place only when complete:
    // a failed or cancelled save leaves the previous file as it was.
    QString error;
    bool ok = false;
    const auto end = work.run(
        [&](const TLogProgress& progress) {
            QSaveFile file(name);
            // Unbuffered: the writers buffer themselves, and a write that fails
            // only when QSaveFile flushes its own buffer in commit() would go
            // unreported.
            if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
                error = QStringLiteral("Cannot create file \"%1\". %2").arg(name, file.errorString());
                return false;
            }
            const bool written = xml ? WriteXmlPacket(m_store, file, progress)
                                     : WriteTextLog(m_store, file, DefaultTextLogHeader(), progress);
            if (!written || !file.commit()) {
                error = QStringLiteral("Cannot write file \"%1\". %2").arg(name, file.errorString());
                return false;
            }
            return true;
        },
        ok, error);
    m_work = nullptr;
    ok = ok && end == TFileWork::TEnd::Done;
    if (end == TFileWork::TEnd::Failed)
        error = QStringLiteral("Cannot write file \"%1\". %2").arg(name, error);
    if (ok)
        rowsSafe(); // before the held rows come in: they are not in the file
    busy.end();
    if (!xml)
        followLastRow();
    if (end == TFileWork::TEnd::Cancelled)
        return false;

    const QString success =
        QStringLiteral("Save table to specified file: ") + name + QStringLiteral(" Scuss!");
    if (xml) {
        if (ok)
            plainMessage(window(), success);
        else
            app::MsgDlg(error, app::mtError, app::mbOK, 0);
        return ok;
    }
    if (!ok) {
        // A value with a line break has no place in a line-based file; the
        // XML form keeps it.
        if (const QString note = TextLogLineBreakNote(m_store); !note.isEmpty())
            return offerXmlSave(name, note);
    }
    app::MsgDlg(ok ? success : QStringLiteral("Could not save table to specified file: ") + name,
                app::mtInformation, app::mbOK, 0);
    return ok;
}

bool TLogPanel::offerXmlSave(const QString& textName, const QString& note)
{
    const QFileInfo info(textName);
    const QString xmlName = info.dir().filePath(info.completeBaseName() + QStringLiteral(".xml"));
    const QString question = QStringLiteral("Could not save table to specified file: ") + textName + QStringLiteral("\n\n") +
                             note + QStringLiteral("\n\nSave the log as XML instead, to ") + xmlName +
                             QStringLiteral("?");
    if (app::MsgDlg(question, app::mtConfirmation, app::mbYes | app::mbNo, 0) != app::mrYes)
        return false;
    if (QFileInfo::exists(xmlName) &&
        app::MsgDlg(xmlName + QStringLiteral(" already exists.\nDo you want to replace it?"), app::mtConfirmation,
                    app::mbYes | app::mbNo, 0) != app::mrYes)
        return false;
    return SaveLogFile(xmlName);
}

bool TLogPanel::LoadLogFile(const QString& FileName, bool EmptyFirst)
{
    if (m_busy)
        return false;
    if (EmptyFirst) {
        m_store.clear();
        m_model.noteReset();
    }
    const bool xml = LogFileKind(FileName) == TLogFileKind::Xml;
    TBusyScope busy(*this);
    TFileWork work(window(), QStringLiteral("Loading %1").arg(FileName));
    m_work = &work;
    // Read into a table of its own; the log changes only afterwards. Rows of
    // a text log are laid out to follow the table's, so that adding them
    // costs little however many there are.
    TLogStore loaded = xml ? TLogStore() : TLogStore::tailFor(m_store);
    bool ok = false;
    QString error;
    const auto end = work.run(
        [&](const TLogProgress& progress) {
            QFile file(FileName);
            if (!file.open(QIODevice::ReadOnly))
                return false;
            return xml ? ReadXmlPacket(file, loaded, progress) : ReadTextLog(file, loaded, progress);
        },
        ok, error);
    m_work = nullptr;
    if (end == TFileWork::TEnd::Done) {
        if (xml && ok) {
            // The table is replaced: rows recorded before are no longer in it.
            m_store = std::move(loaded);
            m_model.noteReset();
            rowsSafe();
        } else if (!xml && (loaded.rowCount() > 0 || loaded.changeLogSize() > 0)) {
            // Rows of the lines before a failing one are kept.
            m_store.appendTail(std::move(loaded));
            m_model.noteAppended();
        }
    }
    busy.end();
    followLastRow();
    m_recorder.recheckRecordLimit();
    ok = ok && end == TFileWork::TEnd::Done;
    if (!ok && end != TFileWork::TEnd::Cancelled)
        app::MsgDlg(QStringLiteral("Failed to Load File!"), app::mtInformation, app::mbOK, 0);
    return ok;
}

} // namespace varnetta::log
