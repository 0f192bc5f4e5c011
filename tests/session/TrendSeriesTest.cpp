#include "session/TrendSeries.h"

#include <gtest/gtest.h>

using session::TrendSeries;

TEST(TrendSeries, ReadsNumbersAndCountsWhatIsNot)
{
    struct Case {
        const char* text;
        std::optional<double> value;
    };
    const Case cases[] = {
        {"1000", 1000.0}, {"27.9", 27.9},  {" 1.2 ", 1.2},        {"-40", -40.0},       {".5", 0.5},
        {"", {}},         {"--", {}},      {"12V", {}},           {"1.2.3", {}},        {"nan", {}},
        {"inf", {}},      {"+5", {}},      {"1e3", {}},           {"-", {}},            {"\x03", {}},
    };
    TrendSeries series;
    std::size_t numbers = 0;
    for (const Case& c : cases) {
        EXPECT_EQ(session::trendNumber(c.text), c.value) << '"' << c.text << '"';
        series.addText(1.0, c.text);
        if (c.value) ++numbers;
    }
    EXPECT_EQ(series.points().size(), numbers);
    EXPECT_EQ(series.notNumbers(), std::size(cases) - numbers);
}

TEST(TrendSeries, ThinsItsOldestHalfWhenFull)
{
    TrendSeries series;
    const std::size_t cap = TrendSeries::MaxPoints;
    for (std::size_t i = 0; i < cap; ++i) series.add(static_cast<double>(i), 1.0);
    EXPECT_EQ(series.points().size(), cap);
    EXPECT_EQ(series.thinnings(), 0u);

    series.add(static_cast<double>(cap), 1.0);
    const auto& points = series.points();
    ASSERT_EQ(points.size(), cap / 4 + cap / 2 + 1);
    EXPECT_EQ(series.thinnings(), 1u);
    // The oldest half keeps every second point, the newer half all of them, in order.
    EXPECT_EQ(points[0].x(), 0.0);
    EXPECT_EQ(points[1].x(), 2.0);
    EXPECT_EQ(points[cap / 4 - 1].x(), static_cast<double>(cap / 2 - 2));
    EXPECT_EQ(points[cap / 4].x(), static_cast<double>(cap / 2));
    EXPECT_EQ(points.back().x(), static_cast<double>(cap));

    // However long the session, the cap holds and the first point stays.
    for (std::size_t i = cap + 1; i < 5 * cap; ++i) series.add(static_cast<double>(i), 1.0);
    EXPECT_LE(series.points().size(), cap);
    EXPECT_EQ(series.points().front().x(), 0.0);
    EXPECT_EQ(series.points().back().x(), static_cast<double>(5 * cap - 1));
}

TEST(TrendSeries, AnEnvelopeKeepsEveryPeakInNoMorePointsThanTwoAColumn)
{
    std::vector<QPointF> points;
    for (int i = 0; i < 50'000; ++i) points.emplace_back(i, (i % 1000) * (i % 7 == 3 ? -1.0 : 1.0));
    points[31'234].setY(5000); // one spike
    const int columns = 400;
    const std::vector<QPointF> kept = session::envelope(points.data(), points.data() + points.size(), columns);
    EXPECT_LE(kept.size(), 2u * columns);
    EXPECT_TRUE(std::is_sorted(kept.begin(), kept.end(), [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); }));
    const auto [low, high] = std::minmax_element(kept.begin(), kept.end(),
                                                 [](const QPointF& a, const QPointF& b) { return a.y() < b.y(); });
    EXPECT_EQ(high->y(), 5000);
    EXPECT_EQ(low->y(), -999);

    // Few points are all kept.
    EXPECT_EQ(session::envelope(points.data(), points.data() + 500, columns).size(), 500u);
}
