// The chart toolbar: the range box, the page box and the chart picture.
#include "views/widgets/ChartPanel.h"
#include "controls/CControls.h"
#include "controls/NewMsgDlg.h"
#include "views/widgets/uCharControl.h"

#include <QChartView>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace varnetta;
using namespace varnetta::views;

namespace {

struct ToolbarFixture : ::testing::Test
{
    TChartPanel panel;
    TChartControl control{panel.chart(), 100};
    QStringList messages;
    app::TMsgDlgHook previousHook;

    ToolbarFixture()
    {
        panel.setChartControl(&control);
        panel.resize(500, 400);
        previousHook =
            app::SetMsgDlgHook([this](const QString& msg, app::TMsgDlgType type, app::TMsgDlgButtons b) {
                messages << msg;
                EXPECT_EQ(type, app::mtInformation);
                EXPECT_EQ(b, app::mbOK);
                return int(app::mrOk);
            });
    }
    ~ToolbarFixture() override { app::SetMsgDlgHook(previousHook); }

    template <typename T = app::TCEdit> T* child(const char* name)
    {
        T* w = panel.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QTimer* timerChange() { return child<QTimer>("timerChange"); }
    void addRows(int count)
    {
        for (int i = 0; i < count; ++i)
            control.AddValues({0.0, 1.0, 2.0, 3.0}, {Qt::blue, Qt::red, Qt::blue, Qt::green});
    }
};

TEST_F(ToolbarFixture, ControlsCarryTheirHintsAndTheGoToGroupIsHidden)
{
    const std::pair<const char*, const char*> hints[] = {
        {"btnFirst", "First"}, {"btnPrevious", "Previous"},   {"btnNext", "Next"},
        {"btnLast", "Last"},   {"btnNew", "Clear"},           {"btnSave", "Save"},
        {"btnFly", "Zoom +"},  {"btnChartZoomOut", "Zoom -"}, {"btnGoPage", "GotoPage"}};
    for (const auto& [name, hint] : hints)
        EXPECT_EQ(child<QToolButton>(name)->toolTip(), QString::fromLatin1(hint)) << name;
    EXPECT_EQ(child("edtRange")->text(), "100");
    EXPECT_EQ(child("edtRange")->Alignment(), app::taRightJustify);
    EXPECT_EQ(child("edtCurPage")->Alignment(), app::taCenter);
    EXPECT_TRUE(child("edtCurPage")->isReadOnly());
    for (const char* hidden : {"btnChartZoomOut", "edtPage", "btnGoPage"})
        EXPECT_TRUE(panel.findChild<QWidget*>(hidden)->isHidden()) << hidden;
    EXPECT_TRUE(panel.findChild<QWidget*>("Panel6")->isHidden());
    EXPECT_FALSE(timerChange()->isActive());
}

TEST_F(ToolbarFixture, RangeBoxAcceptsTheBoundsAndShowsTheLastPage)
{
    addRows(250);
    control.FirstPage();
    for (const auto& [text, range] : {std::pair{"10", 10}, std::pair{"10000", 10000}, std::pair{"25", 25}}) {
        child("edtRange")->setText(QString::fromLatin1(text));
        panel.timerChangeTimer();
        EXPECT_EQ(control.Range(), range);
        EXPECT_EQ(panel.LastRange(), range);
        EXPECT_EQ(child("edtCurPage")->text(), QString::number(control.PageCount()));
        EXPECT_FALSE(timerChange()->isActive());
    }
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(ToolbarFixture, RangeBoxRefusesOutOfBoundsAndEmptyAndRestoresTheLastGoodValue)
{
    child("edtRange")->setText("40");
    panel.timerChangeTimer();
    for (const char* bad : {"9", "10001", "", "99999999999"}) {
        messages.clear();
        child("edtRange")->setText(QString::fromLatin1(bad));
        panel.timerChangeTimer();
        EXPECT_EQ(messages, QStringList{"Please enter a number between 10 to 10000"}) << bad;
        EXPECT_EQ(child("edtRange")->text(), "40") << bad;
        EXPECT_EQ(control.Range(), 40);
        // The restored text is judged again a second later.
        EXPECT_TRUE(timerChange()->isActive());
    }
}

TEST_F(ToolbarFixture, RangeTypedInQuickSuccessionIsAppliedOnceAfterThePause)
{
    QSignalSpy fired(timerChange(), &QTimer::timeout);
    child("edtRange")->clear();
    QTest::keyClick(child("edtRange"), Qt::Key_2);
    QTest::keyClick(child("edtRange"), Qt::Key_5);
    ASSERT_TRUE(fired.wait(3000));
    EXPECT_EQ(fired.count(), 1);
    EXPECT_EQ(control.Range(), 25);
    EXPECT_TRUE(messages.isEmpty()); // the empty box in between was never judged
}

TEST_F(ToolbarFixture, DigitBoxesDropEveryOtherCharacter)
{
    app::TCEdit* range = child("edtRange");
    range->clear();
    QTest::keyClicks(range, "1a2-3 .x");
    EXPECT_EQ(range->text(), "123");
    QTest::keyClick(range, Qt::Key_Backspace);
    EXPECT_EQ(range->text(), "12");
}

TEST_F(ToolbarFixture, PageBoxFollowsCurPageOnRowsClearAndPageMoves)
{
    addRows(101);
    EXPECT_EQ(child("edtCurPage")->text(), "2");
    panel.btnFirstClick();
    EXPECT_EQ(child("edtCurPage")->text(), "1");
    panel.btnLastClick();
    EXPECT_EQ(child("edtCurPage")->text(), "2");
    control.Clear();
    EXPECT_EQ(child("edtCurPage")->text(), "1");
}

TEST_F(ToolbarFixture, PageBoxTextThatIsNotANumberIsReplacedByCurPage)
{
    addRows(150);
    for (const char* name : {"edtCurPage", "edtPage"}) {
        app::TCEdit* box = child(name);
        box->setText("x");
        EXPECT_EQ(box->text(), "2") << name;
        EXPECT_EQ(box->selectedText(), "2") << name;
    }
}

TEST_F(ToolbarFixture, PageBoxPassesTheFocusOnToTheNextControl)
{
    panel.show();
    panel.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
    child("edtCurPage")->setFocus(Qt::TabFocusReason);
    EXPECT_TRUE(QTest::qWaitFor([&] { return child<QToolButton>("btnNext")->hasFocus(); }));
    EXPECT_FALSE(child("edtCurPage")->hasFocus());
}

TEST_F(ToolbarFixture, GoPageButtonGoesToTheTypedPage)
{
    addRows(350);
    child("edtPage")->setText("2");
    panel.btnGoPageClick();
    EXPECT_EQ(control.CurPage(), 2);
    EXPECT_EQ(child("edtCurPage")->text(), "2");
}

struct PictureName
{
    const char* chosen;
    const char* written;
};

class ChartPictureNames : public ::testing::TestWithParam<PictureName>
{
};

TEST_P(ChartPictureNames, GetBmpAppendedUnlessTheyEndInAPictureForm)
{
    EXPECT_EQ(ChartPictureFileName(QString::fromLatin1(GetParam().chosen)),
              QString::fromLatin1(GetParam().written));
}

INSTANTIATE_TEST_SUITE_P(Names, ChartPictureNames,
                         ::testing::Values(PictureName{"/tmp/chart", "/tmp/chart.bmp"},
                                           PictureName{"/tmp/chart.bmp", "/tmp/chart.bmp"},
                                           PictureName{"/tmp/chart.BMP", "/tmp/chart.BMP"},
                                           PictureName{"/tmp/chart.bMp", "/tmp/chart.bMp"},
                                           PictureName{"/tmp/chart.png", "/tmp/chart.png"},
                                           PictureName{"/tmp/chart.SVG", "/tmp/chart.SVG"},
                                           PictureName{"/tmp/chart.jpg", "/tmp/chart.jpg.bmp"},
                                           PictureName{"/tmp/a.bmp.d/chart", "/tmp/a.bmp.d/chart.bmp"}));

TEST_F(ToolbarFixture, SaveWritesABitmapOfTheChartsOnScreenSize)
{
    QTemporaryDir dir;
    const QString chosen = dir.filePath("trend");
    const TPictureDialogHook previous = SetPictureDialogHook([&] { return chosen; });
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    addRows(30);
    control.flushRepaint();
    const QSize onScreen = panel.chartView()->size();
    panel.btnSaveClick();
    SetPictureDialogHook(previous);

    QFile file(chosen + ".bmp");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.read(2), QByteArray("BM"));
    file.close();
    QImageReader reader(chosen + ".bmp");
    EXPECT_EQ(reader.format(), QByteArray("bmp"));
    const QImage picture = reader.read();
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size(), onScreen);
    EXPECT_EQ(QColor(picture.pixel(1, 1)), QColor(Qt::white));
}

TEST_F(ToolbarFixture, PngAndSvgNamesGetThoseFormsOfTheSamePicture)
{
    QTemporaryDir dir;
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    addRows(30);
    control.flushRepaint();
    const QSize onScreen = panel.chartView()->size();
    for (const char* name : {"trend.png", "trend.svg"}) {
        const QString chosen = dir.filePath(QString::fromLatin1(name));
        const TPictureDialogHook previous = SetPictureDialogHook([&] { return chosen; });
        panel.btnSaveClick();
        SetPictureDialogHook(previous);
        ASSERT_TRUE(QFileInfo::exists(chosen)) << name;
        QImageReader reader(chosen);
        EXPECT_EQ(reader.format(), QFileInfo(chosen).suffix().toLatin1()) << name;
        const QImage picture = reader.read();
        ASSERT_FALSE(picture.isNull()) << name;
        // A drawing's size in pixels depends on the reader's resolution; its view box does not.
        if (QFileInfo(chosen).suffix() == QLatin1String("png"))
            EXPECT_EQ(picture.size(), onScreen);
    }
    QFile svg(dir.filePath("trend.svg"));
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
    const QByteArray text = svg.readAll();
    EXPECT_TRUE(text.contains("<svg")) << "a drawing, not a picture in a wrapper";
    EXPECT_TRUE(text.contains("Record Number")) << "the axis title stays text";
    EXPECT_TRUE(text.contains(QStringLiteral("viewBox=\"0 0 %1 %2\"").arg(onScreen.width()).arg(onScreen.height()).toLatin1()));
}

TEST_F(ToolbarFixture, CancelledSaveWritesNothingAndAnUnwritableFileFails)
{
    QTemporaryDir dir;
    const TPictureDialogHook previous = SetPictureDialogHook([] { return QString(); });
    panel.btnSaveClick();
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
    SetPictureDialogHook(previous);
    for (const char* name : {"missing/chart.bmp", "missing/chart.png", "missing/chart.svg"})
        EXPECT_THROW(SaveChartPicture(panel.chartView(), dir.filePath(QString::fromLatin1(name))), std::runtime_error)
            << name;
}

} // namespace
