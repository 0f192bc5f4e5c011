#include "app/RecordingReview.h"
#include "app/TrafficMonitor.h"
#include "app/TrendPlot.h"
#include "app/TrendsWindow.h"
#include "framework/VirtualClock.h"
#include "session/RecordingIndex.h"
#include "session/TrendData.h"
#include "transponder/SequenceRecord.h"

#include <QDateTime>
#include <QFile>
#include <QIcon>
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

    // A sequence nothing answered breaks the lines of its values, the link's
    // loss every line, as a recording's outages do.
    const auto sequence = [&](int answered) {
        clock.advance(2000);
        record.tickMs = fw::tickCount();
        record.answered = answered;
        data.sequenceEnded(record);
    };
    sequence(0);
    sequence(14);
    clock.advance(2000);
    data.linkLost(record.time, fw::tickCount());
    clock.advance(2000);
    received(data, 0, "\x02" "a=1075\x03");
    sequence(14);
    EXPECT_EQ(window.plot(TrendData::Altitude)->shownLines(), 2);
    EXPECT_EQ(window.plot(TrendData::Answered)->shownLines(), 2);
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

// An outage on record breaks the review's trend lines there: a sequence that
// nothing answered the lines of the values it would have given, the link's
// loss every line. Outages in a row are one break; one before any point, none.
TEST(TrendsWindow, BreaksARecordedLineAcrossAnOutage)
{
    const char* const lost = R"("alarm":"link-lost","state":"active-unacknowledged")";
    const char* const answered = R"("altitude":"1000","volts":"27.9","offset":"1.2 V","answered":14,"unanswered":[])";
    const char* const silent = R"("altitude":"","volts":"","offset":"","answered":0,"unanswered":["a","v"])";
    QByteArray text = R"({"time":"2026-12-07T20:00:00.000Z","port":"COM1","program":"uavControl"})" "\n";
    int second = 0;
    for (const char* line : {lost, answered, answered, silent, silent, answered, lost, answered})
        text += QStringLiteral(R"({"time":"2026-12-07T20:00:%1.000Z",%2})" "\n")
                    .arg(++second, 2, 10, QLatin1Char('0'))
                    .arg(QLatin1String(line))
                    .toLatin1();
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("outages.jsonl")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.flush());
    RecordingReview review(file.fileName(), QIcon());
    ASSERT_TRUE(review.open());
    ASSERT_TRUE(QTest::qWaitFor([&] { return review.index().complete(); }, 10'000));
    review.trendsWindow()->setSpan(TrendsWindow::Everything);
    review.trendsWindow()->redraw();
    for (const auto& [series, points, lines] : {std::tuple{TrendData::Altitude, 4, 3}, std::tuple{TrendData::Volts, 4, 3},
                                                std::tuple{TrendData::Answered, 6, 2}}) {
        EXPECT_EQ(review.trendsWindow()->plot(series)->shownPoints(), points) << series;
        EXPECT_EQ(review.trendsWindow()->plot(series)->shownLines(), lines) << series;
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
