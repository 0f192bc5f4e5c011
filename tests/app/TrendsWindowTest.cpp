#include "app/TrendPlot.h"
#include "app/TrendsWindow.h"
#include "framework/VirtualClock.h"
#include "session/TrendData.h"
#include "transponder/SequenceRecord.h"

#include <QDateTime>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest/QTest>
#include <gtest/gtest.h>

using session::TrafficDirection;
using session::TrendData;

namespace {

// The program's clock an hour on, so that there is room to go back from it.
constexpr std::uint64_t HourMs = 3'600'000;

std::chrono::milliseconds msAgo(double minutes)
{
    return std::chrono::milliseconds(static_cast<long long>(minutes * 60'000));
}

std::chrono::system_clock::time_point minutesAgo(double minutes)
{
    return std::chrono::system_clock::now() - msAgo(minutes);
}

void received(TrendData& data, double minutes, const std::string& frame)
{
    data.traffic({minutesAgo(minutes), TrafficDirection::Received, frame,
                  fw::tickCount() - static_cast<std::uint64_t>(msAgo(minutes).count())});
}

} // namespace

TEST(TrendsWindow, DrawsASequenceWhenItEndsAndOtherValuesWithinTheDelay)
{
    fw::ScopedVirtualClock clock;
    clock.advance(HourMs);
    TrendData data;
    TrendsWindow window(data);
    window.show();
    received(data, 0, "\x02" "a=1000\x03");
    EXPECT_EQ(window.plot(TrendData::Altitude)->shownPoints(), 0) << "not drawn in the middle of a sequence";

    transponder::SequenceRecord record;
    record.time = minutesAgo(0);
    record.tickMs = fw::tickCount();
    record.answered = 14;
    data.sequenceEnded(record);
    EXPECT_EQ(window.plot(TrendData::Altitude)->shownPoints(), 1);
    EXPECT_EQ(window.plot(TrendData::Answered)->shownPoints(), 1);

    received(data, 0, "\x02" "a=1025\x03");
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.plot(TrendData::Altitude)->shownPoints() == 2; },
                                TrendsWindow::RedrawDelayMs + 1000));
}

TEST(TrendsWindow, ShowsTheChosenSpanAndCountsWhatWasNoNumber)
{
    fw::ScopedVirtualClock clock;
    clock.advance(HourMs);
    TrendData data;
    received(data, 40, "\x02" "v=27.1\x03");
    received(data, 20, "\x02" "v=27.5\x03");
    received(data, 2, "\x02" "v=--\x03");
    received(data, 1, "\x02" "v=27.9\x03");
    TrendsWindow window(data);
    window.show();
    TrendPlot* volts = window.plot(TrendData::Volts);
    struct Case {
        TrendsWindow::Span span;
        int points;
    };
    for (const Case& c : {Case{TrendsWindow::Last5Minutes, 1}, Case{TrendsWindow::Last30Minutes, 2},
                          Case{TrendsWindow::Everything, 3}}) {
        window.setSpan(c.span);
        EXPECT_EQ(volts->shownPoints(), c.points) << "span " << c.span;
    }
    EXPECT_EQ(volts->title(), QStringLiteral("Supply voltage (1 value that was not a number left out)"));
    EXPECT_EQ(window.plot(TrendData::Altitude)->title(), QStringLiteral("Altitude"));
}

// An outage read from a recording (the link's loss, a sequence nothing
// answered) breaks the line there: nothing is joined across it.
TEST(TrendsWindow, BreaksTheLineAcrossAnOutage)
{
    const double t = 1'800'000'000'000.0;
    const struct {
        std::vector<TrendData::Value> values;
        int points;
        int lines;
    } cases[] = {
        {{{t, 1000.0}, {t + 2000, 1025.0}, {t + 4000, 1050.0}}, 3, 1},
        {{{t, 1000.0}, {t + 1000, {}, true}, {t + 42'000, 1025.0}, {t + 44'000, 1050.0}}, 3, 2},
        {{{t, 1000.0}, {t + 1000, {}, true}, {t + 2000, {}, true}, {t + 4000, 1025.0}}, 2, 2}, // two in a row are one
        {{{t, {}, true}, {t + 2000, 1000.0}, {t + 4000, 1025.0}}, 2, 1},                        // none before any point
        {{{t, 1000.0}, {t + 1000, {}, true}, {t + 2000, 1025.0}, {t + 3000, {}, true}, {t + 4000, 1.0}}, 3, 3},
    };
    for (const auto& c : cases) {
        TrendData data;
        data.addRecorded(TrendData::Altitude, c.values);
        data.setMoment(static_cast<qint64>(t) + 60'000);
        TrendsWindow window(data);
        window.setSpan(TrendsWindow::Everything);
        window.redraw();
        EXPECT_EQ(window.plot(TrendData::Altitude)->shownPoints(), c.points) << "row " << &c - cases;
        EXPECT_EQ(window.plot(TrendData::Altitude)->shownLines(), c.lines) << "row " << &c - cases;
    }
}

TEST(TrendsWindow, SavesAPlotAsAPicture)
{
    fw::ScopedVirtualClock clock;
    clock.advance(HourMs);
    TrendData data;
    received(data, 1, "\x02" "f=1.2\x03");
    TrendsWindow window(data);
    window.show();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("offset.png"));
    ASSERT_TRUE(window.plot(TrendData::Offset)->savePng(path));
    QImage picture;
    ASSERT_TRUE(picture.load(path, "PNG"));
    EXPECT_GE(picture.width(), 320);
    EXPECT_GE(picture.height(), 200);
}
