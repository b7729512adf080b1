// The LCD panel pnlLcd: the on-screen replica of the meter's display with its
// four seven-segment fields, unit labels, indicator symbols, the USB marker,
// the link activity icon and the overlays shown during a memory download.
#pragma once

#include "display/uStatusDecoder.h"

#include "protocol/FrameDispatcher.h"
#include "protocol/Reading.h"

#include <QFrame>
#include <QLabel>
#include <QPixmap>

#include <array>

class QSvgRenderer;

namespace varnetta::app {
class TCEdit;
}

namespace varnetta::display {

// A picture of the panel, drawn from one of the program's SVG resources.
// It is a label so that the symbol labels and the pictures are found alike.
class TLcdPicture : public QLabel
{
    Q_OBJECT
public:
    enum class TFit
    {
        KeepAspect,
        Stretch
    };
    TLcdPicture(const QString& resource, TFit fit, QWidget* parent);

    [[nodiscard]] const QString& resource() const { return m_resource; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_resource;
    TFit m_fit;
    QSvgRenderer* m_renderer;
    QPixmap m_cache;
};

class TLcdPanel : public QFrame
{
    Q_OBJECT
public:
    static constexpr int kWidth = 444;
    static constexpr int kHeight = 241;
    static constexpr int kLoadingDotsLimit = 20;

    explicit TLcdPanel(QWidget* parent = nullptr);

    // The five status bytes of a reading frame or a memory record.
    void CP21041ReceiveStatusData(const protocol::TStatusBytes& status);
    // One indicator setter: touches its control only when the bit changes.
    void SetIndicator(TIndicator indicator, bool on);
    [[nodiscard]] bool indicator(TIndicator indicator) const { return m_indicators[indicator]; }

    // From the function code: units and the function's symbols.
    void SetUnitText(protocol::TUnitSlot slot, const QByteArray& text);
    void SetFunctionSymbols(const protocol::TFunInfo& info);
    // The four display texts of a live reading or a memory record.
    void ShowReading(const protocol::TReading& reading);
    // Every dispatched frame: exactly one of the two activity pictures shows.
    void FlipActivity();
    // Shown while the link is up.
    void SetUsbShown(bool shown);

    // Memory download: the overlays over the panel, their caption and the
    // progress dots (1 to 19 dots, emptied when the twentieth is reached).
    void ShowOverlays();
    void HideOverlays();
    [[nodiscard]] bool overlaysShown() const;
    void SetLoadCaption(const QString& caption);
    [[nodiscard]] QString loadCaption() const;
    void AdvanceLoadingDots();
    void ClearLoadingDots();
    // The line under "Data transfer completed" saying how to go back to
    // live readings; hidden again with the overlays.
    void ShowBackToLiveHint(bool shown);
    static constexpr const char* kBackToLiveText =
        "Live readings are paused. Click \"Log Data Mode Disabled\" below to go back to live readings.";

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    app::TCEdit* addDisplayField(const char* name, const QRect& geometry, int pixelSize, const QString& text);
    QLabel* addLabel(const char* name, const QRect& geometry, const QFont& font, const QString& text,
                     Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter);
    TLcdPicture* addPicture(const char* name, const QRect& geometry, const QString& resource,
                            TLcdPicture::TFit fit);
    void applyIndicator(TIndicator indicator, bool on);
    void placeOverlays();

    app::TCEdit* lcdDisplay0 = nullptr;
    app::TCEdit* lcdDisplay1 = nullptr;
    app::TCEdit* lcdDisplay2 = nullptr;
    app::TCEdit* lcdDisplay3 = nullptr;
    QLabel* lcdUnit = nullptr;
    QLabel* lcdSubUnit1 = nullptr;
    QLabel* lcdSubUnit2 = nullptr;
    QLabel* lcdCosSin = nullptr;
    QLabel* lcdTHD = nullptr;
    QLabel* lcdTime = nullptr;
    QLabel* lcdAC = nullptr;
    QLabel* lcdAC2 = nullptr;
    QLabel* lcdAC3 = nullptr;
    QLabel* lcdRstA = nullptr;
    QLabel* lcdMax = nullptr;
    QLabel* lcdMin = nullptr;
    QLabel* lcdUSB = nullptr;
    QLabel* CONokN = nullptr;
    QLabel* CONok = nullptr;
    QWidget* Panel3 = nullptr;
    QWidget* Panel7 = nullptr;
    QLabel* pnlLoadLog = nullptr;
    QLabel* lblLoading = nullptr;
    QLabel* lblBackToLive = nullptr;

    QObject* m_focusPasser = nullptr;

    // The control each status-driven indicator drives, and its remembered bit.
    std::array<QWidget*, kIndicatorCount> m_indicatorControls{};
    TIndicatorStates m_indicators{};
};

} // namespace varnetta::display
