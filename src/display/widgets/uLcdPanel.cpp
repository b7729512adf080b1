#include "uLcdPanel.h"

#include "controls/CControls.h"

#include <QEvent>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QSvgRenderer>
#include <qdrawutil.h>

#include <algorithm>

namespace varnetta::display {

namespace {

const QColor kLcdBackground(166, 202, 240);
const QString kSegmentFamily = QStringLiteral("DSEG7 Classic");
constexpr int kBevel = 2; // raised outer plus lowered inner bevel
constexpr int kTopStripHeight = 47;
constexpr int kRightStripWidth = 290;
constexpr int kRightStripHeight = 39;
constexpr int kLoadLogHeight = 151;

QFont arialFont(int pixelSize, bool bold)
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

QFont segmentFont(int pixelSize)
{
    QFont font(kSegmentFamily);
    font.setPixelSize(pixelSize);
    return font;
}

// The display fields are for looking only: a field that receives the focus
// hands it on at once, in the direction the focus was travelling.
class TFocusPasser : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::FocusIn) {
            auto* widget = static_cast<QWidget*>(watched);
            const auto reason = static_cast<QFocusEvent*>(event)->reason();
            const bool backwards = reason == Qt::BacktabFocusReason;
            QWidget* next = backwards ? widget->previousInFocusChain() : widget->nextInFocusChain();
            while (next && next != widget &&
                   !((next->focusPolicy() & Qt::TabFocus) && next->isVisible() && next->isEnabled() &&
                     next->window() == widget->window()))
                next = backwards ? next->previousInFocusChain() : next->nextInFocusChain();
            if (next && next != widget)
                next->setFocus(backwards ? Qt::BacktabFocusReason : Qt::TabFocusReason);
            else
                widget->clearFocus();
        }
        return QObject::eventFilter(watched, event);
    }
};

QString resourcePath(const char* name)
{
    return QStringLiteral(":/display/pictures/") + QLatin1String(name);
}

} // namespace

TLcdPicture::TLcdPicture(const QString& resource, TFit fit, QWidget* parent)
    : QLabel(parent), m_resource(resource), m_fit(fit), m_renderer(new QSvgRenderer(resource, this))
{
    if (m_fit == TFit::KeepAspect)
        m_renderer->setAspectRatioMode(Qt::KeepAspectRatio);
}

void TLcdPicture::paintEvent(QPaintEvent* /*event*/)
{
    // Symbols repaint with every frame that moves them; the drawing is kept
    // and redone only when the size or the screen's pixel ratio changes.
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = contentsRect().size() * ratio;
    if (m_cache.size() != pixels) {
        m_cache = QPixmap(pixels);
        m_cache.fill(Qt::transparent);
        QPainter cachePainter(&m_cache);
        cachePainter.setRenderHint(QPainter::Antialiasing);
        m_renderer->render(&cachePainter, QRectF(QPointF(0, 0), QSizeF(pixels)));
        m_cache.setDevicePixelRatio(ratio);
    }
    QPainter painter(this);
    painter.drawPixmap(contentsRect().topLeft(), m_cache);
}

TLcdPanel::TLcdPanel(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("pnlLcd"));
    m_focusPasser = new TFocusPasser(this);
    resize(kWidth, kHeight);
    setMinimumSize(kWidth, kHeight);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Base));
    pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(pal);
    setAccessibleName(QStringLiteral("Meter display"));

    lcdDisplay0 = addDisplayField("lcdDisplay0", {72, 61, 49, 26}, 21, QStringLiteral("999"));
    lcdDisplay1 = addDisplayField("lcdDisplay1", {72, 94, 289, 73}, 71, QStringLiteral("-9999"));
    lcdDisplay2 = addDisplayField("lcdDisplay2", {72, 208, 84, 26}, 21, QStringLiteral("-9999"));
    lcdDisplay3 = addDisplayField("lcdDisplay3", {277, 208, 84, 26}, 21, QStringLiteral("-9999"));
    lcdDisplay0->setAccessibleName(QStringLiteral("Small display"));
    lcdDisplay1->setAccessibleName(QStringLiteral("Main display"));
    lcdDisplay2->setAccessibleName(QStringLiteral("Sub display A"));
    lcdDisplay3->setAccessibleName(QStringLiteral("Sub display B"));

    const QFont bold13 = arialFont(13, true);
    const QFont bold11 = arialFont(11, true);
    lcdUnit = addLabel("lcdUnit", {368, 149, 49, 16}, bold13, {});
    lcdSubUnit1 = addLabel("lcdSubUnit1", {160, 218, 33, 16}, bold11, {});
    lcdSubUnit2 = addLabel("lcdSubUnit2", {365, 218, 36, 16}, bold11, {});
    lcdCosSin = addLabel("lcdCosSin", {16, 148, 49, 16}, bold13, {});
    lcdTHD = addLabel("lcdTHD", {365, 205, 36, 16}, bold11, {});
    lcdTime = addLabel("lcdTime", {314, 180, 47, 14}, bold11, {}, Qt::AlignRight | Qt::AlignVCenter);

    using Fit = TLcdPicture::TFit;
    lcdAC = addPicture("lcdAC", {32, 92, 33, 25}, resourcePath("ac.svg"), Fit::KeepAspect);
    lcdAC2 = addPicture("lcdAC2", {45, 199, 25, 34}, resourcePath("ac_small.svg"), Fit::KeepAspect);
    lcdAC3 = addPicture("lcdAC3", {250, 199, 25, 34}, resourcePath("ac_small.svg"), Fit::KeepAspect);
    lcdRstA = addPicture("lcdRstA", {304, 9, 32, 32}, resourcePath("rst.svg"), Fit::KeepAspect);
    auto* lcdRstB1 = addPicture("lcdRstB1", {304, 9, 32, 32}, resourcePath("rst_left.svg"), Fit::KeepAspect);
    auto* lcdRstB2 = addPicture("lcdRstB2", {304, 9, 32, 32}, resourcePath("rst_right.svg"), Fit::KeepAspect);
    auto* lcdHold = addPicture("lcdHold", {262, 4, 19, 39}, resourcePath("hold.svg"), Fit::KeepAspect);
    auto* lcdWarning = addPicture("lcdWarning", {52, 12, 21, 29}, resourcePath("warning.svg"), Fit::Stretch);
    auto* lcdLowPower =
        addPicture("lcdLowPower", {96, 12, 32, 29}, resourcePath("battery.svg"), Fit::Stretch);
    auto* lcdAutoPower =
        addPicture("lcdAutoPower", {360, 12, 41, 36}, resourcePath("autopower.svg"), Fit::KeepAspect);
    lcdHold->setAccessibleName(QStringLiteral("Hold"));
    lcdWarning->setAccessibleName(QStringLiteral("Hazardous voltage"));
    lcdLowPower->setAccessibleName(QStringLiteral("Low battery"));
    lcdAutoPower->setAccessibleName(QStringLiteral("Auto power-off"));

    auto* lcdMem = addLabel("lcdMem", {42, 75, 26, 14}, bold11, QStringLiteral("MEM"));
    auto* lcdMr = addLabel("lcdMr", {50, 61, 17, 14}, bold11, QStringLiteral("MR"));
    auto* lcdMemFull = addLabel("lcdMemFull", {125, 59, 27, 14}, bold11, QStringLiteral("FULL"));
    auto* lcdMemClr = addLabel("lcdMemClr", {125, 75, 22, 14}, bold11, QStringLiteral("CLR"));
    const QFont segment13 = segmentFont(13);
    const auto right = Qt::AlignRight | Qt::AlignVCenter;
    auto* lcdSelect1 = addLabel("lcdSelect1", {224, 71, 25, 16}, segment13, QStringLiteral("% 1"), right);
    auto* lcdSelect2 = addLabel("lcdSelect2", {272, 71, 25, 16}, segment13, QStringLiteral("% 2"), right);
    auto* lcdSelect3 = addLabel("lcdSelect3", {320, 71, 25, 16}, segment13, QStringLiteral("% 3"), right);
    auto* lcdSum = addLabel("lcdSum", {360, 69, 17, 16}, arialFont(16, false), QString(QChar(0x03A3)), right);
    auto* lcdW = addLabel("lcdW", {376, 69, 17, 16}, arialFont(16, false), QStringLiteral("W"), right);
    lcdMax = addLabel("lcdMax", {74, 180, 31, 14}, bold11, {});
    lcdMin = addLabel("lcdMin", {170, 180, 31, 14}, bold11, {});
    addLabel("lcdTrueRMS", {110, 180, 49, 14}, bold11, QStringLiteral("TrueRMS"));

    lcdUSB = addLabel("lcdUSB", {146, 24, 35, 16}, bold13, QStringLiteral(" USB"));
    lcdUSB->setAutoFillBackground(true);
    QPalette usb = lcdUSB->palette();
    usb.setColor(QPalette::Window, Qt::black);
    usb.setColor(QPalette::WindowText, Qt::white);
    lcdUSB->setPalette(usb);
    lcdUSB->setAccessibleName(QStringLiteral("USB connected"));

    CONokN = addPicture("CONokN", {8, 6, 25, 24}, resourcePath("link_a.svg"), Fit::KeepAspect);
    CONok = addPicture("CONok", {8, 6, 25, 24}, resourcePath("link_b.svg"), Fit::KeepAspect);
    CONokN->setAccessibleName(QStringLiteral("Link activity"));
    CONok->setAccessibleName(QStringLiteral("Link activity"));

    for (QWidget* hidden : std::initializer_list<QWidget*>{
             lcdAC,      lcdAC2,      lcdAC3,       lcdRstA, lcdRstB1, lcdRstB2,   lcdHold,
             lcdWarning, lcdLowPower, lcdAutoPower, lcdMem,  lcdMr,    lcdMemFull, lcdMemClr,
             lcdSelect1, lcdSelect2,  lcdSelect3,   lcdSum,  lcdW,     lcdUSB,     CONok})
        hidden->setVisible(false);

    m_indicatorControls[idHold] = lcdHold;
    m_indicatorControls[idLowPower] = lcdLowPower;
    m_indicatorControls[idWarning] = lcdWarning;
    m_indicatorControls[idAutoPower] = lcdAutoPower;
    m_indicatorControls[idRstB2] = lcdRstB2;
    m_indicatorControls[idRstB1] = lcdRstB1;
    m_indicatorControls[idMemClr] = lcdMemClr;
    m_indicatorControls[idMemFull] = lcdMemFull;
    m_indicatorControls[idMem] = lcdMem;
    m_indicatorControls[idMr] = lcdMr;
    m_indicatorControls[idSum] = lcdSum;
    m_indicatorControls[idSelect3] = lcdSelect3;
    m_indicatorControls[idSelect2] = lcdSelect2;
    m_indicatorControls[idSelect1] = lcdSelect1;
    m_indicatorControls[idMin] = lcdMin;
    m_indicatorControls[idMax] = lcdMax;
    m_indicatorControls[idTime] = lcdTime;
    m_indicatorControls[idW] = lcdW;

    // The overlays come last so that they lie above every other child.
    const auto makeOverlay = [this](const char* name) {
        auto* overlay = new QLabel(this);
        overlay->setObjectName(QLatin1String(name));
        overlay->setAutoFillBackground(true);
        QPalette p = overlay->palette();
        p.setColor(QPalette::Window, Qt::white);
        p.setColor(QPalette::WindowText, Qt::black);
        overlay->setPalette(p);
        overlay->setVisible(false);
        return overlay;
    };
    Panel3 = makeOverlay("Panel3");
    Panel7 = makeOverlay("Panel7");
    pnlLoadLog = makeOverlay("pnlLoadLog");
    pnlLoadLog->setFont(arialFont(21, true));
    pnlLoadLog->setAlignment(Qt::AlignCenter);
    pnlLoadLog->setText(QStringLiteral("Data transfer completed"));
    lblLoading = new QLabel(pnlLoadLog);
    lblLoading->setObjectName(QStringLiteral("lblLoading"));
    lblLoading->move(160, 112);
    lblLoading->resize(260, 30);
    lblLoading->setAccessibleName(QStringLiteral("Download progress"));
    // After a download the overlays stay until logging is resumed: they say how.
    lblBackToLive = new QLabel(pnlLoadLog);
    lblBackToLive->setObjectName(QStringLiteral("lblBackToLive"));
    lblBackToLive->setFont(arialFont(11, false));
    lblBackToLive->setAlignment(Qt::AlignCenter);
    lblBackToLive->setWordWrap(true);
    lblBackToLive->setText(QString::fromLatin1(kBackToLiveText));
    lblBackToLive->setVisible(false);
    for (QWidget* overlay : {Panel3, Panel7, static_cast<QWidget*>(pnlLoadLog)})
        overlay->setToolTip(QString::fromLatin1(kBackToLiveText));
    placeOverlays();
}

app::TCEdit* TLcdPanel::addDisplayField(const char* name, const QRect& geometry, int pixelSize,
                                        const QString& text)
{
    auto* field = new app::TCEdit(this);
    field->setObjectName(QLatin1String(name));
    field->SetAlignment(app::taRightJustify);
    field->setGeometry(geometry);
    // The seven-segment font runs a little wider than the meter's digits:
    // narrow it until the start text, the widest the meter sends, fits.
    QFont font = segmentFont(pixelSize);
    const int room = geometry.width() - 6; // the edit's own margins
    const int needed = QFontMetrics(font).horizontalAdvance(text);
    if (needed > room)
        font.setStretch(std::max(50, room * 100 / needed));
    field->setFont(font);
    field->setReadOnly(true);
    field->setFrame(false);
    field->setCursor(Qt::ArrowCursor);
    field->setTextMargins(0, 0, 0, 0);
    field->setContextMenuPolicy(Qt::NoContextMenu);
    QPalette pal = field->palette();
    pal.setColor(QPalette::Base, kLcdBackground);
    pal.setColor(QPalette::Text, Qt::black);
    field->setPalette(pal);
    field->setText(text);
    field->installEventFilter(m_focusPasser);
    return field;
}

QLabel* TLcdPanel::addLabel(const char* name, const QRect& geometry, const QFont& font, const QString& text,
                            Qt::Alignment alignment)
{
    auto* label = new QLabel(text, this);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    label->setFont(font);
    label->setAlignment(alignment);
    return label;
}

TLcdPicture* TLcdPanel::addPicture(const char* name, const QRect& geometry, const QString& resource,
                                   TLcdPicture::TFit fit)
{
    auto* picture = new TLcdPicture(resource, fit, this);
    picture->setObjectName(QLatin1String(name));
    picture->setGeometry(geometry);
    return picture;
}

void TLcdPanel::CP21041ReceiveStatusData(const protocol::TStatusBytes& status)
{
    const TIndicatorStates states = DecodeStatus(status);
    for (const TStatusBit& entry : StatusBitTable())
        SetIndicator(entry.indicator, states[entry.indicator]);
}

void TLcdPanel::SetIndicator(TIndicator indicator, bool on)
{
    if (m_indicators[indicator] == on)
        return;
    m_indicators[indicator] = on;
    applyIndicator(indicator, on);
}

void TLcdPanel::applyIndicator(TIndicator indicator, bool on)
{
    switch (indicator) {
    case idMin:
        lcdMin->setText(on ? QStringLiteral("MIN") : QString());
        break;
    case idMax:
        lcdMax->setText(on ? QStringLiteral("MAX") : QString());
        break;
    case idTime:
        lcdTime->setText(on ? QStringLiteral("h:mm") : QStringLiteral("m:s"));
        break;
    default:
        m_indicatorControls[indicator]->setVisible(on);
        break;
    }
}

void TLcdPanel::SetUnitText(protocol::TUnitSlot slot, const QByteArray& text)
{
    QLabel* label = slot == protocol::TUnitSlot::Unit       ? lcdUnit
                    : slot == protocol::TUnitSlot::SubUnit1 ? lcdSubUnit1
                                                            : lcdSubUnit2;
    label->setText(protocol::DisplayText(text));
}

void TLcdPanel::SetFunctionSymbols(const protocol::TFunInfo& info)
{
    lcdAC->setVisible(true);
    lcdAC2->setVisible(info.subAcShown);
    lcdAC3->setVisible(info.subAcShown);
    lcdCosSin->setText(info.cosSin);
    // While the meter reports the hours format, the time label keeps it; the
    // function's own text returns when the bit clears.
    if (!m_indicators[idTime])
        lcdTime->setText(info.timeText);
    lcdRstA->setVisible(info.rstAShown);
    lcdTHD->setText(info.thd);
}

void TLcdPanel::ShowReading(const protocol::TReading& reading)
{
    lcdDisplay0->setText(protocol::DisplayText(reading.Display0));
    lcdDisplay1->setText(protocol::DisplayText(reading.Value));
    lcdDisplay2->setText(protocol::DisplayText(reading.SubValue1));
    lcdDisplay3->setText(protocol::DisplayText(reading.SubValue2));
}

void TLcdPanel::FlipActivity()
{
    const bool showOk = CONok->isHidden();
    CONok->setVisible(showOk);
    CONokN->setVisible(!showOk);
}

void TLcdPanel::SetUsbShown(bool shown)
{
    lcdUSB->setVisible(shown);
}

void TLcdPanel::ShowOverlays()
{
    pnlLoadLog->setVisible(true);
    Panel3->setVisible(true);
    Panel7->setVisible(true);
}

void TLcdPanel::HideOverlays()
{
    lblBackToLive->setVisible(false);
    pnlLoadLog->setVisible(false);
    Panel3->setVisible(false);
    Panel7->setVisible(false);
}

bool TLcdPanel::overlaysShown() const
{
    return !pnlLoadLog->isHidden();
}

void TLcdPanel::SetLoadCaption(const QString& caption)
{
    pnlLoadLog->setText(caption);
}

QString TLcdPanel::loadCaption() const
{
    return pnlLoadLog->text();
}

void TLcdPanel::AdvanceLoadingDots()
{
    QString dots = lblLoading->text() + QLatin1Char('.');
    if (dots.size() >= kLoadingDotsLimit)
        dots.clear();
    lblLoading->setText(dots);
}

void TLcdPanel::ClearLoadingDots()
{
    lblLoading->clear();
}

void TLcdPanel::ShowBackToLiveHint(bool shown)
{
    lblBackToLive->setVisible(shown);
}

void TLcdPanel::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect outer = rect();
    qDrawShadePanel(&painter, outer, palette(), false, 1);
    qDrawShadePanel(&painter, outer.adjusted(1, 1, -1, -1), palette(), true, 1);
}

void TLcdPanel::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    placeOverlays();
}

void TLcdPanel::placeOverlays()
{
    const QRect client = rect().adjusted(kBevel, kBevel, -kBevel, -kBevel);
    Panel3->setGeometry(client.left(), client.top(), client.width(), kTopStripHeight);
    Panel7->setGeometry(client.right() + 1 - kRightStripWidth, client.top() + kTopStripHeight,
                        kRightStripWidth, kRightStripHeight);
    pnlLoadLog->setGeometry(client.left(), client.bottom() + 1 - kLoadLogHeight, client.width(),
                            kLoadLogHeight);
    lblBackToLive->setGeometry(8, kLoadLogHeight - 40, client.width() - 16, 34);
}

} // namespace varnetta::display
