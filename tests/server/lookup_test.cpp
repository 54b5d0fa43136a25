// The screens' lookup lists through the server, for a desktop that holds
// no database credentials: the texts a query would run name a list the
// server knows, and the server runs its own statement for it; any other
// text is refused, and nothing of it runs.
#include "host/data/packetcodec.h"
#include "tests/support/serverfixture.h"

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

const QString kClients = u"SELECT CDCLIENTE, NMFANTCLIE, NRINSJURCLIE, IDTPIJURCLIE, "
                         "NMRAZSOCCLIE\nFROM CLIENTE ORDER BY CDCLIENTE"_s;
const QString kEmployees = u"SELECT OP.CDFUNC, FU.NMFUNC FROM OPERADOR OP, FUNCIONARIO FU "
                           "WHERE OP.CDFUNC = FU.CDFUNC AND OP.IDOPERATIVO = 'A' "
                           "ORDER BY OP.CDFUNC"_s;
// As the occurrence query writes it, a line a word.
const QString kOccurrences = u"SELECT\n  CDGRPOCOR, CDOCORR, DSOCORR\nFROM\n  OCORRENCIA\n"
                             "ORDER BY\n  CDGRPOCOR, CDOCORR"_s;
const QString kFirstDay = u"SELECT TO_DATE('21/06/2008')  AS DTINI\nFROM PARAMGERAL"_s;
const QString kFirstDayIb = u"SELECT CAST(('06/21/2008') AS TIMESTAMP) AS DTINI\n"
                            "FROM PARAMGERAL"_s;

class LookupTest : public ServerTest
{
protected:
    TDataPacket Lookup(const QString& sql, const QString& sqlIb)
    {
        return Checked(u"GetLookup"_s, {sql, sqlIb});
    }
    QString Refusal(const QString& sql, const QString& sqlIb)
    {
        try {
            Lookup(sql, sqlIb);
        } catch (const Exception& e) {
            return e.Message();
        }
        return u"(aceita)"_s;
    }
};

// Each list gives the rows the same SELECT gives on the database itself,
// whichever dialect's text or spacing the screen sent.
TEST_F(LookupTest, EachKnownListGivesTheDatabasesRows)
{
    AddTestWorld();
    AddEmployee(u"TF9"_s, u"Inativo"_s, u"01"_s, false);
    struct TCase
    {
        QString Sql, SqlIb, Count, FirstField;
    };
    const TCase cases[] = {
        {kClients, kClients, u"SELECT COUNT(*) FROM CLIENTE"_s, u"CDCLIENTE"_s},
        {kEmployees, QString(),
         u"SELECT COUNT(*) FROM OPERADOR OP, FUNCIONARIO FU WHERE OP.CDFUNC = FU.CDFUNC AND "
         "OP.IDOPERATIVO = 'A'"_s,
         u"CDFUNC"_s},
        {kOccurrences, kOccurrences, u"SELECT COUNT(*) FROM OCORRENCIA"_s, u"CDGRPOCOR"_s},
        {kFirstDay, kFirstDayIb, u"SELECT COUNT(*) FROM PARAMGERAL"_s, u"DTINI"_s},
    };
    for (const TCase& c : cases) {
        const TDataPacket p = Lookup(c.Sql, c.SqlIb);
        ASSERT_GT(p.Fields.size(), 0) << c.Sql.toStdString();
        EXPECT_EQ(p.Fields[0].Name, c.FirstField);
        EXPECT_EQ(static_cast<qint64>(p.Rows.size()), m_db->Scalar(c.Count).toLongLong())
            << c.Sql.toStdString();
    }
    const TDataPacket employees = Lookup(kEmployees, QString());
    EXPECT_FALSE(Column(employees, "CDFUNC").contains(u"TF9"_s)) << "inactive operators stay out";
    const TDataPacket firstDay = Lookup(kFirstDayIb, kFirstDay);
    ASSERT_FALSE(firstDay.Rows.empty());
    EXPECT_EQ(firstDay.Fields[0].DataType, TFieldType::ftDateTime);
    EXPECT_EQ((*firstDay.Rows[0])[0].ToNumber(), Day(2008, 6, 21));
}

// Anything but a known list is refused with one message that names no
// table, whatever it asks for, and none of it runs.
TEST_F(LookupTest, AnyOtherTextIsRefusedAndNothingOfItRuns)
{
    const QString refused =
        u"Consulta não permitida: o servidor de aplicação só atende às consultas das listas que "
        "conhece (ocorrências, clientes, funcionários e início do período)."_s;
    const qlonglong clients = m_db->Scalar(u"SELECT COUNT(*) FROM CLIENTE"_s).toLongLong();
    const QStringList bad = {
        kClients + u" UNION SELECT CDOPERADOR, NMOPERADOR, CDFUNC, IDOPERATIVO, CDOPERADOR "
                   "FROM OPERADOR"_s,
        kClients + u"; DELETE FROM CLIENTE"_s,
        kClients + u";"_s,
        kClients + u" -- e mais"_s,
        u"/* lista */ "_s + kClients,
        u"SELECT * FROM APH_TOKEN"_s,
        u"SELECT CDCLIENTE, NMFANTCLIE FROM CLIENTE ORDER BY CDCLIENTE"_s,
        kClients.toLower(),
        kClients + QString(5000, u' '),
        QString(1 << 18, u'x'),
        QString(),
    };
    for (const QString& text : bad) {
        EXPECT_EQ(Refusal(text, text), refused) << text.left(120).toStdString();
        EXPECT_EQ(Refusal(text, QString()), refused) << text.left(120).toStdString();
    }
    // Two known texts of different lists name no list.
    EXPECT_EQ(Refusal(kClients, kEmployees), refused);
    EXPECT_EQ(Refusal(kFirstDay, kClients), refused);
    EXPECT_EQ(m_db->Scalar(u"SELECT COUNT(*) FROM CLIENTE"_s).toLongLong(), clients);
    EXPECT_TRUE(m_server->Log().contains(u"consulta de lista recusada: operador=ANA"_s))
        << m_server->Log().toStdString();
}

} // namespace
