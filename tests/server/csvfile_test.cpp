// A file written for import reads back, through the import's own reader,
// as the very values written; the same values written for people do not
// (a would-be formula gains its "'"), which is why export writes for import.
#include "host/data/csvwriter.h"
#include "host/data/exceptions.h"
#include "server/firmdata/csvfile.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace aph;

TEST(CsvFiles, WhatIsWrittenForImportReadsBackExactly)
{
    const QList<QStringList> records = {
        {u"CDCLIENTE"_s, u"NMFANTCLIE"_s, u"NMRAZSOCCLIE"_s},
        {u"=1+1"_s, u"  Ação; \"Aspas\"\nSegunda linha, çédilha "_s, QString()},
        {u"-cmd|' /C calc'!A0"_s, u"a,b"_s, u"\r\n"_s},
        {u"@x"_s, u"-01:00"_s, u"\t"_s},
    };
    QTemporaryDir dir;
    for (const TCsvPolicy policy : {TCsvPolicy::ForImport, TCsvPolicy::ForPeople}) {
        const bool forImport = policy == TCsvPolicy::ForImport;
        SCOPED_TRACE(forImport ? "for import" : "for people");
        const QString path = dir.filePath(forImport ? u"import.csv"_s : u"people.csv"_s);
        TCsvWriter writer(path, policy);
        for (const QStringList& r : records)
            writer.Write(r);
        writer.Finish();
        EXPECT_THROW({ TCsvWriter again(path, policy); }, Exception) << "never over a file";

        TCsvReader reader(path);
        EXPECT_EQ(reader.Header(), records[0]);
        QStringList fields;
        qint64 line = 0;
        QList<QStringList> read{reader.Header()};
        while (reader.Next(fields, line))
            read << fields;
        if (forImport)
            EXPECT_EQ(read, records);
        else
            EXPECT_EQ(read.value(1).value(0), u"'=1+1"_s);
    }
}
