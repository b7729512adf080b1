// Fitting the value axis to a page: the range with its margin in the cases
// where a plain min/max gives no usable axis, and which traces share an axis.
#include "views/ValueFit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using namespace varnetta::views;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

TValueFit fitOf(std::vector<float> values)
{
    TValueFit fit;
    fit.add(values);
    return fit;
}

} // namespace

TEST(ValueFitRange, SpreadValuesGetTheMarginOnBothSides)
{
    const auto r = fitOf({228.0f, 232.0f, 230.0f}).range();
    ASSERT_TRUE(r);
    EXPECT_DOUBLE_EQ(r->min, 228.0 - 0.2);
    EXPECT_DOUBLE_EQ(r->max, 232.0 + 0.2);
}

TEST(ValueFitRange, NegativeValuesKeepTheirOrder)
{
    const auto r = fitOf({-5.0f, -1.0f}).range();
    ASSERT_TRUE(r);
    EXPECT_DOUBLE_EQ(r->min, -5.2);
    EXPECT_DOUBLE_EQ(r->max, -0.8);
    const auto across = fitOf({-2.0f, 2.0f}).range();
    EXPECT_DOUBLE_EQ(across->min, -2.2);
    EXPECT_DOUBLE_EQ(across->max, 2.2);
}

TEST(ValueFitRange, OnePointOrEqualValuesGetABandAroundThem)
{
    for (const auto& values : {std::vector<float>{230.0f}, std::vector<float>(500, 230.0f)}) {
        const auto r = fitOf(values).range();
        ASSERT_TRUE(r);
        EXPECT_LT(r->min, 230.0);
        EXPECT_GT(r->max, 230.0);
        EXPECT_DOUBLE_EQ((r->min + r->max) / 2, 230.0);
        EXPECT_DOUBLE_EQ(r->max - r->min, 2 * 230.0 * TValueFit::kMargin);
    }
    const auto negative = fitOf({-4.5f}).range();
    EXPECT_LT(negative->min, -4.5);
    EXPECT_GT(negative->max, -4.5);
    const auto zero = fitOf({0.0f, 0.0f}).range();
    EXPECT_EQ(*zero, (TValueSpan{-1.0, 1.0}));
}

TEST(ValueFitRange, OverloadsAndOtherNonNumbersAreLeftOut)
{
    // Records with "OL" or dashes reach the fit as NaN; nothing may widen to them or to 0.
    const TValueFit fit = fitOf({kNaN, 0.912f, kNaN, 0.918f, kInf, -kInf});
    EXPECT_EQ(fit.count(), 2);
    const auto r = fit.range();
    ASSERT_TRUE(r);
    EXPECT_NEAR(r->min, 0.912 - 0.0003, 1e-6);
    EXPECT_NEAR(r->max, 0.918 + 0.0003, 1e-6);
}

TEST(ValueFitRange, NoNumberAtAllGivesNoRange)
{
    EXPECT_FALSE(TValueFit().range());
    EXPECT_FALSE(fitOf({kNaN, kNaN}).range());
    EXPECT_EQ(fitOf({kNaN}).count(), 0);
}

TEST(ValueFitRange, JoinedFitsCoverBothAndCountBoth)
{
    TValueFit a = fitOf({1.0f, 2.0f, 3.0f});
    a.add(fitOf({7.0f}));
    a.add(TValueFit());
    EXPECT_EQ(a.count(), 4);
    EXPECT_EQ(*a.extent(), (TValueSpan{1.0, 7.0}));
    TValueFit empty;
    empty.add(fitOf({-3.0f, 5.0f}));
    EXPECT_EQ(empty.count(), 2);
    EXPECT_EQ(*empty.extent(), (TValueSpan{-3.0, 5.0}));
}

TEST(ValueFitLabels, EnoughDecimalsThatNeighbouringTicksDiffer)
{
    EXPECT_EQ(LabelDecimals({1896.0, 2003.0}, 5), 0);   // 1896, 1923, ...
    EXPECT_EQ(LabelDecimals({229.5, 240.1}, 5), 1);     // 229.5, 232.2, ...
    EXPECT_EQ(LabelDecimals({12345.0, 12346.0}, 5), 2); // 12345.00, 12345.25, ...
    EXPECT_EQ(LabelDecimals({0.9, 0.92}, 5), 4);
    EXPECT_EQ(LabelDecimals({-1.0, 1.0}, 5), 2); // steps of 0.5: -1.00, -0.50, ...
    EXPECT_EQ(LabelDecimals({0.0, 1e6}, 5), 0);
    EXPECT_EQ(LabelDecimals({5.0, 5.0}, 5), 0);    // no width: nothing to tell apart
    EXPECT_EQ(LabelDecimals({0.0, 1e-30}, 5), 12); // held at a readable length
}

TEST(FitAxes, NoTraceLiesFlatOnAnAxisItShares)
{
    // A power reading: about 1 kW, 230 V and a steady 4.5 A each need their own.
    const std::vector<TValueFit> power = {TValueFit(), fitOf({0.91f, 0.93f}), fitOf({229.5f, 230.4f}),
                                          fitOf({4.5f, 4.5f})};
    EXPECT_EQ(FitAxes(power), (std::vector<int>{0, 0, 1, 2}));

    // Overlapping ranges of like spread share; one that would squeeze them
    // into less than a quarter of the axis does not.
    const std::vector<TValueFit> alike = {fitOf({100.0f, 200.0f}), fitOf({150.0f, 250.0f}),
                                          fitOf({0.0f, 2000.0f}), fitOf({-40.0f, 60.0f})};
    EXPECT_EQ(FitAxes(alike), (std::vector<int>{0, 0, 1, 0}));
    // A kilowatt reading swinging 0.6 beside a current swinging 2.4: the first would look flat.
    const std::vector<TValueFit> live = {fitOf({0.6f, 1.2f}), fitOf({3.3f, 5.7f})};
    EXPECT_EQ(FitAxes(live), (std::vector<int>{0, 1}));

    // Steady traces share only the same value.
    const std::vector<TValueFit> steady = {fitOf({5.0f}), fitOf({5.0f, 5.0f}), fitOf({5.5f})};
    EXPECT_EQ(FitAxes(steady), (std::vector<int>{0, 0, 1}));

    // A trace without numbers stays on the first axis, which the next trace with numbers takes.
    const std::vector<TValueFit> firstEmpty = {fitOf({kNaN}), fitOf({230.0f, 231.0f}), TValueFit(),
                                               fitOf({-3.0f, 3.0f})};
    EXPECT_EQ(FitAxes(firstEmpty), (std::vector<int>{0, 0, 0, 1}));
    EXPECT_EQ(FitAxes(std::vector<TValueFit>(3)), (std::vector<int>{0, 0, 0}));
}
