// The four reads and GetProp against a real server: each filter of the
// screens' calls (selection lists, situation codes, flags, periods).
#include "host/data/packetcodec.h"
#include "tests/support/serverfixture.h"

#include <thread>

using namespace aph;
using namespace aph::test;

namespace {

QString S(const char* s)
{
    return QString::fromUtf8(s);
}

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
            AddCsa(S("TP1"), S("01"), S("001"), S("TF1"), S("01"), Day(2030, 3, d), 8);
        AddCht(S("90001"), S("TP1"), S("01"), S("001"), S("TF2"), S("02"), S("A"));
        AddCsa(S("TP1"), S("01"), S("001"), S("TF2"), S("02"), Day(2030, 3, 4), 8, S("90001"), 8,
               8);
        AddCsa(S("TP1"), S("01"), S("001"), S("TF2"), S("02"), Day(2030, 3, 5), 7.5, S("90001"),
               7.5, 7.5);
        AddCht(S("90002"), S("TP1"), S("01"), S("002"), S("TF1"), S("01"), S("P"));
        AddCsa(S("TP1"), S("01"), S("002"), S("TF1"), S("01"), Day(2030, 3, 10), 6, S("90002"), 6,
               6);
        AddCsa(S("TP2"), S("01"), S("001"), S("TF2"), S("02"), Day(2030, 3, 20), 4);
        AddCsa(S("TP2"), S("01"), S("001"), S("TF2"), S("02"), Day(2030, 2, 10), 4);
    }

    // Services as "proposal/service" in reply order.
    QStringList Services(double from, double to, const QString& clients, const QString& employees,
                         const QString& proposals, const QString& csa, const QString& cht)
    {
        const TDataPacket p = PacketFromJson(m_client->Call(
            S("GetServPrest"), {from, to, clients, employees, proposals, csa, S("ANA"), cht}));
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
        return Checked(S("GetFunc"), {kMar1, kMar31, client, type, proposal, S("01"), service, all,
                                      list, csa, cht});
    }

    TDataPacket Cht(const QString& type, const QString& proposal, double from, double to,
                    const QString& employee, const QString& company, const QString& code)
    {
        return Checked(S("GetCHT"), {type, proposal, S("01"), from, to, employee, company, code});
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
    EXPECT_EQ(Services(kMar1, kMar31, S("T"), S("T"), S("T"), S("T"), S("T")),
              (QStringList{S("TP2/001"), S("TP1/001"), S("TP1/002")}));
    EXPECT_EQ(Services(kMar1, kMar31, S("T"), S("T"), S("T"), S("S"), QString()),
              (QStringList{S("TP2/001"), S("TP1/001")}));
    EXPECT_EQ(Services(kMar1, kMar31, S("T"), S("T"), S("T"), S("C"), S("_A")),
              QStringList{S("TP1/001")});
    EXPECT_EQ(Services(kMar1, kMar31, S("T"), S("T"), S("T"), S("C"), S("_P_R")),
              QStringList{S("TP1/002")});
    EXPECT_TRUE(Services(kMar1, kMar31, S("T"), S("T"), S("T"), S("C"), S("_R_N")).isEmpty());
    EXPECT_TRUE(Services(kMar1, kMar31, S("T"), S("T"), S("T"), S("C"), QString()).isEmpty());
    // "T" for the CSAs: those without CHT plus those in a CHT of the code.
    EXPECT_EQ(Services(kMar1, kMar31, S("T"), S("T"), S("T"), S("T"), S("_N")),
              (QStringList{S("TP2/001"), S("TP1/001")}));
    EXPECT_EQ(Services(kFeb1, kFeb28, S("T"), S("T"), S("T"), S("T"), S("T")),
              QStringList{S("TP2/001")});
    EXPECT_EQ(Services(kMar1, kMar1, S("T"), S("T"), S("T"), S("C"), S("T")), QStringList{});
}

TEST_F(ReadsTest, ServicesFollowTheThreeSelectionLists)
{
    EXPECT_EQ(Services(kMar1, kMar31, Sel({"TC2"}), S("T"), S("T"), S("T"), S("T")),
              QStringList{S("TP2/001")});
    EXPECT_EQ(Services(kMar1, kMar31, Sel({"TC1", "TC2"}), Sel({"TF1"}), S("T"), S("T"), S("T")),
              (QStringList{S("TP1/001"), S("TP1/002")}));
    EXPECT_EQ(Services(kMar1, kMar31, S("T"), S("T"), Sel({"TP2|01"}), S("T"), S("T")),
              QStringList{S("TP2/001")});
    EXPECT_EQ(Services(kMar1, kMar31, S("T"), Sel({"TF2"}), Sel({"TP1|01"}), S("S"), QString()),
              QStringList{});
    // Nothing picked matches nothing.
    EXPECT_TRUE(Services(kMar1, kMar31, QString(), S("T"), S("T"), S("T"), S("T")).isEmpty());
    EXPECT_TRUE(Services(kMar1, kMar31, S("T"), S("T"), Sel({"TP9|01"}), S("T"), S("T")).isEmpty());
}

TEST_F(ReadsTest, ServicesPacketHasTheScreensFieldsAndTheCallIsAudited)
{
    const TDataPacket p =
        PacketFromJson(m_client->Call(S("GetServPrest"), {kMar1, kMar31, Sel({"TC1"}), S("T"),
                                                          S("T"), S("T"), S("ANA"), S("T")}));
    QStringList names;
    for (const TFieldDef& f : p.Fields)
        names << f.Name;
    EXPECT_EQ(names.join(u','),
              S("CDCLIENTE,NMFANTCLIE,NRPROPOSTA,DSREFEPROPOSFAS,NRPROPOSFAS,NRVERPROPFAS,"
                "CDTIPOSERV,NMTIPOSERV,QTSERVCONT,DSLOCALCONT,NRSERVCONT,IDTIPOCOBRCONT,"
                "VRHORACLIE,VRDEHORACLIE"));
    EXPECT_EQ(p.Fields[0].Size, 21);
    EXPECT_EQ(p.Fields[8].DataType, TFieldType::ftFloat);
    EXPECT_EQ(Column(p, "IDTIPOCOBRCONT"), (QStringList{S("H"), S("P")}));
    EXPECT_EQ(Column(p, "NMTIPOSERV"),
              (QStringList{S("Desenvolvimento de sistemas"), S("Suporte técnico")}));
    // The audit record is written right after the reply has gone out.
    int audited = 0;
    for (int wait = 0; wait < 100 && audited == 0; ++wait) {
        audited = m_db->Scalar(S("SELECT COUNT(*) FROM APH_AUDITORIA WHERE CDOPERADOR = 'ANA' AND "
                                 "CDOPERCONEXAO = 'ANA'"))
                      .toInt();
        if (audited == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(audited, 1);
}

TEST_F(ReadsTest, ServicesRefuseBadCodesListsAndAnotherOperator)
{
    const auto call = [this](const QString& clients, const QString& csa, const QString& op,
                             const QString& cht) {
        return ErrorCode([&] {
            m_client->Call(S("GetServPrest"),
                           {kMar1, kMar31, clients, S("T"), S("T"), csa, op, cht});
        });
    };
    EXPECT_EQ(call(S("TC1,TC2"), S("T"), S("ANA"), S("T")), -32602);
    EXPECT_EQ(call(S("T"), S("X"), S("ANA"), S("T")), -32602);
    EXPECT_EQ(call(S("T"), S("C"), S("ANA"), S("_P_X")), -32602);
    EXPECT_EQ(call(S("T"), S("C"), S("ANA"), S("P")), -32602);
    EXPECT_EQ(call(S("T"), S("T"), S("ADMIN"), S("T")), -32004);
    try {
        m_client->Call(S("GetServPrest"),
                       {kMar1, kMar31, S("[\"TC1\""), S("T"), S("T"), S("T"), S("ANA"), S("T")});
        ADD_FAILURE();
    } catch (const ERpcError& e) {
        EXPECT_TRUE(e.Message().contains(S("clientes"))) << e.what();
    }
}

TEST_F(ReadsTest, ProposalsOfTheBranchKeyedForThePicker)
{
    AddProposal(S("A|B"), S("02"), S("TC1"));
    const TDataPacket all = Checked(S("GetProp"), {S("0001"), QString(), S("T")});
    QStringList names;
    for (const TFieldDef& f : all.Fields)
        names << f.Name;
    EXPECT_EQ(names.join(u','),
              S("IDMARCADO,NRINSJURCLIE,CDCLIENTE,NRPROPOSFAS,NRVERPROPFAS,IDTPIJURCLIE,CDCHAVE"));
    const QStringList keys = Column(all, "CDCHAVE");
    EXPECT_TRUE(keys.contains(S("TP1|01")));
    EXPECT_TRUE(keys.contains(S("2024-0101|02")));  // demo, branch 0001
    EXPECT_FALSE(keys.contains(S("2024-0404|01"))); // demo, branch 0002

    const TDataPacket picked = Checked(S("GetProp"), {S("0001"), Sel({"TC1"}), QString()});
    EXPECT_EQ(Column(picked, "CDCHAVE"), (QStringList{S("A|B|02"), S("TP1|01")}));
    EXPECT_EQ(Column(picked, "CDCLIENTE"), (QStringList{S("TC1"), S("TC1")}));

    EXPECT_EQ(Column(Checked(S("GetProp"), {S("0002"), S("T"), QString()}), "CDCHAVE"),
              QStringList{S("2024-0404|01")});
    EXPECT_TRUE(Checked(S("GetProp"), {S("0001"), QString(), QString()}).Rows.empty());

    // The key works as a proposal selection, "|" inside the number and all.
    AddService(S("A|B"), S("02"), S("001"), S("DES"));
    AddCsa(S("A|B"), S("02"), S("001"), S("TF1"), S("01"), Day(2030, 3, 7), 8);
    EXPECT_EQ(Services(kMar1, kMar31, S("T"), S("T"), Sel({"A|B|02"}), S("T"), S("T")),
              QStringList{S("A|B/001")});
}

TEST_F(ReadsTest, EmployeesOfTheServiceBySelectionAndSituation)
{
    TDataPacket p = Func(S("TC1"), S("DES"), S("TP1"), S("001"), S("T"), QString(), S("T"), S("T"));
    EXPECT_EQ(Column(p, "CDFUNC"), (QStringList{S("TF2"), S("TF1")})); // by name: Dois, Um
    EXPECT_EQ(Column(p, "CDEMPRESA"), (QStringList{S("02"), S("01")}));
    EXPECT_EQ(Column(p, "NMFUNC")[0], S("Teste Funcionário Dois"));

    p = Func(S("TC1"), S("DES"), S("TP1"), S("001"), QString(), Sel({"TF1"}), S("T"), S("T"));
    EXPECT_EQ(Column(p, "CDFUNC"), QStringList{S("TF1")});
    p = Func(S("TC1"), S("DES"), S("TP1"), S("001"), S("T"), QString(), S("S"), QString());
    EXPECT_EQ(Column(p, "CDFUNC"), QStringList{S("TF1")});
    p = Func(S("TC1"), S("DES"), S("TP1"), S("001"), S("T"), QString(), S("C"), S("_A"));
    EXPECT_EQ(Column(p, "CDFUNC"), QStringList{S("TF2")});
    p = Func(S("TC1"), S("DES"), S("TP1"), S("001"), QString(), QString(), S("T"), S("T"));
    EXPECT_TRUE(p.Rows.empty());
    // Another client's or activity type's name for the service finds nobody.
    EXPECT_TRUE(Func(S("TC2"), S("DES"), S("TP1"), S("001"), S("T"), QString(), S("T"), S("T"))
                    .Rows.empty());
    EXPECT_TRUE(Func(S("TC1"), S("SUP"), S("TP1"), S("001"), S("T"), QString(), S("T"), S("T"))
                    .Rows.empty());
    EXPECT_EQ(ErrorCode([&] {
                  m_client->Call(S("GetFunc"), {kMar1, kMar31, S("TC1"), S("DES"), S("TP1")});
              }),
              -32602);
}

TEST_F(ReadsTest, ChtsOfTheEmployeeWithHoursWorkedBySituation)
{
    TDataPacket p = Cht(S("DES"), S("TP1"), kMar1, kMar31, S("TF2"), S("02"), S("T"));
    ASSERT_EQ(p.Rows.size(), 1u);
    EXPECT_EQ(Column(p, "NRSEQUCHT"), QStringList{S("90001")});
    EXPECT_EQ(Column(p, "QTHRTRAB"), QStringList{S("15.5")});
    EXPECT_EQ(Column(p, "IDSTATUSCHT"), QStringList{S("A")});
    EXPECT_EQ(Column(p, "NMOPERADOR"), QStringList{S("Administrador")});
    EXPECT_EQ(Column(p, "IDTIPOCOBRCONT"), QStringList{S("H")});
    EXPECT_EQ(Column(p, "QTSERVCONT"), QStringList{S("40")});
    EXPECT_EQ(p.Fields.size(), 9);

    EXPECT_EQ(Cht(S("DES"), S("TP1"), kMar1, kMar31, S("TF2"), S("02"), S("_P_A")).Rows.size(), 1u);
    EXPECT_TRUE(
        Cht(S("DES"), S("TP1"), kMar1, kMar31, S("TF2"), S("02"), S("_P_R_N")).Rows.empty());
    EXPECT_TRUE(Cht(S("DES"), S("TP1"), kMar1, kMar31, S("TF2"), S("02"), QString()).Rows.empty());
    EXPECT_TRUE(Cht(S("DES"), S("TP1"), kFeb1, kFeb28, S("TF2"), S("02"), S("T")).Rows.empty());
    EXPECT_TRUE(Cht(S("DES"), S("TP1"), kMar1, kMar31, S("TF2"), S("01"), S("T")).Rows.empty());
    EXPECT_TRUE(Cht(S("SUP"), S("TP1"), kMar1, kMar31, S("TF2"), S("02"), S("T")).Rows.empty());
    EXPECT_EQ(
        Column(Cht(S("SUP"), S("TP1"), kMar1, kMar31, S("TF1"), S("01"), S("_P")), "NRSEQUCHT"),
        QStringList{S("90002")});
    EXPECT_EQ(
        ErrorCode([&] { Cht(S("DES"), S("TP1"), kMar1, kMar31, S("TF2"), S("02"), S("_Z")); }),
        -32602);
}

TEST_F(ReadsTest, CsasWithoutChtInThePeriodOrOfOneWholeCht)
{
    m_db->Exec(S("UPDATE CSA SET CDGRPOCOR = '02', CDOCORR = '01' WHERE CDFUNC = 'TF1' AND "
                 "DTSERVPREST = ?"),
               {static_cast<qint64>(Day(2030, 3, 2))});
    TDataPacket p = Checked(S("GetCSA"), {S("TC1"), S("TF1"), kMar1, Day(2030, 3, 4), S("DES"),
                                          S("TP1"), S("01"), QString(), S("N"), S("01")});
    ASSERT_EQ(p.Rows.size(), 4u);
    ASSERT_EQ(p.Fields.size(), 18);
    EXPECT_EQ(p.Fields[7].Name, S("DTSERVPREST"));
    EXPECT_EQ(p.Fields[17].Name, S("INCLUSAO"));
    EXPECT_EQ(Column(p, "DTSERVPREST")[0], QString::number(kMar1));
    EXPECT_EQ(Column(p, "DSOCORR")[1], S("Hora extra não autorizada"));
    EXPECT_EQ(Column(p, "CDCLIENTE")[0], S("TC1"));
    EXPECT_EQ(Column(p, "CDTIPOSERV")[0], S("DES"));
    EXPECT_EQ(Column(p, "INCLUSAO")[0], S(" ")); // nobody recorded as its author
    EXPECT_TRUE((*p.Rows[0])[static_cast<std::size_t>(p.FieldIndex(S("QTHRAPROFATU")))].IsNull());

    // A CHT comes whole, whatever the period.
    p = Checked(S("GetCSA"), {S("TC1"), S("TF2"), kFeb1, kFeb28, S("DES"), S("TP1"), S("01"),
                              S("90001"), S("S"), S("02")});
    EXPECT_EQ(Column(p, "QTHRTRAB"), (QStringList{S("8"), S("7.5")}));
    EXPECT_EQ(Column(p, "NRSEQUCHT"), (QStringList{S("90001"), S("90001")}));

    EXPECT_TRUE(Checked(S("GetCSA"), {S("TC1"), S("TF2"), kMar1, kMar31, S("DES"), S("TP1"),
                                      S("01"), QString(), S("N"), S("02")})
                    .Rows.empty());
    EXPECT_EQ(ErrorCode([&] {
                  m_client->Call(S("GetCSA"), {S("TC1"), S("TF1"), kMar1, kMar31, S("DES"),
                                               S("TP1"), S("01"), QString(), S("X"), S("01")});
              }),
              -32602);
}

TEST_F(ReadsTest, DemoCsasTellWhoRecordedThem)
{
    const TDataPacket p =
        Checked(S("GetCSA"), {S("000101"), S("F0003"), Day(2025, 1, 1), Day(2025, 1, 31), S("TRE"),
                              S("2024-0101"), S("01"), S("00004"), S("S"), S("01")});
    ASSERT_FALSE(p.Rows.empty());
    const QString inclusion = Column(p, "INCLUSAO")[0];
    EXPECT_TRUE(inclusion.endsWith(S(" Administrador"))) << inclusion.toStdString();
    EXPECT_EQ(inclusion.mid(2, 1), S("/"));
}
