// The aligned edit: alignment under both reading orders, applied only on change.
#include "controls/CControls.h"

#include <QImage>
#include <QTest>

#include <gtest/gtest.h>

using namespace varnetta::app;

namespace {

Qt::Alignment side(const TCEdit& edit)
{
    return edit.alignment() & Qt::AlignHorizontal_Mask & ~Qt::AlignAbsolute;
}

// The leftmost column where the rendered box shows text, or -1.
int firstInkColumn(TCEdit& edit)
{
    const QImage image = edit.grab().toImage();
    // Dark text on a light base, as the default palette has it.
    for (int x = 4; x < image.width() - 4; ++x)
        for (int y = 4; y < image.height() - 4; ++y)
            if (qGray(image.pixel(x, y)) < 128)
                return x;
    return -1;
}

} // namespace

struct SideCase
{
    TAlignment alignment;
    Qt::LayoutDirection direction;
    Qt::Alignment expected;
};

class TCEditSide : public testing::TestWithParam<SideCase>
{
};

TEST_P(TCEditSide, TextStandsOnTheSideTheReadingOrderGives)
{
    const SideCase& c = GetParam();
    TCEdit edit;
    edit.setLayoutDirection(c.direction);
    edit.SetAlignment(c.alignment);
    EXPECT_EQ(side(edit), c.expected);
    // Absolute, so Qt does not mirror it once more when painting.
    EXPECT_TRUE(edit.alignment() & Qt::AlignAbsolute);
}

INSTANTIATE_TEST_SUITE_P(AlignmentTable, TCEditSide,
                         testing::Values(SideCase{taLeftJustify, Qt::LeftToRight, Qt::AlignLeft},
                                         SideCase{taRightJustify, Qt::LeftToRight, Qt::AlignRight},
                                         SideCase{taCenter, Qt::LeftToRight, Qt::AlignHCenter},
                                         SideCase{taLeftJustify, Qt::RightToLeft, Qt::AlignRight},
                                         SideCase{taRightJustify, Qt::RightToLeft, Qt::AlignLeft},
                                         SideCase{taCenter, Qt::RightToLeft, Qt::AlignHCenter}));

TEST(TCEdit, CreatedInCodeStartsLeftJustified)
{
    TCEdit edit;
    EXPECT_EQ(edit.Alignment(), taLeftJustify);
    EXPECT_EQ(side(edit), Qt::AlignLeft);
    EXPECT_EQ(edit.styleApplications(), 1);
}

TEST(TCEdit, SameValueAppliesNothing)
{
    TCEdit edit;
    edit.SetAlignment(taRightJustify);
    const int applied = edit.styleApplications();
    edit.SetAlignment(taRightJustify);
    edit.setProperty("Alignment", int(taRightJustify));
    EXPECT_EQ(edit.styleApplications(), applied);
    edit.SetAlignment(taCenter);
    EXPECT_EQ(edit.styleApplications(), applied + 1);
}

TEST(TCEdit, PropertyWritesThroughSetAlignment)
{
    TCEdit edit;
    ASSERT_TRUE(edit.setProperty("Alignment", int(taCenter)));
    EXPECT_EQ(edit.Alignment(), taCenter);
    EXPECT_EQ(edit.property("Alignment").toInt(), int(taCenter));
    EXPECT_EQ(side(edit), Qt::AlignHCenter);
}

TEST(TCEdit, ChangingAlignmentKeepsTextAndStateAndMovesItAtOnce)
{
    TCEdit edit;
    edit.resize(200, 24);
    edit.setText(QStringLiteral("123.4"));
    edit.setReadOnly(true);
    const int leftInk = firstInkColumn(edit);
    ASSERT_GE(leftInk, 0);
    EXPECT_LT(leftInk, 50);

    edit.SetAlignment(taRightJustify);
    EXPECT_EQ(edit.text(), QStringLiteral("123.4"));
    EXPECT_TRUE(edit.isReadOnly());
    EXPECT_GT(firstInkColumn(edit), 120);
}

TEST(TCEdit, NewReadingOrderSwapsTheSides)
{
    TCEdit edit;
    edit.SetAlignment(taRightJustify);
    const int applied = edit.styleApplications();
    edit.setLayoutDirection(Qt::RightToLeft);
    EXPECT_EQ(side(edit), Qt::AlignLeft);
    EXPECT_EQ(edit.styleApplications(), applied + 1);
    edit.setLayoutDirection(Qt::LeftToRight);
    EXPECT_EQ(side(edit), Qt::AlignRight);
}
