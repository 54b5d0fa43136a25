// Cells of the CSV files the system writes. For people: text a
// spreadsheet would run as a formula is made plain text, numbers and hours
// stay numbers, and the quoting keeps cells apart. For import: every value
// as it is, quoted where the import's reader would otherwise split or trim
// it.
#include "host/data/csvwriter.h"

#include <QList>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace aph;

TEST(CsvCell, ForPeopleFormulasBecomeTextAndNumbersStayNumbers)
{
    const QList<std::pair<QString, QString>> cases{
        {u"=HYPERLINK(\"http://x\",\"clique\")"_s,
         u"\"'=HYPERLINK(\"\"http://x\"\",\"\"clique\"\")\""_s},
        {u"=1+1"_s, u"'=1+1"_s},
        {u"+55 11 5555"_s, u"'+55 11 5555"_s},
        {u"-cmd|' /C calc'!A0"_s, u"'-cmd|' /C calc'!A0"_s},
        {u"@SUM(A1:A9)"_s, u"'@SUM(A1:A9)"_s},
        {u"\t=1"_s, u"'\t=1"_s},
        {u"\r=1"_s, u"\"'\r=1\""_s},
        {u"=A1;B1"_s, u"\"'=A1;B1\""_s},
        {u"-"_s, u"'-"_s},
        {u"--1"_s, u"'--1"_s},
        {u"-1:"_s, u"'-1:"_s},
        {u"-1:0a"_s, u"'-1:0a"_s},
        {u"- 1"_s, u"'- 1"_s},
        // Numbers and hours as the system writes them stay as they are.
        {u"-01:00"_s, u"-01:00"_s},
        {u"+08:30"_s, u"+08:30"_s},
        {u"-1.234,56"_s, u"-1.234,56"_s},
        {u"-5"_s, u"-5"_s},
        {u"12:00"_s, u"12:00"_s},
        // Ordinary text: as it is, or quoted for ';', '"' and line breaks.
        {u"Cliente A=B"_s, u"Cliente A=B"_s},
        {QString(), QString()},
        {u"a;b"_s, u"\"a;b\""_s},
        {u"diz \"oi\""_s, u"\"diz \"\"oi\"\"\""_s},
        {u"linha\nduas"_s, u"\"linha\nduas\""_s},
    };
    for (const auto& [text, cell] : cases)
        EXPECT_EQ(CsvCell(text, TCsvPolicy::ForPeople), cell) << text.toStdString();
    EXPECT_EQ(CsvRecord({u"=1"_s, u"a,b"_s, u" x"_s}, TCsvPolicy::ForPeople), u"'=1;a,b; x\r\n"_s);
}

TEST(CsvCell, ForImportValuesStayAsStored)
{
    const QList<std::pair<QString, QString>> cases{
        {u"=1+1"_s, u"=1+1"_s},
        {u"-cmd|' /C calc'!A0"_s, u"-cmd|' /C calc'!A0"_s},
        {u"@SUM(A1:A9)"_s, u"@SUM(A1:A9)"_s},
        {u"-01:00"_s, u"-01:00"_s},
        {QString(), QString()},
        {u"a;b"_s, u"\"a;b\""_s},
        {u"a,b"_s, u"\"a,b\""_s},
        {u" pontas "_s, u"\" pontas \""_s},
        {u"\t=1"_s, u"\"\t=1\""_s},
        {u"diz \"oi\""_s, u"\"diz \"\"oi\"\"\""_s},
        {u"linha\r\nduas"_s, u"\"linha\r\nduas\""_s},
    };
    for (const auto& [text, cell] : cases)
        EXPECT_EQ(CsvCell(text, TCsvPolicy::ForImport), cell) << text.toStdString();
    EXPECT_EQ(CsvRecord({u"=1"_s, u"a,b"_s, QString()}, TCsvPolicy::ForImport),
              u"=1;\"a,b\";\r\n"_s);
}
