// The reads write their rows straight into the reply, from the engine's own
// values; each reply must be byte for byte what EncodePacket makes of the
// packet the same query gives through the QtSql driver on the same
// database: the same fields, cuts, nulls, escapes and number forms. Replies
// are read raw from a real server and compared with the packet built and
// encoded here; the sweep over the data follows the replies, decoded.
#include "host/data/packetcodec.h"
#include "server/methods/approvalservice.h"
#include "server/methods/queries.h"
#include "server/storage/rowsource.h"
#include "server/storage/storage.h"
#include "tests/support/serverfixture.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>
#include <QTcpSocket>

#include <functional>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

// One connection read and written by hand, logged in, so that the reply
// line is seen as the server wrote it.
class TRawConnection
{
public:
    TRawConnection(quint16 port, const QString& token)
    {
        m_socket.connectToHost(u"127.0.0.1"_s, port);
        m_socket.waitForConnected(5000);
        Call("Login", {u"ANA"_s, token});
    }
    // The reply line without its "\n"; empty if none came in time.
    QByteArray Call(const char* method, const QJsonArray& params)
    {
        const QJsonObject request{{u"jsonrpc"_s, u"2.0"_s},
                                  {u"id"_s, ++m_id},
                                  {u"method"_s, QString::fromLatin1(method)},
                                  {u"params"_s, params}};
        m_socket.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
        m_socket.flush();
        QElapsedTimer deadline;
        deadline.start();
        while (!m_socket.canReadLine() && deadline.elapsed() < 30000)
            m_socket.waitForReadyRead(1000);
        return m_socket.readLine().chopped(1);
    }
    int LastId() const { return m_id; }

private:
    QTcpSocket m_socket;
    int m_id = 0;
};

class ReplyBytesTest : public ServerTest
{
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        if (IsSkipped())
            return;
        AddTestWorld();
        AddAwkwardRows();
        if (!TTestDatabase::UsesPostgres())
            AddSqliteOddities();
        m_storage = TStorage::Open(TDatabaseSpec::Parse(m_db->Spec()));
        m_raw = std::make_unique<TRawConnection>(m_server->Port(), m_token);
    }

    // Accents, quotes, backslashes and control characters in names; hours
    // that are not whole (7.5, 0.1, a third); approvals null and set;
    // inclusions with and without operator, name and time of day.
    void AddAwkwardRows()
    {
        m_db->Exec(u"UPDATE CLIENTE SET NMFANTCLIE = ? WHERE CDCLIENTE = 'TC1'"_s,
                   {u"Café \"Ação\" \\ São\tJoão\n€"_s});
        m_db->Exec(u"INSERT INTO OPERADOR (CDOPERADOR, NMOPERADOR, IDOPERATIVO) VALUES "
                   "('TOPX', ?, 'A')"_s,
                   {u"Óscar Müller-Ñúñez"_s});
        m_db->Exec(u"INSERT INTO OCORRENCIA (CDGRPOCOR, CDOCORR, DSOCORR) VALUES ('T1', '01', ?)"_s,
                   {u"Falta \"justificada\" — atestado"_s});
        const double hours[] = {7.5, 0.1, 1.0 / 3, 8, 0.30000000000000004};
        for (int d = 1; d <= 5; ++d)
            AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, d), hours[d - 1],
                   {}, d % 2 ? QVariant(hours[d - 1] / 2) : QVariant(),
                   d == 2 ? QVariant(0.1) : QVariant());
        AddCsa(u"TP2"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, Day(2030, 3, 20), 4);
        AddCht(u"90001"_s, u"TP1"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, u"A"_s);
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, Day(2030, 3, 4), 7.5, u"90001"_s,
               7.5, 7.5);
        const auto inclusion = [this](int day, const QVariant& when, const QVariant& who) {
            m_db->Exec(u"UPDATE CSA SET DTINCLUSAO = ?, CDOPERINCL = ? WHERE DTSERVPREST = ? "
                       "AND NRPROPOSFAS = 'TP1'"_s,
                       {when, who, static_cast<qint64>(Day(2030, 3, day))});
        };
        inclusion(1, Day(2030, 3, 1) + 0.75, u"TOPX"_s);           // 18:00, named operator
        inclusion(2, Day(2030, 3, 2) + 0.999999999, u"NINGUEM"_s); // 23:59, unknown code
        // 19:00 by a rounding of 0.4 ms, no operator
        inclusion(3, Day(2030, 3, 3) + (19 * 3600 - 0.0004) / 86400,
                  QVariant(QMetaType::fromType<QString>()));
        inclusion(4, QVariant(QMetaType::fromType<double>()), u"TOPX"_s); // no time: a blank
        m_db->Exec(u"UPDATE CSA SET CDGRPOCOR = 'T1', CDOCORR = '01' WHERE DTSERVPREST = ?"_s,
                   {static_cast<qint64>(Day(2030, 3, 5))});
    }

    // What only SQLite lets other software store: text longer than its
    // field (cut, in one case inside a character of two UTF-16 units), text
    // that is not UTF-8, text in a number column, an inclusion longer than
    // its field.
    void AddSqliteOddities()
    {
        m_db->Exec(u"UPDATE CLIENTE SET NMFANTCLIE = ? WHERE CDCLIENTE = 'TC2'"_s,
                   {QString(u"Ç"_s.repeated(49) + u"😀 e mais"_s)});
        m_db->Exec(u"UPDATE SERVCONT SET DSLOCALCONT = ? WHERE NRPROPOSFAS = 'TP1'"_s,
                   {QString(u"ão"_s.repeated(200))});
        m_db->Exec(u"UPDATE TIPOSERV SET NMTIPOSERV = CAST(X'446573FF6E766F6C76' AS TEXT) "
                   "WHERE CDTIPOSERV = 'DES'"_s);
        m_db->Exec(u"UPDATE SERVCONT SET VRHORACLIE = 'n/d' WHERE NRPROPOSFAS = 'TP2'"_s);
        m_db->Exec(u"UPDATE OCORRENCIA SET DSOCORR = CAST(X'416CC3286F' AS TEXT) WHERE "
                   "CDGRPOCOR = 'T1'"_s);
        m_db->Exec(u"UPDATE OPERADOR SET NMOPERADOR = ? WHERE CDOPERADOR = 'TOPX'"_s,
                   {QString(u"Operador de nome muito comprido, "_s.repeated(3))});
        m_db->Exec(u"UPDATE CSA SET DTINCLUSAO = 'ontem' WHERE DTSERVPREST = ?"_s,
                   {static_cast<qint64>(Day(2030, 3, 5))});
    }

    // The packet of a read through the driver: the cells of the first
    // `cells` columns as CellOf gives them, framed by what the read adds
    // to each row (GetProp's marker and key, GetCSA's inclusion).
    TDataPacket Expected(const TQueryText& query, const TFieldDefs& fields,
                         const std::function<TRowValues(const QSqlQuery&)>& row)
    {
        TDataPacket packet;
        packet.Fields = fields;
        if (query.MatchesNothing)
            return packet;
        QSqlQuery& q = m_storage->Select(query.Sql, query.Values);
        while (q.next())
            packet.Rows.push_back(std::make_shared<const TRowValues>(row(q)));
        TStorage::Done(q);
        return packet;
    }
    static TRowValues Cells(const QSqlQuery& q, const TFieldDefs& fields, int first, int count)
    {
        TRowValues row;
        for (int i = 0; i < count; ++i)
            row.push_back(CellOf(q.value(i), fields[first + i]));
        return row;
    }
    TDataPacket Plain(const TQueryText& query, const TFieldDefs& fields)
    {
        return Expected(query, fields, [&fields](const QSqlQuery& q) {
            return Cells(q, fields, 0, static_cast<int>(fields.size()));
        });
    }
    TDataPacket Props(const TGetPropRequest& request)
    {
        const TFieldDefs& f = TApprovalService::PropFields();
        return Expected(PropQuery(*m_storage, request), f, [&f](const QSqlQuery& q) {
            TRowValues row{Value::FromString(u"N")};
            for (const Value& v : Cells(q, f, 1, kPropQueryCells))
                row.push_back(v);
            row.push_back(Value::FromString(
                ProposalKey(q.value(kPropProposal).toString(), q.value(kPropVersion).toString())));
            return row;
        });
    }
    TDataPacket Csas(const TGetCsaRequest& request)
    {
        const TFieldDefs& f = TApprovalService::CsaFields();
        return Expected(CsaQuery(request), f, [&f](const QSqlQuery& q) {
            TRowValues row = Cells(q, f, 0, kCsaQueryCells);
            row.push_back(InclusionOf(q.value(kCsaIncludedAt), q.value(kCsaIncludedBy),
                                      q.value(kCsaIncluderName)));
            return row;
        });
    }

    // The reply as the server wrote it, compared with the line the packet
    // encoded here makes; ok wraps the packet in {"ok":true,"data":...}.
    // Returns the reply's packet, decoded.
    TDataPacket ExpectSame(const char* method, const QJsonArray& params, const TDataPacket& packet,
                           bool ok = true)
    {
        const QByteArray reply = m_raw->Call(method, params);
        const QByteArray body =
            ok ? "{\"ok\":true,\"data\":" + EncodePacket(packet) + '}' : EncodePacket(packet);
        const QByteArray expected =
            "{\"jsonrpc\":\"2.0\",\"id\":" + QByteArray::number(m_raw->LastId()) +
            ",\"result\":" + body + '}';
        EXPECT_EQ(reply.toStdString(), expected.toStdString()) << method;
        ++m_compared;
        const QJsonValue result = QJsonDocument::fromJson(reply).object().value(u"result"_s);
        return PacketFromJson(ok ? result.toObject().value(u"data"_s) : result);
    }

    std::unique_ptr<TStorage> m_storage;
    std::unique_ptr<TRawConnection> m_raw;
    int m_compared = 0;
};

QString Text(const TRowValues& row, std::size_t i)
{
    return row[i].ToString();
}

// Every read over the demo data and the rows above: the services of both
// years, each service's employees, each employee's CHTs and CSAs, each
// CHT's CSAs, and the picker's proposals.
TEST_F(ReplyBytesTest, EveryReadMatchesThePacketEncoder)
{
    ExpectSame("GetProp", {u"0001"_s, QString(), u"T"_s}, Props({u"0001"_s, QString(), u"T"_s}));
    ExpectSame("GetProp", {u"0001"_s, Sel({"TC1", "TC2"}), QString()},
               Props({u"0001"_s, Sel({"TC1", "TC2"}), QString()}));
    for (const auto& [from, to] : {std::pair{Day(2025, 1, 1), Day(2025, 12, 31)},
                                   std::pair{Day(2030, 1, 1), Day(2030, 12, 31)}}) {
        const TGetServPrestRequest services{static_cast<TDay>(from),
                                            static_cast<TDay>(to),
                                            u"T"_s,
                                            u"T"_s,
                                            u"T"_s,
                                            u"T"_s,
                                            u"ANA"_s,
                                            u"T"_s};
        const TDataPacket list = ExpectSame(
            "GetServPrest", {from, to, u"T"_s, u"T"_s, u"T"_s, u"T"_s, u"ANA"_s, u"T"_s},
            Plain(ServPrestQuery(*m_storage, services), TApprovalService::ServPrestFields()),
            false);
        for (const TRow& s : list.Rows) {
            const TGetFuncRequest funcs{static_cast<TDay>(from),
                                        static_cast<TDay>(to),
                                        Text(*s, 0),
                                        Text(*s, 6),
                                        Text(*s, 4),
                                        Text(*s, 5),
                                        Text(*s, 10),
                                        u"T"_s,
                                        QString(),
                                        u"T"_s,
                                        u"T"_s};
            const TDataPacket employees =
                ExpectSame("GetFunc",
                           {from, to, funcs.Client, funcs.ActivityType, funcs.Proposal,
                            funcs.Version, funcs.Service, u"T"_s, QString(), u"T"_s, u"T"_s},
                           Plain(FuncQuery(*m_storage, funcs), TApprovalService::FuncFields()));
            for (const TRow& e : employees.Rows) {
                const TGetChtRequest chts{funcs.ActivityType, funcs.Proposal, funcs.Version,
                                          funcs.Start,        funcs.End,      Text(*e, 1),
                                          Text(*e, 2),        u"T"_s};
                const TDataPacket chtList =
                    ExpectSame("GetCHT",
                               {chts.ActivityType, chts.Proposal, chts.Version, from, to,
                                chts.Employee, chts.Company, u"T"_s},
                               Plain(ChtQuery(chts), TApprovalService::ChtFields()));
                TGetCsaRequest csas{
                    funcs.Client,   chts.Employee, funcs.Start, funcs.End, funcs.ActivityType,
                    funcs.Proposal, funcs.Version, QString(),   u"N"_s,    chts.Company};
                ExpectSame("GetCSA",
                           {csas.Client, csas.Employee, from, to, csas.ActivityType, csas.Proposal,
                            csas.Version, QString(), u"N"_s, csas.Company},
                           Csas(csas));
                for (const TRow& c : chtList.Rows) {
                    csas.ChtNumber = Text(*c, 0);
                    csas.Flag = u"S"_s;
                    ExpectSame("GetCSA",
                               {csas.Client, csas.Employee, from, to, csas.ActivityType,
                                csas.Proposal, csas.Version, csas.ChtNumber, u"S"_s, csas.Company},
                               Csas(csas));
                }
            }
        }
    }
    // The sweep reached the rows above and the demo's CHTs.
    EXPECT_GT(m_compared, 20);
    // Every read took the direct way (on PostgreSQL, libpq): none fell
    // back to the driver, which would hide the writer from this test.
    EXPECT_FALSE(m_server->Log().contains(u"leitura direta"_s)) << m_server->Log().toStdString();
}

// Reads that match nothing, by their arguments or by the data, still give
// the packet's whole field list and an empty row list.
TEST_F(ReplyBytesTest, EmptyRepliesMatchThePacketEncoder)
{
    ExpectSame("GetProp", {u"9999"_s, QString(), u"T"_s}, Props({u"9999"_s, QString(), u"T"_s}));
    ExpectSame("GetProp", {u"0001"_s, Sel({}), QString()}, Props({u"0001"_s, Sel({}), QString()}));
    const double from = Day(2031, 1, 1), to = Day(2031, 1, 31);
    ExpectSame(
        "GetServPrest", {from, to, u"T"_s, u"T"_s, u"T"_s, u"S"_s, u"ANA"_s, QString()},
        Plain(ServPrestQuery(*m_storage, {static_cast<TDay>(from), static_cast<TDay>(to), u"T"_s,
                                          u"T"_s, u"T"_s, u"S"_s, u"ANA"_s, QString()}),
              TApprovalService::ServPrestFields()),
        false);
    ExpectSame(
        "GetCSA",
        {u"TC1"_s, u"TF1"_s, from, to, u"DES"_s, u"TP1"_s, u"01"_s, QString(), u"N"_s, u"01"_s},
        Csas({u"TC1"_s, u"TF1"_s, static_cast<TDay>(from), static_cast<TDay>(to), u"DES"_s,
              u"TP1"_s, u"01"_s, QString(), u"N"_s, u"01"_s}));
}

} // namespace
