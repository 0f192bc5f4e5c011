#include "framework/VirtualClock.h"
#include "session/TrafficModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <gtest/gtest.h>

using session::TrafficDirection;
using session::TrafficEvent;
using session::TrafficModel;

namespace {

std::string describe(const TrafficEvent& event)
{
    return event.direction == TrafficDirection::Noise ? "noise" : "frame";
}

TrafficEvent event(TrafficDirection direction, std::string bytes, long long ms = 0)
{
    return {std::chrono::system_clock::time_point(std::chrono::milliseconds(ms)), direction, std::move(bytes)};
}

QStringList rows(const TrafficModel& model)
{
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row) texts << model.rowText(row);
    return texts;
}

// The frame column of every row.
QStringList frames(const TrafficModel& model)
{
    QStringList texts;
    for (const QString& row : rows(model)) texts << row.section(QLatin1Char(' '), 2, 2, QString::SectionSkipEmpty);
    return texts;
}

// Lines reach the rows PublishMs after they came in.
void settle(fw::VirtualClock& clock)
{
    clock.advance(TrafficModel::PublishMs);
}

void feedSession(TrafficModel& model)
{
    model.traffic(event(TrafficDirection::Sent, "\x02" "a=?\x03"));
    model.traffic(event(TrafficDirection::Received, "\x02" "a=1000\x03"));
    model.traffic(event(TrafficDirection::Noise, "\x7f\x0d"));
    model.traffic(event(TrafficDirection::Sent, "\x02" "c=?\x03"));
    model.traffic(event(TrafficDirection::Received, "\x02" "c=1200\x03"));
    model.traffic(event(TrafficDirection::Received, "\x02*=\x03"));
    // Noise that holds a frame cut off before its end: it has a letter to look at, yet is no frame.
    model.traffic(event(TrafficDirection::Noise, "\x02" "c=12"));
}

} // namespace

TEST(TrafficModel, ShowsEachLineWithItsTimeDirectionFrameAndDescription)
{
    fw::ScopedVirtualClock clock;
    TrafficModel model(describe);
    const long long ms = QDateTime(QDate(2026, 12, 7), QTime(20, 36, 54, 521)).toMSecsSinceEpoch();
    model.traffic(event(TrafficDirection::Sent, "\x02" "c=?\x03", ms));
    model.traffic(event(TrafficDirection::Noise, "x\x0d\xff\x03", ms));
    clock.advance(TrafficModel::PublishMs - 1);
    EXPECT_EQ(model.rowCount(), 0) << "a batch goes out PublishMs after its first line";
    clock.advance(1);
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.rowText(0), QStringLiteral("20:36:54.521  out    <STX>c=?<ETX>     frame"));
    EXPECT_EQ(model.rowText(1), QStringLiteral("20:36:54.521  noise  x<0D><FF><ETX>    noise"));
    const QStringList columns = {QStringLiteral("20:36:54.521"), QStringLiteral("noise"),
                                 QStringLiteral("x<0D><FF><ETX>"), QStringLiteral("noise")};
    ASSERT_EQ(model.columnCount(), columns.size());
    for (int column = 0; column < model.columnCount(); ++column)
        EXPECT_EQ(model.data(model.index(1, column), Qt::DisplayRole).toString(), columns[column]);
    EXPECT_EQ(model.headerData(TrafficModel::Description, Qt::Horizontal, Qt::DisplayRole).toString(),
              QStringLiteral("Description"));
}

TEST(TrafficModel, FiltersByDirectionAndByLetter)
{
    struct Case {
        const char* name;
        std::optional<TrafficDirection> direction;
        std::optional<char> letter;
        QStringList frames;
    };
    const Case cases[] = {
        {"everything", {}, {}, {"<STX>a=?<ETX>", "<STX>a=1000<ETX>", "<7F><0D>", "<STX>c=?<ETX>", "<STX>c=1200<ETX>",
                                 "<STX>*=<ETX>", "<STX>c=12"}},
        {"sent", TrafficDirection::Sent, {}, {"<STX>a=?<ETX>", "<STX>c=?<ETX>"}},
        {"received", TrafficDirection::Received, {}, {"<STX>a=1000<ETX>", "<STX>c=1200<ETX>", "<STX>*=<ETX>"}},
        {"noise", TrafficDirection::Noise, {}, {"<7F><0D>", "<STX>c=12"}},
        {"letter c", {}, 'c', {"<STX>c=?<ETX>", "<STX>c=1200<ETX>"}},
        {"letter *", {}, '*', {"<STX>*=<ETX>"}},
        {"received a", TrafficDirection::Received, 'a', {"<STX>a=1000<ETX>"}},
        {"a letter hides noise, a cut-off frame of that letter too", TrafficDirection::Noise, 'c', {}},
    };
    fw::ScopedVirtualClock clock;
    TrafficModel model(describe);
    const QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    feedSession(model);
    settle(clock);
    for (const Case& c : cases) {
        model.setFilter(c.direction, c.letter);
        EXPECT_EQ(frames(model), c.frames) << c.name;
        // Lines that come in later are filtered the same way.
        TrafficModel fresh(describe);
        fresh.setFilter(c.direction, c.letter);
        feedSession(fresh);
        settle(clock);
        EXPECT_EQ(frames(fresh), c.frames) << c.name << ", filtered as they came";
    }
}

TEST(TrafficModel, KeepsTheLastHundredThousandLines)
{
    fw::ScopedVirtualClock clock;
    TrafficModel model(describe);
    const QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.setFilter(TrafficDirection::Received, {});
    const std::size_t total = TrafficModel::MaxLines + 1234;
    // In batches, as a busy line brings them; the last batch is larger than
    // what is left of the first.
    for (std::size_t i = 0; i < total; ++i) {
        model.traffic(event(i % 2 ? TrafficDirection::Received : TrafficDirection::Sent,
                            "\x02" "a=" + std::to_string(i) + "\x03"));
        if (i % 10'000 == 9'999) settle(clock);
    }
    settle(clock);
    EXPECT_EQ(model.lineCount(), TrafficModel::MaxLines);
    EXPECT_EQ(model.rowCount(), static_cast<int>(TrafficModel::MaxLines / 2));
    EXPECT_TRUE(model.rowText(0).contains(QStringLiteral("a=1235<ETX>"))) << model.rowText(0).toStdString();
    EXPECT_TRUE(model.rowText(model.rowCount() - 1).contains(QStringLiteral("a=%1<ETX>").arg(total - 1)));
    model.setFilter({}, {});
    EXPECT_EQ(model.rowCount(), static_cast<int>(TrafficModel::MaxLines));
}

TEST(TrafficModel, APausedViewKeepsTakingLinesAndShowsThemOnResuming)
{
    fw::ScopedVirtualClock clock;
    TrafficModel model(describe);
    const QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.traffic(event(TrafficDirection::Sent, "\x02" "a=?\x03"));
    settle(clock);
    model.setPaused(true);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    model.traffic(event(TrafficDirection::Received, "\x02" "a=1000\x03"));
    model.setFilter(TrafficDirection::Received, {}); // a filter change does not unfreeze
    model.setFilter({}, {});
    model.traffic(event(TrafficDirection::Sent, "\x02" "c=?\x03"));
    settle(clock);
    EXPECT_EQ(inserted.count(), 0);
    EXPECT_EQ(frames(model), QStringList{QStringLiteral("<STX>a=?<ETX>")});
    EXPECT_EQ(model.lineCount(), 3u);

    model.setPaused(false);
    EXPECT_EQ(frames(model),
              (QStringList{QStringLiteral("<STX>a=?<ETX>"), QStringLiteral("<STX>a=1000<ETX>"),
                           QStringLiteral("<STX>c=?<ETX>")}));
}

TEST(TrafficModel, ClearForgetsEverything)
{
    fw::ScopedVirtualClock clock;
    TrafficModel model(describe);
    const QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    feedSession(model);
    settle(clock);
    // The tester cannot tell a clear that no view was told of: the reset is counted.
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    model.clear();
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.lineCount(), 0u);
    model.traffic(event(TrafficDirection::Sent, "\x02" "z=?\x03"));
    settle(clock);
    EXPECT_EQ(frames(model), QStringList{QStringLiteral("<STX>z=?<ETX>")});
}
