// The application object: an exception out of an event handler becomes an
// error box and the program goes on.
#include "controls/NewMsgDlg.h"
#include "app/VarnettaApplication.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTest>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace varnetta::app;

namespace {

constexpr auto kThrowStd = QEvent::Type(QEvent::User + 1);
constexpr auto kThrowOther = QEvent::Type(QEvent::User + 2);
constexpr auto kPing = QEvent::Type(QEvent::User + 3);

class TThrowingObject : public QObject
{
public:
    int pings = 0;

protected:
    bool event(QEvent* e) override
    {
        if (e->type() == kThrowStd)
            throw std::runtime_error("Cannot open clipboard");
        if (e->type() == kThrowOther)
            throw 42;
        if (e->type() == kPing) {
            ++pings;
            return true;
        }
        return QObject::event(e);
    }
};

struct Shown
{
    QString text;
    TMsgDlgType type = mtCustom;
    TMsgDlgButtons buttons = 0;
    int count = 0;
};

class ExceptionHandler : public testing::Test
{
protected:
    void SetUp() override
    {
        m_previous = SetMsgDlgHook([this](const QString& msg, TMsgDlgType type, TMsgDlgButtons buttons) {
            m_shown.text = msg;
            m_shown.type = type;
            m_shown.buttons = buttons;
            ++m_shown.count;
            return int(mrOk);
        });
    }
    void TearDown() override { SetMsgDlgHook(m_previous); }

    Shown m_shown;
    TMsgDlgHook m_previous;
};

} // namespace

TEST_F(ExceptionHandler, ShowsTheErrorsTextInAnErrorBox)
{
    ASSERT_NE(qobject_cast<TVarnettaApplication*>(QCoreApplication::instance()), nullptr);
    TThrowingObject object;
    QEvent event(kThrowStd);
    EXPECT_FALSE(QCoreApplication::sendEvent(&object, &event));
    EXPECT_EQ(m_shown.count, 1);
    EXPECT_EQ(m_shown.text, "Cannot open clipboard");
    EXPECT_EQ(m_shown.type, mtError);
    EXPECT_EQ(m_shown.buttons, mbOK);
}

TEST_F(ExceptionHandler, UnknownThrowStillGetsABox)
{
    TThrowingObject object;
    QEvent event(kThrowOther);
    EXPECT_FALSE(QCoreApplication::sendEvent(&object, &event));
    EXPECT_EQ(m_shown.count, 1);
    EXPECT_FALSE(m_shown.text.isEmpty());
}

TEST_F(ExceptionHandler, EventLoopGoesOnAfterAThrow)
{
    TThrowingObject object;
    QCoreApplication::postEvent(&object, new QEvent(kThrowStd));
    QCoreApplication::postEvent(&object, new QEvent(kPing));
    EXPECT_TRUE(QTest::qWaitFor([&] { return object.pings == 1; }, 5000));
    EXPECT_EQ(m_shown.count, 1);
}
