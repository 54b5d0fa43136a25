// The four reads and GetProp against a real server: each filter of the
// screens' calls (selection lists, situation codes, flags, periods).
#include "host/data/packetcodec.h"
#include "tests/support/serverfixture.h"

#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

const double kMar1 = Day(2030, 3, 1);
const double kMar31 = Day(2030, 3, 31);
const double kFeb1 = Day(2030, 2, 1);
const double kFeb28 = Day(2030, 2, 28);

// TP1/01/001 (DES, by the hour): TF1 on 1..5 March without CHT; TF2 on 4
// and 5 March in CHT 90001 (approved). TP1/01/002 (SUP, package): TF1 on 10
// March in CHT 90002 (pending). TP2/01/001 (CON, fixed): TF2 on 20 March
// and 10 February without CHT.
class ReadsTest : public ServerTest
{
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        if (IsSkipped())
            return;
        AddTestWorld();
        for (int d = 1; d <= 5; ++d)
            AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, d), 8);
        AddCht(u"90001"_s, u"TP1"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, u"A"_s);
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, Day(2030, 3, 4), 8, u"90001"_s, 8,
               8);
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, Day(2030, 3, 5), 7.5, u"90001"_s,
               7.5, 7.5);
        AddCht(u"90002"_s, u"TP1"_s, u"01"_s, u"002"_s, u"TF1"_s, u"01"_s, u"P"_s);
        AddCsa(u"TP1"_s, u"01"_s, u"002"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 10), 6, u"90002"_s, 6,
               6);
        AddCsa(u"TP2"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, Day(2030, 3, 20), 4);
        AddCsa(u"TP2"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, Day(2030, 2, 10), 4);
    }

    // Services as "proposal/service" in reply order.
    QStringList Services(double from, double to, const QString& clients, const QString& employees,
                         const QString& proposals, const QString& csa, const QString& cht)
    {
        const TDataPacket p = PacketFromJson(m_client->Call(
            u"GetServPrest"_s, {from, to, clients, employees, proposals, csa, u"ANA"_s, cht}));
        QStringList out;
        const QStringList props = Column(p, "NRPROPOSFAS"), nums = Column(p, "NRSERVCONT");
        for (int i = 0; i < props.size(); ++i)
            out << props[i] + u'/' + nums[i];
        return out;
    }

    TDataPacket Func(const QString& client, const QString& type, const QString& proposal,
                     const QString& service, const QString& all, const QString& list,
                     const QString& csa, const QString& cht)
    {
        return Checked(u"GetFunc"_s, {kMar1, kMar31, client, type, proposal, u"01"_s, service, all,
                                      list, csa, cht});
    }

    TDataPacket Cht(const QString& type, const QString& proposal, double from, double to,
                    const QString& employee, const QString& company, const QString& code)
    {
        return Checked(u"GetCHT"_s, {type, proposal, u"01"_s, from, to, employee, company, code});
    }
};

int ErrorCode(const std::function<void()>& call)
{
    try {
        call();
    } catch (const ERpcError& e) {
        return e.Code();
    }
    return 0;
}

} // namespace

TEST_F(ReadsTest, ServicesFollowThePeriodAndTheCsaSituation)
{
    EXPECT_EQ(Services(kMar1, kMar31, u"T"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s),
              (QStringList{u"TP2/001"_s, u"TP1/001"_s, u"TP1/002"_s}));
    EXPECT_EQ(Services(kMar1, kMar31, u"T"_s, u"T"_s, u"T"_s, u"S"_s, QString()),
              (QStringList{u"TP2/001"_s, u"TP1/001"_s}));
    EXPECT_EQ(Services(kMar1, kMar31, u"T"_s, u"T"_s, u"T"_s, u"C"_s, u"_A"_s),
              QStringList{u"TP1/001"_s});
    EXPECT_EQ(Services(kMar1, kMar31, u"T"_s, u"T"_s, u"T"_s, u"C"_s, u"_P_R"_s),
              QStringList{u"TP1/002"_s});
    EXPECT_TRUE(Services(kMar1, kMar31, u"T"_s, u"T"_s, u"T"_s, u"C"_s, u"_R_N"_s).isEmpty());
    EXPECT_TRUE(Services(kMar1, kMar31, u"T"_s, u"T"_s, u"T"_s, u"C"_s, QString()).isEmpty());
    // "T" for the CSAs: those without CHT plus those in a CHT of the code.
    EXPECT_EQ(Services(kMar1, kMar31, u"T"_s, u"T"_s, u"T"_s, u"T"_s, u"_N"_s),
              (QStringList{u"TP2/001"_s, u"TP1/001"_s}));
    EXPECT_EQ(Services(kFeb1, kFeb28, u"T"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s),
              QStringList{u"TP2/001"_s});
    EXPECT_EQ(Services(kMar1, kMar1, u"T"_s, u"T"_s, u"T"_s, u"C"_s, u"T"_s), QStringList{});
}

TEST_F(ReadsTest, ServicesFollowTheThreeSelectionLists)
{
    EXPECT_EQ(Services(kMar1, kMar31, Sel({"TC2"}), u"T"_s, u"T"_s, u"T"_s, u"T"_s),
              QStringList{u"TP2/001"_s});
    EXPECT_EQ(Services(kMar1, kMar31, Sel({"TC1", "TC2"}), Sel({"TF1"}), u"T"_s, u"T"_s, u"T"_s),
              (QStringList{u"TP1/001"_s, u"TP1/002"_s}));
    EXPECT_EQ(Services(kMar1, kMar31, u"T"_s, u"T"_s, Sel({"TP2|01"}), u"T"_s, u"T"_s),
              QStringList{u"TP2/001"_s});
    EXPECT_EQ(Services(kMar1, kMar31, u"T"_s, Sel({"TF2"}), Sel({"TP1|01"}), u"S"_s, QString()),
              QStringList{});
    // Nothing picked matches nothing.
    EXPECT_TRUE(Services(kMar1, kMar31, QString(), u"T"_s, u"T"_s, u"T"_s, u"T"_s).isEmpty());
    EXPECT_TRUE(Services(kMar1, kMar31, u"T"_s, u"T"_s, Sel({"TP9|01"}), u"T"_s, u"T"_s).isEmpty());
}

TEST_F(ReadsTest, ServicesPacketHasTheScreensFieldsAndTheCallIsAudited)
{
    const TDataPacket p =
        PacketFromJson(m_client->Call(u"GetServPrest"_s, {kMar1, kMar31, Sel({"TC1"}), u"T"_s,
                                                          u"T"_s, u"T"_s, u"ANA"_s, u"T"_s}));
    QStringList names;
    for (const TFieldDef& f : p.Fields)
        names << f.Name;
    EXPECT_EQ(names.join(u','),
              u"CDCLIENTE,NMFANTCLIE,NRPROPOSTA,DSREFEPROPOSFAS,NRPROPOSFAS,NRVERPROPFAS,"
              "CDTIPOSERV,NMTIPOSERV,QTSERVCONT,DSLOCALCONT,NRSERVCONT,IDTIPOCOBRCONT,"
              "VRHORACLIE,VRDEHORACLIE"_s);
    EXPECT_EQ(p.Fields[0].Size, 21);
    EXPECT_EQ(p.Fields[8].DataType, TFieldType::ftFloat);
    EXPECT_EQ(Column(p, "IDTIPOCOBRCONT"), (QStringList{u"H"_s, u"P"_s}));
    EXPECT_EQ(Column(p, "NMTIPOSERV"),
              (QStringList{u"Desenvolvimento de sistemas"_s, u"Suporte técnico"_s}));
    // The audit record is committed before the reply goes out.
    QSqlQuery q(m_db->AuditDb());
    ASSERT_TRUE(q.exec(u"SELECT COUNT(*), MIN(DSEVENTO) FROM APH_AUDITORIA WHERE CDOPERADOR = "
                       "'ANA' AND CDOPERCONEXAO = 'ANA'"_s))
        << q.lastError().text().toStdString();
    ASSERT_TRUE(q.next());
    const int audited = q.value(0).toInt();
    EXPECT_EQ(q.value(1).toString(), u"GetServPrest %1 a %2: 2 serviços"_s.arg(kMar1).arg(kMar31));
    EXPECT_EQ(audited, 1);
}

TEST_F(ReadsTest, ServicesRefuseBadCodesListsAndAnotherOperator)
{
    const auto call = [this](const QString& clients, const QString& csa, const QString& op,
                             const QString& cht) {
        return ErrorCode([&] {
            m_client->Call(u"GetServPrest"_s,
                           {kMar1, kMar31, clients, u"T"_s, u"T"_s, csa, op, cht});
        });
    };
    EXPECT_EQ(call(u"TC1,TC2"_s, u"T"_s, u"ANA"_s, u"T"_s), -32602);
    EXPECT_EQ(call(u"T"_s, u"X"_s, u"ANA"_s, u"T"_s), -32602);
    EXPECT_EQ(call(u"T"_s, u"C"_s, u"ANA"_s, u"_P_X"_s), -32602);
    EXPECT_EQ(call(u"T"_s, u"C"_s, u"ANA"_s, u"P"_s), -32602);
    EXPECT_EQ(call(u"T"_s, u"T"_s, u"ADMIN"_s, u"T"_s), -32004);
    try {
        m_client->Call(u"GetServPrest"_s,
                       {kMar1, kMar31, u"[\"TC1\""_s, u"T"_s, u"T"_s, u"T"_s, u"ANA"_s, u"T"_s});
        ADD_FAILURE();
    } catch (const ERpcError& e) {
        EXPECT_TRUE(e.Message().contains(u"clientes"_s)) << e.what();
    }
}

TEST_F(ReadsTest, ProposalsOfTheBranchKeyedForThePicker)
{
    AddProposal(u"A|B"_s, u"02"_s, u"TC1"_s);
    const TDataPacket all = Checked(u"GetProp"_s, {u"0001"_s, QString(), u"T"_s});
    QStringList names;
    for (const TFieldDef& f : all.Fields)
        names << f.Name;
    EXPECT_EQ(names.join(u','),
              u"IDMARCADO,NRINSJURCLIE,CDCLIENTE,NRPROPOSFAS,NRVERPROPFAS,IDTPIJURCLIE,CDCHAVE"_s);
    const QStringList keys = Column(all, "CDCHAVE");
    EXPECT_TRUE(keys.contains(u"TP1|01"_s));
    EXPECT_TRUE(keys.contains(u"2024-0101|02"_s));  // demo, branch 0001
    EXPECT_FALSE(keys.contains(u"2024-0404|01"_s)); // demo, branch 0002

    const TDataPacket picked = Checked(u"GetProp"_s, {u"0001"_s, Sel({"TC1"}), QString()});
    EXPECT_EQ(Column(picked, "CDCHAVE"), (QStringList{u"A|B|02"_s, u"TP1|01"_s}));
    EXPECT_EQ(Column(picked, "CDCLIENTE"), (QStringList{u"TC1"_s, u"TC1"_s}));

    EXPECT_EQ(Column(Checked(u"GetProp"_s, {u"0002"_s, u"T"_s, QString()}), "CDCHAVE"),
              QStringList{u"2024-0404|01"_s});
    EXPECT_TRUE(Checked(u"GetProp"_s, {u"0001"_s, QString(), QString()}).Rows.empty());

    // The key works as a proposal selection, "|" inside the number and all.
    AddService(u"A|B"_s, u"02"_s, u"001"_s, u"DES"_s);
    AddCsa(u"A|B"_s, u"02"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 7), 8);
    EXPECT_EQ(Services(kMar1, kMar31, u"T"_s, u"T"_s, Sel({"A|B|02"}), u"T"_s, u"T"_s),
              QStringList{u"A|B/001"_s});
}

TEST_F(ReadsTest, EmployeesOfTheServiceBySelectionAndSituation)
{
    TDataPacket p = Func(u"TC1"_s, u"DES"_s, u"TP1"_s, u"001"_s, u"T"_s, QString(), u"T"_s, u"T"_s);
    EXPECT_EQ(Column(p, "CDFUNC"), (QStringList{u"TF2"_s, u"TF1"_s})); // by name: Dois, Um
    EXPECT_EQ(Column(p, "CDEMPRESA"), (QStringList{u"02"_s, u"01"_s}));
    EXPECT_EQ(Column(p, "NMFUNC")[0], u"Teste Funcionário Dois"_s);

    p = Func(u"TC1"_s, u"DES"_s, u"TP1"_s, u"001"_s, QString(), Sel({"TF1"}), u"T"_s, u"T"_s);
    EXPECT_EQ(Column(p, "CDFUNC"), QStringList{u"TF1"_s});
    p = Func(u"TC1"_s, u"DES"_s, u"TP1"_s, u"001"_s, u"T"_s, QString(), u"S"_s, QString());
    EXPECT_EQ(Column(p, "CDFUNC"), QStringList{u"TF1"_s});
    p = Func(u"TC1"_s, u"DES"_s, u"TP1"_s, u"001"_s, u"T"_s, QString(), u"C"_s, u"_A"_s);
    EXPECT_EQ(Column(p, "CDFUNC"), QStringList{u"TF2"_s});
    p = Func(u"TC1"_s, u"DES"_s, u"TP1"_s, u"001"_s, QString(), QString(), u"T"_s, u"T"_s);
    EXPECT_TRUE(p.Rows.empty());
    // Another client's or activity type's name for the service finds nobody.
    EXPECT_TRUE(Func(u"TC2"_s, u"DES"_s, u"TP1"_s, u"001"_s, u"T"_s, QString(), u"T"_s, u"T"_s)
                    .Rows.empty());
    EXPECT_TRUE(Func(u"TC1"_s, u"SUP"_s, u"TP1"_s, u"001"_s, u"T"_s, QString(), u"T"_s, u"T"_s)
                    .Rows.empty());
    EXPECT_EQ(ErrorCode([&] {
                  m_client->Call(u"GetFunc"_s, {kMar1, kMar31, u"TC1"_s, u"DES"_s, u"TP1"_s});
              }),
              -32602);
}

TEST_F(ReadsTest, ChtsOfTheEmployeeWithHoursWorkedBySituation)
{
    TDataPacket p = Cht(u"DES"_s, u"TP1"_s, kMar1, kMar31, u"TF2"_s, u"02"_s, u"T"_s);
    ASSERT_EQ(p.Rows.size(), 1u);
    EXPECT_EQ(Column(p, "NRSEQUCHT"), QStringList{u"90001"_s});
    EXPECT_EQ(Column(p, "QTHRTRAB"), QStringList{u"15.5"_s});
    EXPECT_EQ(Column(p, "IDSTATUSCHT"), QStringList{u"A"_s});
    EXPECT_EQ(Column(p, "NMOPERADOR"), QStringList{u"Administrador"_s});
    EXPECT_EQ(Column(p, "IDTIPOCOBRCONT"), QStringList{u"H"_s});
    EXPECT_EQ(Column(p, "QTSERVCONT"), QStringList{u"40"_s});
    EXPECT_EQ(p.Fields.size(), 9);

    EXPECT_EQ(Cht(u"DES"_s, u"TP1"_s, kMar1, kMar31, u"TF2"_s, u"02"_s, u"_P_A"_s).Rows.size(), 1u);
    EXPECT_TRUE(
        Cht(u"DES"_s, u"TP1"_s, kMar1, kMar31, u"TF2"_s, u"02"_s, u"_P_R_N"_s).Rows.empty());
    EXPECT_TRUE(Cht(u"DES"_s, u"TP1"_s, kMar1, kMar31, u"TF2"_s, u"02"_s, QString()).Rows.empty());
    EXPECT_TRUE(Cht(u"DES"_s, u"TP1"_s, kFeb1, kFeb28, u"TF2"_s, u"02"_s, u"T"_s).Rows.empty());
    EXPECT_TRUE(Cht(u"DES"_s, u"TP1"_s, kMar1, kMar31, u"TF2"_s, u"01"_s, u"T"_s).Rows.empty());
    EXPECT_TRUE(Cht(u"SUP"_s, u"TP1"_s, kMar1, kMar31, u"TF2"_s, u"02"_s, u"T"_s).Rows.empty());
    EXPECT_EQ(
        Column(Cht(u"SUP"_s, u"TP1"_s, kMar1, kMar31, u"TF1"_s, u"01"_s, u"_P"_s), "NRSEQUCHT"),
        QStringList{u"90002"_s});
    EXPECT_EQ(
        ErrorCode([&] { Cht(u"DES"_s, u"TP1"_s, kMar1, kMar31, u"TF2"_s, u"02"_s, u"_Z"_s); }),
        -32602);
}

TEST_F(ReadsTest, CsasWithoutChtInThePeriodOrOfOneWholeCht)
{
    m_db->Exec(u"UPDATE CSA SET CDGRPOCOR = '02', CDOCORR = '01' WHERE CDFUNC = 'TF1' AND "
               "DTSERVPREST = ?"_s,
               {static_cast<qint64>(Day(2030, 3, 2))});
    TDataPacket p = Checked(u"GetCSA"_s, {u"TC1"_s, u"TF1"_s, kMar1, Day(2030, 3, 4), u"DES"_s,
                                          u"TP1"_s, u"01"_s, QString(), u"N"_s, u"01"_s});
    ASSERT_EQ(p.Rows.size(), 4u);
    ASSERT_EQ(p.Fields.size(), 18);
    EXPECT_EQ(p.Fields[7].Name, u"DTSERVPREST"_s);
    EXPECT_EQ(p.Fields[17].Name, u"INCLUSAO"_s);
    EXPECT_EQ(Column(p, "DTSERVPREST")[0], QString::number(kMar1));
    EXPECT_EQ(Column(p, "DSOCORR")[1], u"Hora extra não autorizada"_s);
    EXPECT_EQ(Column(p, "CDCLIENTE")[0], u"TC1"_s);
    EXPECT_EQ(Column(p, "CDTIPOSERV")[0], u"DES"_s);
    EXPECT_EQ(Column(p, "INCLUSAO")[0], u" "_s); // nobody recorded as its author
    EXPECT_TRUE((*p.Rows[0])[static_cast<std::size_t>(p.FieldIndex(u"QTHRAPROFATU"_s))].IsNull());

    // A CHT comes whole, whatever the period.
    p = Checked(u"GetCSA"_s, {u"TC1"_s, u"TF2"_s, kFeb1, kFeb28, u"DES"_s, u"TP1"_s, u"01"_s,
                              u"90001"_s, u"S"_s, u"02"_s});
    EXPECT_EQ(Column(p, "QTHRTRAB"), (QStringList{u"8"_s, u"7.5"_s}));
    EXPECT_EQ(Column(p, "NRSEQUCHT"), (QStringList{u"90001"_s, u"90001"_s}));

    EXPECT_TRUE(Checked(u"GetCSA"_s, {u"TC1"_s, u"TF2"_s, kMar1, kMar31, u"DES"_s, u"TP1"_s,
                                      u"01"_s, QString(), u"N"_s, u"02"_s})
                    .Rows.empty());
    EXPECT_EQ(ErrorCode([&] {
                  m_client->Call(u"GetCSA"_s, {u"TC1"_s, u"TF1"_s, kMar1, kMar31, u"DES"_s,
                                               u"TP1"_s, u"01"_s, QString(), u"X"_s, u"01"_s});
              }),
              -32602);
}

TEST_F(ReadsTest, DemoCsasTellWhoRecordedThem)
{
    const TDataPacket p =
        Checked(u"GetCSA"_s, {u"000101"_s, u"F0003"_s, Day(2025, 1, 1), Day(2025, 1, 31), u"TRE"_s,
                              u"2024-0101"_s, u"01"_s, u"00004"_s, u"S"_s, u"01"_s});
    ASSERT_FALSE(p.Rows.empty());
    const QString inclusion = Column(p, "INCLUSAO")[0];
    EXPECT_TRUE(inclusion.endsWith(u" Administrador"_s)) << inclusion.toStdString();
    EXPECT_EQ(inclusion.mid(2, 1), u"/"_s);
}
