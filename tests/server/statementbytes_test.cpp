// The statement's bytes, held to a golden file: every CHT of a varied
// fixture (every way of charging and situation, days with and without
// approvals and occurrences, texts with quotes, formula signs, accents and
// characters WinAnsi lacks, hours that round across a minute or an hour,
// a CHT of many pages and one of no days), in both versions and both
// formats, as SHA-256 digests of the documents. The file was written from
// the statements as they were before their formatting was made faster, so
// a change in any byte fails here. With APH_UPDATE_STATEMENT_GOLDEN=1 the
// test rewrites the file instead (for a deliberate change of layout).
#include "server/documents/statement.h"
#include "server/storage/storage.h"
#include "tests/support/serverfixture.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

class StatementBytesTest : public ServerTest
{
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        if (IsSkipped())
            return;
        AddTestWorld();
        AddOccurrences();
        AddLongCht();
        AddShortChts();
    }

    void AddOccurrences()
    {
        const char* rows[][3] = {
            {"G1", "01", "Falta (justificada) \\ atestado"},
            {"G1", "02", "=SOMA(A1;B1) \"aspas\""},
            {"G2", "01", "-viagem; ida e volta"},
            {"G2", "02", "Reunião — €uro “citação” ação"},
            {"G3", "01", "Łódź 😀 ação com acentuação longa demais"},
            {"G3", "02", "+1 hora extra"},
        };
        for (const auto& r : rows)
            m_db->Exec(u"INSERT INTO OCORRENCIA (CDGRPOCOR, CDOCORR, DSOCORR) VALUES (?, ?, ?)"_s,
                       {QString::fromUtf8(r[0]), QString::fromUtf8(r[1]), QString::fromUtf8(r[2])});
    }

    // 150 days by the hour (three pages and more): hours that round to the
    // even minute, carry into the next hour, reach two or more digits;
    // empty approvals on some days, an occurrence on others.
    void AddLongCht()
    {
        AddCht(u"91001"_s, u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, u"P"_s);
        const double worked[] = {8,     7.49999, 9.5,   0.125, 0.0083, 23.999,
                                 10.75, 12.375,  1.025, 0,     7.5075, 23.75};
        const char* occ[][2] = {{"G1", "01"}, {"G1", "02"}, {"G2", "01"},
                                {"G2", "02"}, {"G3", "01"}, {"G3", "02"}};
        for (int i = 0; i < 150; ++i) {
            const double w = worked[i % 12];
            const QVariant billed = i % 3 == 0 ? QVariant() : QVariant(w * 0.75);
            const QVariant commission =
                i % 4 == 0 ? QVariant() : QVariant(std::max(0.0, w - 0.0125 * (i % 5)));
            const double day = Day(2029, 1, 1) + i;
            AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, day, w, u"91001"_s, billed,
                   commission);
            if (i % 7 == 2)
                m_db->Exec(u"UPDATE CSA SET CDGRPOCOR = ?, CDOCORR = ? WHERE CDFUNC = 'TF1' AND "
                           "DTSERVPREST = ?"_s,
                           {QString::fromUtf8(occ[i % 6][0]), QString::fromUtf8(occ[i % 6][1]),
                            static_cast<qint64>(day)});
        }
    }

    // A package approved, beyond its hours; a fixed value billed; a CHT
    // without days; names that need escaping in both formats.
    void AddShortChts()
    {
        m_db->Exec(u"UPDATE FUNCIONARIO SET NMFUNC = ? WHERE CDFUNC = 'TF2'"_s,
                   {u"José (Zé) d'Ávila \\ \"Júnior\""_s});
        m_db->Exec(u"UPDATE SERVCONT SET QTSERVCONT = 3.5, VRHORACLIE = 80.125 WHERE NRPROPOSFAS = "
                   "'TP1' AND NRSERVCONT = '002'"_s);
        AddCht(u"91002"_s, u"TP1"_s, u"01"_s, u"002"_s, u"TF1"_s, u"01"_s, u"A"_s);
        AddCsa(u"TP1"_s, u"01"_s, u"002"_s, u"TF1"_s, u"01"_s, Day(2030, 2, 3), 4, u"91002"_s,
               3.3333, 4);
        AddCsa(u"TP1"_s, u"01"_s, u"002"_s, u"TF1"_s, u"01"_s, Day(2030, 2, 4), 0.5, u"91002"_s);
        AddCht(u"91003"_s, u"TP2"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, u"R"_s);
        for (int i = 0; i < 3; ++i)
            AddCsa(u"TP2"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, Day(2030, 2, 27) + i, 6.5 + i,
                   u"91003"_s, 6 + i, 6.5);
        AddCht(u"91004"_s, u"TP2"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, u"N"_s);
    }

    // The four documents of each CHT, by name; the issue day is fixed, and
    // one CHT carries an approval and an invoice, so that every header line
    // is written.
    std::vector<std::pair<QString, QByteArray>> Documents()
    {
        auto storage = TStorage::Open(TDatabaseSpec::Parse(m_db->Spec()));
        std::vector<std::pair<QString, QByteArray>> out;
        for (const QString& cht : {u"91001"_s, u"91002"_s, u"91003"_s, u"91004"_s}) {
            TChtStatement s = LoadChtStatement(*storage, cht);
            s.IssueDate = u"31/12/2030"_s;
            if (cht == u"91003") {
                s.Invoice = u"NF-77"_s;
                s.InvoiceDate = u"01/03/2030"_s;
                s.ApprovedBy = u"Aprovada por Ana em 28/02/2030"_s;
            }
            out.emplace_back(cht + u"-interno.csv"_s, StatementCsv(s));
            out.emplace_back(cht + u"-interno.pdf"_s, StatementPdf(s));
            out.emplace_back(cht + u"-cliente.csv"_s, ClientStatementCsv(s));
            out.emplace_back(cht + u"-cliente.pdf"_s, ClientStatementPdf(s));
        }
        return out;
    }
};

QString GoldenPath()
{
    return QStringLiteral(APH_TESTS_DIR "/server/statement_golden.txt");
}

TEST_F(StatementBytesTest, DocumentsKeepTheirBytes)
{
    QStringList lines;
    QTemporaryDir dir;
    dir.setAutoRemove(false);
    for (const auto& [name, data] : Documents()) {
        ASSERT_FALSE(data.isEmpty()) << name.toStdString();
        lines << name + u' ' +
                     QString::fromLatin1(
                         QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex());
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
    }
    const QString got = lines.join(u'\n') + u'\n';
    QFile golden(GoldenPath());
    if (qEnvironmentVariableIntValue("APH_UPDATE_STATEMENT_GOLDEN") == 1) {
        ASSERT_TRUE(golden.open(QIODevice::WriteOnly | QIODevice::Truncate));
        golden.write(got.toUtf8());
        return;
    }
    ASSERT_TRUE(golden.open(QIODevice::ReadOnly)) << GoldenPath().toStdString();
    EXPECT_EQ(QString::fromUtf8(golden.readAll()), got)
        << "the documents written are in " << dir.path().toStdString();
    if (!HasFailure())
        QDir(dir.path()).removeRecursively();
}

} // namespace
