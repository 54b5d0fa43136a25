#include "host/data/exceptions.h"
#include "host/data/jsonreader.h"
#include "host/data/packetcodec.h"

#include <gtest/gtest.h>

#include <vector>

using namespace Qt::StringLiterals;

using namespace aph;

namespace {

std::string OneString(std::string_view json)
{
    JsonReader r(json);
    std::string s = r.ReadString();
    r.ExpectEnd();
    return s;
}

double OneNumber(std::string_view json)
{
    JsonReader r(json);
    const double d = r.ReadNumber();
    r.ExpectEnd();
    return d;
}

} // namespace

TEST(JsonReader, StringsDecodeEscapesAndKeepUtf8)
{
    EXPECT_EQ(OneString(R"("a\"b\\c\/d\n\t")"), "a\"b\\c/d\n\t");
    EXPECT_EQ(OneString(R"("\u00e7\u00E3o")"), "ção");
    EXPECT_EQ(OneString(R"("\ud83d\ude00")"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(OneString("\"Sáb ´\""), "Sáb ´");
    EXPECT_EQ(OneString(R"("")"), "");
}

TEST(JsonReader, EveryShortEscapeAndTextBetweenEscapes)
{
    EXPECT_EQ(OneString(R"("\b\f\r")"), "\b\f\r");
    EXPECT_EQ(OneString(R"("ab\u0041cd\\ef\u00e7")"), "abAcd\\efç");
}

TEST(JsonReader, RefusesBrokenStrings)
{
    for (std::string_view bad : std::vector<std::string_view>{
             R"("abc)", R"("\x")", R"("\u12")", R"("\ud83d")", R"("\ude00")", R"("\ud83d\u0041")",
             "\"a\nb\"", "\"\xC3\"", "\"\xC0\xAF\"", "\"\xED\xA0\x80\"", "\"\xF4\x90\x80\x80\"",
             "\"\xFF\""})
        EXPECT_THROW(OneString(bad), EDatabaseError) << bad;
}

TEST(JsonReader, NumbersFollowTheJsonGrammar)
{
    EXPECT_EQ(OneNumber("0"), 0);
    EXPECT_EQ(OneNumber("-7.25"), -7.25);
    EXPECT_EQ(OneNumber("45632"), 45632);
    EXPECT_EQ(OneNumber("1E3"), 1000);
    EXPECT_EQ(OneNumber("2.5e-1"), 0.25);
    EXPECT_EQ(OneNumber("0.30000000000000004"), 0.1 + 0.2);
    for (std::string_view bad :
         {"01", "1.", ".5", "-", "+1", "1e", "1e+", "NaN", "1e999", "0x10", "--1"})
        EXPECT_THROW(OneNumber(bad), EDatabaseError) << bad;
}

TEST(JsonReader, SkipValueReturnsTheTextAndLimitsDepth)
{
    JsonReader r(R"( {"a":[1,{"b":null}],"c":true} )");
    EXPECT_EQ(r.SkipValue(), R"({"a":[1,{"b":null}],"c":true})");
    r.ExpectEnd();
    const std::string deep = std::string(100, '[') + std::string(100, ']');
    JsonReader d(deep);
    EXPECT_THROW(d.SkipValue(), EDatabaseError);
    for (std::string_view bad :
         {"[1,]", "{\"a\":1,}", "[1 2]", "{\"a\" 1}", "{1:2}", "[", "tru", "nul"}) {
        JsonReader b(bad);
        EXPECT_THROW(b.SkipValue(), EDatabaseError) << bad;
    }
    JsonReader trailing("[] x");
    trailing.SkipValue();
    EXPECT_THROW(trailing.ExpectEnd(), EDatabaseError);
}

TEST(PacketDecoder, AcceptsKeysInAnyOrderAndSkipsUnknownOnes)
{
    const TDataPacket p = DecodePacket(QByteArray(
        R"({"rows":[["x",1.5,null]],"extra":{"k":[1,2]},)"
        R"("fields":[{"type":"string","size":1,"name":"A","label":"ignored"},{"name":"B","type":"float"},)"
        R"({"name":"C","type":"datetime"}]})"));
    ASSERT_EQ(p.Fields.size(), 3);
    EXPECT_EQ(p.Fields[0].Size, 1);
    ASSERT_EQ(p.Rows.size(), 1u);
    EXPECT_EQ((*p.Rows[0])[0].ToString(), u"x"_s);
    EXPECT_EQ((*p.Rows[0])[1].ToNumber(), 1.5);
    EXPECT_TRUE((*p.Rows[0])[2].IsNull());
}

TEST(PacketDecoder, RefusesWhatTheDocumentReaderWouldAlsoRefuse)
{
    for (const char* bad : {
             R"({"fields":[{"name":"A","type":"float"}],"rows":[[1]],})",
             R"({"fields":[{"name":"A","type":"float"}],"rows":[[1]]} trailing)",
             R"({"fields":[{"name":"A","type":"float"}],"rows":[[true]]})",
             R"({"fields":[{"name":"A","type":"float"}],"rows":[[[1]]]})",
             R"({"fields":[{"name":"A","type":"float"}],"fields":[],"rows":[]})",
             R"({"fields":[{"name":"A","type":"float","type":"string"}],"rows":[]})",
             R"({"fields":[{"name":"A","type":"string","size":0}],"rows":[]})",
             R"({"fields":[{"name":"A","type":"float"}],"rows":[[1],[1,2]]})",
             R"({"fields":[{"name":"A","type":"float"}],"rows":{}})",
             R"({"fields":[{"name":"A","type":"float"}]})",
         })
        EXPECT_THROW(DecodePacket(QByteArray(bad)), EDatabaseError) << bad;
}
