// The sequences as CSV rows: one a sequence, texts quoted or guarded as a
// spreadsheet needs, and the round trip of the ping answered since the row
// before.
#include "session/SequenceCsv.h"

#include <QJsonArray>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

using session::TrafficDirection;

struct Frame {
    TrafficDirection direction;
    std::string bytes;
    double ms;
};

QJsonObject sequence(const QString& code, const QString& altitude, const QString& version)
{
    return {{"time", "2026-12-07T20:36:55.000Z"}, {"mode", "Mode C"},  {"code", code},       {"replies", "Enabled"},
            {"spi", ""},                          {"altitude", altitude}, {"volts", "27.9"}, {"offset", "1.2 V"},
            {"version", version},                 {"ping", "Received"}, {"answered", 14}};
}

QJsonObject counted(int answered, const QStringList& unanswered, bool interrupted)
{
    QJsonObject s = sequence("1200", "1000", "2.14");
    s["answered"] = answered, s["unanswered"] = QJsonArray::fromStringList(unanswered), s["interrupted"] = interrupted;
    return s;
}

} // namespace

TEST(SequenceCsv, WritesARowASequence)
{
    const struct {
        const char* what;
        std::vector<Frame> frames;
        QJsonObject sequence;
        const char* row;
        std::vector<QJsonObject> alarms = {}; // before the row
    } cases[] = {
        {"plain", {}, sequence("1200", "1000", "2.14"),
         "2026-12-07T20:36:55.000Z,Mode C,1200,Enabled,,1000,27.9,1.2 V,2.14,Received,,14,0\n"},
        {"a comma and quotes are quoted", {}, sequence("1200", "1000", "2,\"14\""),
         "2026-12-07T20:36:55.000Z,Mode C,1200,Enabled,,1000,27.9,1.2 V,\"2,\"\"14\"\"\",Received,,14,0\n"},
        {"what reads as a formula is guarded, a negative number is not", {}, sequence("=1+2", "-100", "@x"),
         "2026-12-07T20:36:55.000Z,Mode C,'=1+2,Enabled,,-100,27.9,1.2 V,'@x,Received,,14,0\n"},
        {"a tab, a carriage return or a line feed in front is guarded, and blanks before a formula's sign", {},
         sequence("\t1200", " =1+2", "\r2.14"),
         "2026-12-07T20:36:55.000Z,Mode C,'\t1200,Enabled,,' =1+2,27.9,1.2 V,\"'\r2.14\",Received,,14,0\n"},
        {"the same for a line feed, \"+\" and \"@\" after blanks", {}, sequence("\n7", "  +1", "   @x"),
         "2026-12-07T20:36:55.000Z,Mode C,\"'\n7\",Enabled,,'  +1,27.9,1.2 V,'   @x,Received,,14,0\n"},
        {"the counts of what went unanswered", {}, counted(13, {"v"}, false),
         "2026-12-07T20:36:55.000Z,Mode C,1200,Enabled,,1000,27.9,1.2 V,2.14,Received,,13,1\n"},
        {"a sequence a box interrupted says so", {}, counted(5, {}, true),
         "2026-12-07T20:36:55.000Z,Mode C,1200,Enabled,,1000,27.9,1.2 V,2.14,Received,,5,interrupted\n"},
        {"one the link's loss cut short says so", {}, counted(2, {"a", "v"}, false),
         "2026-12-07T20:36:55.000Z,Mode C,1200,Enabled,,1000,27.9,1.2 V,2.14,Received,,2,link lost\n",
         {{{"alarm", "link-lost"}, {"state", "active-unacknowledged"}}}},
        {"as does one that the loss cut and its return ended", {}, counted(2, {"a", "v"}, false),
         "2026-12-07T20:36:55.000Z,Mode C,1200,Enabled,,1000,27.9,1.2 V,2.14,Received,,2,link lost\n",
         {{{"alarm", "link-lost"}, {"state", "active-unacknowledged"}}, {{"alarm", "link-lost"}, {"state", "returned-unacknowledged"}}}},
        {"a ping's round trip",
         {{TrafficDirection::Sent, "\x02p=y\x03", 100}, {TrafficDirection::Received, "\x02p=Y\x03", 108}},
         sequence("1200", "1000", "2.14"), "2026-12-07T20:36:55.000Z,Mode C,1200,Enabled,,1000,27.9,1.2 V,2.14,Received,8,14,0\n"},
        {"a ping unanswered, or answered before it went out on a clock set back",
         {{TrafficDirection::Sent, "\x02p=y\x03", 100}, {TrafficDirection::Received, "\x02p=N\x03", 108},
          {TrafficDirection::Sent, "\x02p=y\x03", 200}, {TrafficDirection::Received, "\x02p=Y\x03", 190}},
         sequence("1200", "1000", "2.14"), "2026-12-07T20:36:55.000Z,Mode C,1200,Enabled,,1000,27.9,1.2 V,2.14,Received,,14,0\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        session::SequenceCsv csv;
        for (const Frame& f : c.frames) csv.frame(f.direction, f.bytes, f.ms);
        for (const QJsonObject& alarm : c.alarms) csv.alarm(alarm);
        EXPECT_EQ(csv.row(c.sequence).toStdString(), c.row);
        // The round trip belongs to one row only.
        EXPECT_TRUE(csv.row(c.sequence).contains(",Received,,")) << csv.row(c.sequence).toStdString();
    }
    EXPECT_EQ(session::SequenceCsv::header().toStdString(),
              "time,mode,code,replies,spi,altitude,volts,offset,version,ping,ping round trip (ms),answered,unanswered\n");
}
