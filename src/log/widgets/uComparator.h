// The limit comparator pnlSetComp: judges each live main value against the
// high and low limits typed by the user and shows Pass or Fail on a disc.
#pragma once

#include "log/LimitJudge.h"
#include "protocol/Reading.h"

#include <QByteArray>
#include <QColor>
#include <QFrame>
#include <QLocale>

#include <optional>

class QLabel;
class QLineEdit;

namespace varnetta::app {
class TCEdit;
}

namespace varnetta::log {

// The verdict disc.
class TShape : public QWidget
{
    Q_OBJECT
public:
    using QWidget::QWidget;
    void setBrushColor(const QColor& color);
    [[nodiscard]] QColor brushColor() const { return m_brush; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_brush = QColor(0, 128, 0);
};

class TComparatorPanel : public QFrame
{
    Q_OBJECT
public:
    static inline const QColor kPassColor{0, 128, 0};
    static inline const QColor kFailColor{255, 0, 0};

    // `decimalSeparator` is the system's, the one the limit edits accept.
    explicit TComparatorPanel(const QByteArray& decimalSeparator, QWidget* parent = nullptr);

    // Judges the reading's main value against the limits. A value that does
    // not read as a number is a Fail, shown as the meter's text.
    void Judge(const protocol::TReading& reading);
    [[nodiscard]] bool passed() const { return m_passed; }
    // Verdicts given since the log was last cleared (the window clears them).
    [[nodiscard]] const TVerdictCounts& verdictCounts() const { return m_counts; }
    void clearVerdictCounts() { m_counts = {}; }

    // The user's number settings, for showing the judged value.
    void setUserLocale(const QLocale& locale) { m_userLocale = locale; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void limitTextChanged(QLineEdit* edit);
    QLineEdit* addLimitEdit(const char* name, const QString& caption, const QString& text, int top,
                            const QString& hint);
    void showVerdict(bool pass);
    void showVerdictText(const QString& word, bool pass);

    QByteArray m_separator;
    QLocale m_userLocale;
    QLineEdit* edtCompHigh = nullptr;
    app::TCEdit* edtCurValue = nullptr;
    QLineEdit* edtCompLow = nullptr;
    TShape* Shape1 = nullptr;
    QLabel* lblPass = nullptr;
    bool m_passed = true;
    TVerdictCounts m_counts;
};

} // namespace varnetta::log
