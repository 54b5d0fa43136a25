#include "fixtures.h"
#include "host/data/exceptions.h"
#include "host/data/packetcodec.h"
#include "tests/support/text.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

QByteArray B(const char* s)
{
    return QByteArray(s);
}

} // namespace

TEST(PacketCodec, RoundTripKeepsTypesNullsAndAwkwardText)
{
    TDataPacket p = DayPacket({{kMar1, H(7.5), "01"}, {kMar1 + 1, Value(), nullptr}});
    auto row = std::make_shared<TRowValues>(*p.Rows[1]);
    (*row)[4] = Value::FromString(u"aspas \" barra \\ nova\nlinha \x01 ção ´"_s);
    (*row)[2] = H(0.1 + 0.2); // needs all 17 digits to come back exact
    p.Rows[1] = row;
    const QByteArray json = EncodePacket(p);
    EXPECT_TRUE(QJsonDocument::fromJson(json).isObject()) << json.constData();
    const TDataPacket back = DecodePacket(json);
    ASSERT_EQ(back.Fields, p.Fields);
    ASSERT_EQ(back.Rows.size(), 2u);
    for (std::size_t r = 0; r < 2; ++r)
        for (std::size_t f = 0; f < 5; ++f) {
            EXPECT_EQ((*back.Rows[r])[f].GetKind(), (*p.Rows[r])[f].GetKind()) << r << "," << f;
            EXPECT_TRUE((*back.Rows[r])[f] == (*p.Rows[r])[f]) << r << "," << f;
        }
}

TEST(PacketCodec, EncodesTheDocumentedShape)
{
    TDataPacket p;
    p.Fields = {{u"CDCLIENTE"_s, TFieldType::ftString, 21},
                {u"QTHRTRAB"_s, TFieldType::ftFloat, 0},
                {u"DTSERVPREST"_s, TFieldType::ftDateTime, 0}};
    p.Rows.push_back(std::make_shared<const TRowValues>(
        TRowValues{Value::FromString(u"000123"), H(7.5), Value::FromNumber(45632)}));
    EXPECT_EQ(EncodePacket(p),
              B(R"({"fields":[{"name":"CDCLIENTE","type":"string","size":21},)"
                R"({"name":"QTHRTRAB","type":"float"},{"name":"DTSERVPREST","type":"datetime"}],)"
                R"("rows":[["000123",7.5,45632]]})"));
}

TEST(PacketCodec, RefusesMalformedPackets)
{
    const char* bad[] = {
        R"(not json)",
        R"([1,2])",
        R"({"rows":[]})",
        R"({"fields":[{"name":"A","type":"string","size":2}]})",
        R"({"fields":[{"name":"A","type":"blob"}],"rows":[]})",
        R"({"fields":[{"name":"A","type":"string"}],"rows":[]})",
        R"({"fields":[{"name":"A","type":"string","size":2.5}],"rows":[]})",
        R"({"fields":[{"name":"A","type":"string","size":2},{"name":"a","type":"float"}],"rows":[]})",
        R"({"fields":[{"type":"float"}],"rows":[]})",
        R"({"fields":[{"name":"A","type":"string","size":2}],"rows":[["abc"]]})",
        R"({"fields":[{"name":"A","type":"string","size":2}],"rows":[[1]]})",
        R"({"fields":[{"name":"A","type":"float"}],"rows":[["1"]]})",
        R"({"fields":[{"name":"A","type":"float"}],"rows":[[1,2]]})",
        R"({"fields":[{"name":"A","type":"float"}],"rows":[[]]})",
        R"({"fields":[{"name":"A","type":"float"}],"rows":[1]})",
        R"({"fields":[{"name":"A","type":"datetime"}],"rows":[[1e12]]})",
        R"({"fields":[],"rows":[]})",
    };
    for (const char* json : bad)
        EXPECT_THROW(DecodePacket(B(json)), EDatabaseError) << json;
}

TEST(PacketCodec, RefusalMessageSaysWhatIsWrong)
{
    try {
        DecodePacket(
            B(R"({"fields":[{"name":"CDFUNC","type":"string","size":2}],"rows":[["1"],["123"]]})"));
        FAIL() << "accepted a string over its size";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message().contains(u"linha 2"_s)) << e.Message().toStdString();
        EXPECT_TRUE(e.Message().contains(u"CDFUNC"_s)) << e.Message().toStdString();
    }
}

TEST(PacketCodec, MalformedPacketLeavesTheTargetDataSetAsItWas)
{
    TClientDataSet ds;
    DefineDayFields(ds);
    ds.SetData(DayPacket({{kMar1, H(8), "01"}}));
    const QByteArray ragged =
        EncodePacket(DayPacket({})).replace(B("\"rows\":[]"), B("\"rows\":[[1]]"));
    EXPECT_THROW(ds.SetData(DecodePacket(ragged)), EDatabaseError);
    EXPECT_EQ(ds.RecordCount(), 1);
    EXPECT_EQ(ds.FieldByName(u"CDOCORR"_s)->AsString(), u"01"_s);
}

TEST(DeltaCodec, RoundTripOfADataSetsChangeLog)
{
    TClientDataSet ds;
    DefineDayFields(ds);
    ds.SetData(DayPacket({{kMar1, H(8), nullptr}, {kMar1 + 1, H(4), "01"}}));
    ds.Edit();
    ds.FieldByName(u"QTHRAPROFATU"_s)->SetAsFloat(7.5);
    ds.Post();
    ds.Next();
    ds.Delete();
    ds.Append();
    ds.FieldByName(u"CDOCORR"_s)->SetAsString(u"02"_s);
    ds.Post();
    const TDelta delta = ds.Delta();
    const TDelta back = DeltaFromJson(DeltaToJson(delta));
    ASSERT_EQ(back.Records.size(), 3u);
    EXPECT_EQ(back.Fields, delta.Fields);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(back.Records[i].Op, delta.Records[i].Op);
        EXPECT_EQ(back.Records[i].Original.size(), delta.Records[i].Original.size());
        ASSERT_EQ(back.Records[i].New.size(), delta.Records[i].New.size());
        for (std::size_t j = 0; j < back.Records[i].New.size(); ++j) {
            EXPECT_EQ(back.Records[i].New[j].first, delta.Records[i].New[j].first);
            EXPECT_TRUE(back.Records[i].New[j].second == delta.Records[i].New[j].second);
        }
    }
    EXPECT_EQ(back.Records[0].New[0].second.ToNumber(), 7.5);
    EXPECT_TRUE(back.Records[0].Original[2].IsNull());
}

TEST(DeltaCodec, RefusesMalformedDeltas)
{
    const QByteArray fields =
        B(R"("fields":[{"name":"A","type":"float"},{"name":"B","type":"string","size":2}])");
    const char* records[] = {
        R"([{"op":"upsert","old":[1,"x"],"new":{}}])",
        R"([{"op":"modify","old":[1],"new":{}}])",
        R"([{"op":"modify","old":[1,"x"],"new":{"C":1}}])",
        R"([{"op":"modify","old":[1,"x"],"new":{"B":"xyz"}}])",
        R"([{"op":"modify","old":[1,"x"],"new":{"A":"7"}}])",
        R"([{"op":"modify","old":[1,"x"]}])",
        R"([{"op":"insert","old":[1,"x"],"new":{"A":1}}])",
        R"([{"op":"delete","old":[1,"x"],"new":{"A":1}}])",
        R"([1])",
        R"({})",
    };
    for (const char* r : records) {
        const QByteArray json = B("{") + fields + B(",\"records\":") + B(r) + B("}");
        const QJsonDocument doc = QJsonDocument::fromJson(json);
        EXPECT_THROW(DeltaFromJson(doc.object()), EDatabaseError) << r;
    }
    EXPECT_THROW(DeltaFromJson(QJsonValue(3)), EDatabaseError);
}
