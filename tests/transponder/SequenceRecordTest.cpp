#include "transponder/SequenceRecord.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

using namespace transponder;

TEST(SequenceRecord, IsOneJsonObjectWithTheNineItemsRawValuesAndWhatWentUnanswered)
{
    SequenceRecord record;
    record.time = std::chrono::system_clock::time_point(std::chrono::milliseconds(1700000000123));
    record.status.apply(*parseReply("\x02s=l\x03"));
    record.status.apply(*parseReply("\x02z=2.14\xe9\x03"));
    record.raw = {{'s', "l"}, {'z', "2.14\xe9"}};
    record.answered = 12;
    record.unanswered = "el";

    const QJsonObject json = QJsonDocument::fromJson(QJsonDocument(sequenceJson(record)).toJson()).object();
    QStringList keys = json.keys();
    keys.sort();
    EXPECT_EQ(keys, (QStringList{"altitude", "answered", "code", "mode", "offset", "ping", "raw", "replies", "spi",
                                 "time", "unanswered", "version", "volts"}));
    EXPECT_EQ(json["time"].toString(), "2023-11-14T22:13:20.123Z");
    EXPECT_EQ(json["mode"].toString(), "Mode C/Alt");
    EXPECT_EQ(json["version"].toString(), QString::fromLatin1("2.14\xe9")) << "8-bit text survives";
    EXPECT_EQ(json["code"].toString(), "");
    EXPECT_EQ(json["raw"].toObject()["s"].toString(), "l");
    EXPECT_EQ(json["answered"].toInt(), 12);
    EXPECT_EQ(json["unanswered"].toArray(), (QJsonArray{"e", "l"}));

    record.interrupted = true;
    record.asked = "ac";
    const QJsonObject interrupted = sequenceJson(record);
    EXPECT_EQ(interrupted["interrupted"].toBool(), true);
    EXPECT_EQ(interrupted["asked"].toArray(), (QJsonArray{"a", "c"}));
}
