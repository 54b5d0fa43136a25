// Who may do what, and a CHT's steps after its generation, through a real
// server: each method refused to an operator without its role (a role
// taken away counts from the next call), each step allowed only from its
// situation, with its reason or invoice, written to the day's history;
// two supervisors at once leave one approval.
#include "server/documents/statement.h"
#include "server/methods/chtstatus.h"
#include "server/storage/storage.h"
#include "service/policy.h"
#include "tests/support/serverfixture.h"

#include <QDate>
#include <QJsonDocument>
#include <QJsonObject>

#include <latch>
#include <thread>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

const double kMar1 = Day(2030, 3, 1);

class ChtStatusTest : public ServerTest
{
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        if (IsSkipped())
            return;
        AddTestWorld();
        // CHTs 00801 to 00805 of TF1 on TP1/01/001, one March day each.
        for (int d = 1; d <= 5; ++d) {
            const QString cht = u"0080%1"_s.arg(d);
            AddCht(cht, u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, u"P"_s);
            AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, d), 8, cht, 8, 8);
        }
    }

    std::unique_ptr<TRpcClient> As(const QString& op, QStringList* roles = nullptr)
    {
        QString token, err;
        EXPECT_EQ(RunServerCommand({u"token"_s, m_db->Spec(), op}, &token, &err), 0)
            << err.toStdString();
        auto client = std::make_unique<TRpcClient>();
        client->CallTimeoutMs = 30000;
        client->Connect(u"127.0.0.1"_s, m_server->Port());
        const std::optional<QStringList> held = client->Login(op, token.trimmed());
        if (roles)
            *roles = held.value_or(QStringList{u"(nenhum)"_s});
        return client;
    }

    // Empty when the call was answered; the error code, or the refusal's
    // message, otherwise.
    static QString Outcome(TRpcClient& client, const QString& method, const QJsonArray& params,
                           const QString& key = {})
    {
        try {
            CheckedPacket(client.Call(method, params, key));
            return QString();
        } catch (const ERpcError& e) {
            return QString::number(e.Code()) + u": "_s + e.Message();
        } catch (const EServerError& e) {
            return e.Message();
        }
    }
    static QString Step(TRpcClient& client, const QString& cht, const QString& action,
                        const QString& reason = {}, const QString& invoice = {},
                        const QString& key = {})
    {
        return Outcome(client, u"SetStatusCHT"_s, {cht, action, reason, invoice}, key);
    }
    QString Situation(const QString& cht)
    {
        return m_db->Scalar(u"SELECT IDSTATUSCHT FROM CHT WHERE NRSEQUCHT = ?"_s, {cht}).toString();
    }
    void Run(const QStringList& args)
    {
        QString err;
        ASSERT_EQ(RunServerCommand(args, nullptr, &err), 0) << err.toStdString();
    }
};

} // namespace

TEST_F(ChtStatusTest, EachMethodNeedsItsRoleAndARoleTakenAwayCountsFromTheNextCall)
{
    const QJsonArray prop{u"0001"_s, QString(), u"T"_s};
    const QJsonArray generate{kMar1,  kMar1,  u"%1"_s, u"T"_s, u"T"_s,
                              u"T"_s, u"T"_s, u"T"_s,  u"T"_s};
    struct TCase
    {
        const char* Operator;
        const char* Method;
        QJsonArray Params;
        const char* Missing; // the role named in the refusal; none: allowed
        const char* Doing;   // what the refusal says the operator tried
    };
    const auto step = [](const char* action, const QString& invoice = {}) {
        return QJsonArray{u"00801"_s, QString::fromLatin1(action), QString(), invoice};
    };
    const TCase cases[] = {
        {"ELISA", "GetProp", prop, nullptr, nullptr},
        {"ELISA", "SetCSA", {QJsonObject{}}, "aprovar", "aprovar dias"},
        {"ELISA", "SetCHT", generate, "gerar", "gerar CHTs"},
        {"ELISA", "SetStatusCHT", step("aprovar"), "supervisionar ou faturar",
         "mudar a situação de uma CHT"},
        {"DIEGO", "SetCHT", generate, "gerar", "gerar CHTs"},
        {"CARLA", "SetStatusCHT", step("aprovar"), "supervisionar", "aprovar a CHT"},
        {"CARLA", "SetStatusCHT", step("reabrir"), "supervisionar", "reabrir a CHT"},
        {"GABRIELA", "SetStatusCHT", step("faturar", u"NF-1"_s), "faturar",
         "marcar a CHT como faturada"},
        {"GABRIELA", "SetStatusCHT", step("desfazer"), "faturar", "desfazer o faturamento da CHT"},
        {"GABRIELA", "GetDemCHT", {u"00801"_s, u"csv"_s}, nullptr, nullptr},
    };
    for (const TCase& c : cases) {
        const QString op = QString::fromLatin1(c.Operator);
        const QString method = QString::fromLatin1(c.Method);
        SCOPED_TRACE(QString(op + u" " + method).toStdString());
        auto client = As(op);
        QJsonArray params = c.Params;
        if (method == u"SetCHT")
            params[2] = op;
        const QString outcome = Outcome(*client, method, params);
        if (!c.Missing) {
            EXPECT_EQ(outcome, QString());
            continue;
        }
        EXPECT_EQ(outcome, u"-32011: O operador \"%1\" não pode %2: não tem o papel \"%3\". "
                           "Peça-o ao administrador."_s.arg(op, QString::fromUtf8(c.Doing),
                                                            QString::fromLatin1(c.Missing)));
        EXPECT_FALSE(outcome.contains(method)) << "the refusal names the method";
    }
    EXPECT_EQ(Situation(u"00801"_s), u"P"_s) << "a refused step changed nothing";
    EXPECT_TRUE(m_server->Log(u"papel ausente: operador=GABRIELA"_s).contains(u"papel=faturar"_s));

    // The roles the Login names; taken away and given back mid-session.
    // The first reply after each change names the roles the operator now
    // holds, beside its result or error; the next one names nothing.
    QStringList roles;
    auto diego = As(u"DIEGO"_s, &roles);
    EXPECT_EQ(roles, (QStringList{u"consultar"_s, u"aprovar"_s}));
    const auto notice = [&](const QString& method) -> QString {
        const QJsonObject reply =
            diego
                ->SendRaw(QJsonDocument(QJsonObject{{u"jsonrpc"_s, u"2.0"_s},
                                                    {u"id"_s, 1},
                                                    {u"method"_s, method},
                                                    {u"params"_s,
                                                     method == u"GetProp" ? prop : QJsonArray{}}})
                              .toJson(QJsonDocument::Compact))
                .toObject();
        const QString code =
            QString::number(reply.value(u"error").toObject().value(u"code").toInt());
        if (!reply.contains(u"roles"))
            return code + u" -"_s;
        QStringList names;
        for (const QJsonValue& name : reply.value(u"roles").toArray())
            names << name.toString();
        return code + u' ' + names.join(u',');
    };
    EXPECT_EQ(Outcome(*diego, u"GetProp"_s, prop), QString());
    Run({u"operator"_s, u"deny"_s, m_db->Spec(), u"DIEGO"_s, u"consultar"_s});
    // Ping reads no roles; the refusal that follows says what is left.
    EXPECT_EQ(notice(u"Ping"_s), u"0 -"_s);
    EXPECT_EQ(notice(u"GetProp"_s), u"-32011 aprovar"_s);
    EXPECT_EQ(notice(u"GetProp"_s), u"-32011 -"_s);
    Run({u"operator"_s, u"grant"_s, m_db->Spec(), u"DIEGO"_s, u"consultar,gerar"_s});
    EXPECT_EQ(notice(u"SetCSA"_s), u"-32602 consultar,aprovar,gerar"_s);
    EXPECT_EQ(notice(u"GetProp"_s), u"0 -"_s);
    EXPECT_EQ(Outcome(*diego, u"GetProp"_s, prop), QString());
    // GetRoles names them whenever asked, and needs no role.
    Run({u"operator"_s, u"deny"_s, m_db->Spec(), u"DIEGO"_s, u"consultar,aprovar,gerar"_s});
    const QJsonObject held = diego->Call(u"GetRoles"_s, {}).toObject();
    EXPECT_TRUE(held.value(u"ok").toBool());
    EXPECT_EQ(held.value(u"roles").toArray(), QJsonArray{});
    EXPECT_EQ(notice(u"GetProp"_s), u"-32011 -"_s);
    Run({u"operator"_s, u"grant"_s, m_db->Spec(), u"DIEGO"_s, u"consultar,aprovar"_s});
}

// Every method and every step of the policy, called by one operator
// holding one role at a time: refused, naming the roles it needs, exactly
// when the role held is not among them.
TEST_F(ChtStatusTest, EveryMethodAndStepIsRefusedToWhoeverLacksThePolicysRole)
{
    const auto steps = [this] {
        return m_db->Scalar(u"SELECT COUNT(*) FROM APH_HISTEVENTO WHERE IDEVENTO = 'S'"_s).toInt();
    };
    const int stepsBefore = steps();
    auto client = As(u"ELISA"_s);
    for (const TRole held : kRoles) {
        SCOPED_TRACE(RoleName(held).toStdString());
        for (const TRole role : kRoles)
            Run({u"operator"_s, role == held ? u"grant"_s : u"deny"_s, m_db->Spec(), u"ELISA"_s,
                 RoleName(role)});
        // A call, and the roles a refusal of it names: the method's, or
        // for a step allowed by the method's the step's own.
        struct TCall
        {
            QString Method;
            QJsonArray Params;
            TRoles Needed;
            QString Doing; // what the refusal names
        };
        QList<TCall> calls;
        for (const TMethodPolicy& policy : kMethodPolicies) {
            const QString method =
                QString::fromLatin1(policy.Method.data(), qsizetype(policy.Method.size()));
            if (policy.Roles == 0) // Login and the keep-alive refuse nobody
                continue;
            if (method != u"SetStatusCHT") {
                calls.append({method, {}, policy.Roles, CallDoing(method)});
                continue;
            }
            // A CHT that does not exist: a step let through changes nothing.
            for (const TChtStepPolicy& step : kChtStepPolicies)
                calls.append(
                    {method,
                     {u"99999"_s,
                      QString::fromLatin1(step.Name.data(), qsizetype(step.Name.size())), QString(),
                      QString()},
                     policy.Roles & RoleBit(held) ? RoleBit(step.Role) : policy.Roles,
                     policy.Roles & RoleBit(held)
                         ? CallDoing(method, QString::fromLatin1(step.Name.data(),
                                                                 qsizetype(step.Name.size())))
                         : CallDoing(method)});
        }
        for (const TCall& call : calls) {
            const QString outcome = Outcome(*client, call.Method, call.Params);
            const bool refused = outcome.startsWith(u"-32011: "_s);
            EXPECT_EQ(refused, !(call.Needed & RoleBit(held)))
                << call.Method.toStdString() << " " << outcome.toStdString();
            if (refused) {
                EXPECT_TRUE(outcome.contains(u"não pode %1: não tem o papel \"%2\"."_s.arg(
                    call.Doing, RoleNames(call.Needed).join(u" ou "_s))))
                    << outcome.toStdString();
            }
        }
    }
    EXPECT_EQ(steps(), stepsBefore) << "a step let through changed a CHT";
}

TEST_F(ChtStatusTest, StepsGoOnlyFromTheirSituationAndLeaveWhoWhenAndWhyInTheHistory)
{
    auto admin = As(u"ADMIN"_s);
    m_db->Exec(u"UPDATE CHT SET IDSTATUSCHT = 'R', NRNOTAFISCAL = 'NF-100' WHERE NRSEQUCHT = "
               "'00802'"_s);
    m_db->Exec(u"UPDATE CHT SET IDSTATUSCHT = 'N' WHERE NRSEQUCHT = '00803'"_s);
    const QString reason = u"Horas de março revistas"_s;
    struct TCase
    {
        const char* Action;
        QString Reason, Invoice;
        const char* After; // 00801's situation after the step
        QString Refusal;   // empty: the step is taken
    };
    const auto only = [](const char* is, const char* may) {
        return u"A CHT 00801 está %1: só se pode %2."_s.arg(QString::fromUtf8(is),
                                                            QString::fromUtf8(may));
    };
    const QString tooShort = u"Informe o motivo com pelo menos 10 caracteres."_s;
    const TCase steps[] = {
        {"faturar", {}, u"NF-1"_s, "P", only("pendente", "marcar como faturada uma CHT aprovada")},
        {"reabrir", reason, {}, "P", only("pendente", "reabrir uma CHT aprovada")},
        {"aprovar", {}, {}, "A", {}},
        {"aprovar", {}, {}, "A", only("aprovada", "aprovar uma CHT pendente")},
        {"reabrir", u"curto"_s, {}, "A", tooShort},
        {"reabrir", reason, {}, "P", {}},
        {"aprovar", {}, {}, "A", {}},
        {"faturar", {}, {}, "A", u"Informe o número da nota fiscal, com até 20 caracteres."_s},
        {"faturar", {}, u"NF-100"_s, "A", u"A nota fiscal NF-100 já está na CHT 00802."_s},
        {"faturar", {}, u"NF-200"_s, "R", {}},
        {"reabrir", reason, {}, "R", only("faturada", "reabrir uma CHT aprovada")},
        {"desfazer", u"  cancelada "_s, {}, "R", tooShort},
        {"desfazer", u"Nota cancelada pelo cliente"_s, {}, "A", {}},
    };
    for (const TCase& s : steps) {
        SCOPED_TRACE(s.Action);
        EXPECT_EQ(Step(*admin, u"00801"_s, QString::fromLatin1(s.Action), s.Reason, s.Invoice),
                  s.Refusal);
        EXPECT_EQ(Situation(u"00801"_s), QString::fromLatin1(s.After));
    }
    // Undoing the billing freed its number; a CHT not to bill, or none,
    // takes no step.
    EXPECT_TRUE(m_db->Scalar(u"SELECT NRNOTAFISCAL FROM CHT WHERE NRSEQUCHT = '00801'"_s).isNull());
    EXPECT_EQ(
        Step(*admin, u"803"_s, u"aprovar"_s),
        u"A CHT 00803 está marcada para não faturar; a sua situação não muda pelo sistema."_s);
    EXPECT_EQ(Step(*admin, u"00809"_s, u"aprovar"_s), u"A CHT 00809 não existe."_s);
    EXPECT_TRUE(Step(*admin, u"00801"_s, u"apagar"_s).startsWith(u"-32602: "_s));

    // The day's history, as the screen reads it: each step taken, by whom,
    // with its reason and invoice.
    const TDataPacket history =
        Checked(*admin, u"GetHistCSA"_s, {u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, Day(2030, 3, 1)});
    QStringList got;
    for (const TRow& row : history.Rows) {
        QStringList cells;
        for (const char* f : {"CDOPERADOR", "IDEVENTO", "IDSTATUSCHT_ANT", "IDSTATUSCHT",
                              "DSMOTIVO", "NRNOTAFISCAL"})
            cells << (*row)[static_cast<std::size_t>(history.FieldIndex(QString::fromLatin1(f)))]
                         .ToString();
        got << cells.join(u'|');
    }
    EXPECT_EQ(got, (QStringList{u"ADMIN|S|P|A||"_s, u"ADMIN|S|A|P|%1|"_s.arg(reason),
                                u"ADMIN|S|P|A||"_s, u"ADMIN|S|A|R||NF-200"_s,
                                u"ADMIN|S|R|A|Nota cancelada pelo cliente|"_s}));

    // The statement's approval stamp: the last approval, while approved.
    auto storage = TStorage::Open(TDatabaseSpec::Parse(m_db->Spec()));
    const std::optional<TChtApproval> stamp = ChtApprovalOf(*storage, u"801"_s);
    ASSERT_TRUE(stamp.has_value());
    EXPECT_EQ(stamp->Operator, u"ADMIN"_s);
    EXPECT_EQ(stamp->Name, u"Administrador"_s);
    EXPECT_DOUBLE_EQ(stamp->When,
                     m_db->Scalar(u"SELECT MAX(DTEVENTO) FROM APH_HISTEVENTO WHERE NRSEQUCHT = "
                                  "'00801' AND IDSTATUSCHT_ANT = 'P' AND IDSTATUSCHT = 'A'"_s)
                         .toDouble());
    EXPECT_FALSE(ChtApprovalOf(*storage, u"00804"_s).has_value()) << "pending";
    // The client's statement carries the stamp; a pending CHT's does not.
    const auto stamped = [&storage](const QString& cht) {
        return QString::fromUtf8(
            StatementFile(*storage, cht, u"csv"_s, TStatementVersion::Client).Data);
    };
    EXPECT_TRUE(stamped(u"00801"_s)
                    .contains(u"Aprovada por Administrador em %1"_s.arg(
                        QDate::currentDate().toString(u"dd/MM/yyyy"_s))))
        << stamped(u"00801"_s).toStdString();
    EXPECT_FALSE(stamped(u"00804"_s).contains(u"Aprovada"_s));

    // A repeated request key answers as the first did and steps once;
    // the command line writes the same row with its own reason.
    EXPECT_EQ(Step(*admin, u"00804"_s, u"aprovar"_s, {}, {}, u"k-804"_s), QString());
    EXPECT_EQ(Step(*admin, u"00804"_s, u"aprovar"_s, {}, {}, u"k-804"_s), QString());
    Run({u"cht-status"_s, m_db->Spec(), u"804"_s, u"P"_s}); // typed as in statement
    Run({u"cht-status"_s, m_db->Spec(), u"00805"_s, u"A"_s, u"--motivo"_s, u"Acordo"_s});
    QStringList rows;
    for (const QVariantList& r :
         m_db->Rows(u"SELECT NRSEQUCHT, CDOPERADOR, IDSTATUSCHT, DSMOTIVO FROM APH_HISTEVENTO "
                    "WHERE NRSEQUCHT IN ('00804', '00805') ORDER BY NRHISTCSA"_s))
        rows << u"%1|%2|%3|%4"_s.arg(r[0].toString(), r[1].toString(), r[2].toString(),
                                     r[3].toString());
    EXPECT_EQ(rows, (QStringList{u"00804|ADMIN|A|"_s, u"00804||P|linha de comando"_s,
                                 u"00805||A|Acordo"_s}));
    EXPECT_TRUE(stamped(u"00805"_s).contains(u"Aprovada pela linha de comando em"_s));
}

// cht-status ... R --nota bills as the screen's step does: the same CHT
// row and history row; its invoice is checked the same way, and a refusal
// changes nothing.
TEST_F(ChtStatusTest, BillingFromTheCommandLineKeepsTheInvoiceAsTheScreensStepDoes)
{
    auto admin = As(u"ADMIN"_s);
    ASSERT_EQ(Step(*admin, u"00801"_s, u"aprovar"_s), QString());
    ASSERT_EQ(Step(*admin, u"00801"_s, u"faturar"_s, {}, u"NF-1"_s), QString());
    Run({u"cht-status"_s, m_db->Spec(), u"00802"_s, u"A"_s});
    QString out, err;
    ASSERT_EQ(
        RunServerCommand({u"cht-status"_s, m_db->Spec(), u"802"_s, u"R"_s, u"--nota"_s, u"NF-2"_s},
                         &out, &err),
        0)
        << err.toStdString();
    EXPECT_TRUE(out.contains(u"nota fiscal NF-2"_s)) << out.toStdString();
    // The CHT and its newest history rows, as "situation|invoice|before|after|invoice".
    const auto billed = [this](const char* cht) {
        QStringList rows;
        for (const QVariantList& r :
             m_db->Rows(u"SELECT C.IDSTATUSCHT, C.NRNOTAFISCAL, H.IDSTATUSCHT_ANT, H.IDSTATUSCHT, "
                        "H.NRNOTAFISCAL FROM CHT C JOIN APH_HISTEVENTO H ON H.NRSEQUCHT = "
                        "C.NRSEQUCHT AND H.IDEVENTO = 'S' WHERE C.NRSEQUCHT = ? ORDER BY "
                        "H.NRHISTCSA"_s,
                        {QString::fromLatin1(cht)}))
            rows << u"%1|%2|%3|%4|%5"_s.arg(r[0].toString(), r[1].toString(), r[2].toString(),
                                            r[3].toString(), r[4].toString());
        return rows;
    };
    EXPECT_EQ(billed("00801").last(), u"R|NF-1|A|R|NF-1"_s);
    EXPECT_EQ(billed("00802").last(), u"R|NF-2|A|R|NF-2"_s);

    struct TCase
    {
        const char* Status;
        QString Invoice;
        int Exit;
        QString Says;
    };
    const TCase refused[] = {
        {"R", u"NF-1"_s, 1, u"A nota fiscal NF-1 já está na CHT 00801."_s},
        {"A", u"NF-3"_s, 1, u"só acompanha a situação R"_s},
        {"R", QString(u'N').repeated(21), 1, u"com até 20 caracteres"_s},
        {"R", u" "_s, 2, u"--nota recebe o número da nota fiscal"_s},
    };
    for (const TCase& c : refused) {
        SCOPED_TRACE(c.Invoice.toStdString());
        EXPECT_EQ(RunServerCommand({u"cht-status"_s, m_db->Spec(), u"00803"_s,
                                    QString::fromLatin1(c.Status), u"--nota"_s, c.Invoice},
                                   nullptr, &err),
                  c.Exit);
        EXPECT_TRUE(err.contains(c.Says)) << err.toStdString();
        EXPECT_EQ(Situation(u"00803"_s), u"P"_s);
        EXPECT_TRUE(billed("00803").isEmpty());
    }
    // The same invoice again writes nothing; another one replaces it, in
    // the history too; unbilling frees it.
    Run({u"cht-status"_s, m_db->Spec(), u"00802"_s, u"R"_s, u"--nota"_s, u"NF-2"_s});
    EXPECT_EQ(billed("00802").size(), 2);
    Run({u"cht-status"_s, m_db->Spec(), u"00802"_s, u"R"_s, u"--nota"_s, u"NF-22"_s});
    EXPECT_EQ(billed("00802").last(), u"R|NF-22|R|R|NF-22"_s);
    Run({u"cht-status"_s, m_db->Spec(), u"00802"_s, u"A"_s});
    EXPECT_TRUE(m_db->Scalar(u"SELECT NRNOTAFISCAL FROM CHT WHERE NRSEQUCHT = '00802'"_s).isNull());
}

TEST_F(ChtStatusTest, TwoSupervisorsAtOnceLeaveOneApprovalAndSeparateDutiesHoldWhenAsked)
{
    // Both approvals reach the server while the CHT is held; released
    // together, one approves and the other is told why not.
    auto ana = As(u"ANA"_s), gabriela = As(u"GABRIELA"_s);
    for (const char* cht : {"00801", "00802"}) {
        const QString number = QString::fromLatin1(cht);
        SCOPED_TRACE(cht);
        if (TTestDatabase::UsesPostgres()) {
            m_db->ExecDirect(u"BEGIN"_s);
            m_db->ExecDirect(u"SELECT 1 FROM CHT WHERE NRSEQUCHT = '%1' FOR UPDATE"_s.arg(number));
        } else {
            m_db->ExecDirect(u"BEGIN IMMEDIATE"_s);
        }
        QString answers[2];
        std::latch started(2);
        std::vector<std::thread> threads;
        TRpcClient* clients[2] = {ana.get(), gabriela.get()};
        for (int i = 0; i < 2; ++i)
            threads.emplace_back([&, i] {
                started.count_down();
                answers[i] = Step(*clients[i], number, u"aprovar"_s);
            });
        started.wait();
        if (TTestDatabase::UsesPostgres())
            EXPECT_TRUE(m_db->AwaitLockWait());
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        m_db->ExecDirect(u"COMMIT"_s);
        for (std::thread& t : threads)
            t.join();
        const QString refusal =
            u"A CHT %1 está aprovada: só se pode aprovar uma CHT pendente."_s.arg(number);
        EXPECT_TRUE((answers[0].isEmpty() && answers[1] == refusal) ||
                    (answers[1].isEmpty() && answers[0] == refusal))
            << answers[0].toStdString() << " / " << answers[1].toStdString();
        EXPECT_EQ(Situation(number), u"A"_s);
        EXPECT_EQ(m_db->Scalar(u"SELECT COUNT(*) FROM APH_HISTEVENTO WHERE NRSEQUCHT = ? AND "
                               "IDEVENTO = 'S'"_s,
                               {number})
                      .toInt(),
                  1);
    }

    // Ana changed the approvals of 00803's day: with separation of duties
    // she may not approve that CHT, Gabriela may; without it, anyone may.
    m_db->Exec(u"INSERT INTO APH_HISTEVENTO (NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT, CDFUNC, "
               "DTSERVPREST, DTEVENTO, CDOPERADOR, IDEVENTO) VALUES ('TP1', '01', '001', 'TF1', "
               "?, 1, 'ANA', 'A')"_s,
               {static_cast<qint64>(Day(2030, 3, 3))});
    ana.reset();
    gabriela.reset();
    StartServer({u"--separar-funcoes"_s});
    ana = As(u"ANA"_s);
    gabriela = As(u"GABRIELA"_s);
    EXPECT_EQ(Step(*ana, u"00803"_s, u"aprovar"_s),
              u"O operador ANA aprovou horas da CHT 00803 e não pode aprová-la: outro supervisor "
              "deve fazê-lo (separação de funções)."_s);
    EXPECT_EQ(Step(*ana, u"00804"_s, u"aprovar"_s), QString());
    EXPECT_EQ(Step(*gabriela, u"00803"_s, u"aprovar"_s), QString());
    ana.reset();
    gabriela.reset();
    StartServer();
    ana = As(u"ANA"_s);
    EXPECT_EQ(Step(*ana, u"00803"_s, u"reabrir"_s, u"Revisar as horas do dia 3"_s), QString());
    EXPECT_EQ(Step(*ana, u"00803"_s, u"aprovar"_s), QString());
}

// A database of the schema before roles: its active operators keep what
// they could do, and nothing more; an inactive one gets nothing.
TEST_F(ChtStatusTest, AnUpgradedDatabaseGivesActiveOperatorsWhatTheyCouldDoBefore)
{
    m_client.reset();
    m_server.reset();
    DowngradeToVersion5();
    Run({u"init"_s, m_db->Spec()});
    QStringList held;
    for (const QVariantList& r :
         m_db->Rows(u"SELECT O.CDOPERADOR, P.DSPAPEL FROM OPERADOR O LEFT JOIN APH_PAPEL P ON "
                    "P.CDOPERADOR = O.CDOPERADOR WHERE O.CDOPERADOR IN ('ADMIN', 'FABIO') "
                    "ORDER BY O.CDOPERADOR, P.DSPAPEL"_s))
        held << r[0].toString() + u":"_s + r[1].toString();
    EXPECT_EQ(held, (QStringList{u"ADMIN:aprovar"_s, u"ADMIN:consultar"_s, u"ADMIN:gerar"_s,
                                 u"FABIO:"_s}));
    StartServer();
    auto admin = As(u"ADMIN"_s);
    EXPECT_EQ(Outcome(*admin, u"GetProp"_s, {u"0001"_s, QString(), u"T"_s}), QString());
    EXPECT_TRUE(Step(*admin, u"00801"_s, u"aprovar"_s).startsWith(u"-32011: "_s));
}

// Several roles in one command change together; an unknown role, named in
// the message, or an unknown operator changes none. The database's own
// rows are the oracle.
TEST_F(ChtStatusTest, RolesGrantedOrDeniedTogetherOrNotAtAll)
{
    const auto roles = [this] {
        QStringList held;
        for (const QVariantList& row :
             m_db->Rows(u"SELECT DSPAPEL FROM APH_PAPEL WHERE CDOPERADOR = 'ELISA'"_s))
            held << row.value(0).toString();
        held.sort();
        return held.join(u',');
    };
    const QString before = roles();
    ASSERT_FALSE(before.contains(u"faturar"_s) || before.contains(u"supervisionar"_s))
        << before.toStdString();
    struct TCase
    {
        const char* Action;
        const char* Operator;
        const char* Roles;
        const char* Error; // a part of the message; none: it succeeds
        const char* Added; // the roles ELISA holds beyond hers afterwards
    };
    const TCase cases[] = {
        {"grant", "ELISA", "supervisionar,faturar", nullptr, "faturar,supervisionar"},
        {"deny", "ELISA", "faturar,chefe", "\"chefe\"", "faturar,supervisionar"},
        {"grant", "NINGUEM", "consultar", "NINGUEM", "faturar,supervisionar"},
        {"deny", "ELISA", "faturar, faturar", nullptr, "supervisionar"},
        {"grant", "ELISA", ",", "ao menos um papel", "supervisionar"},
        {"deny", "ELISA", "supervisionar,faturar", nullptr, ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.Action) + " " + c.Roles);
        QString err;
        const int code =
            RunServerCommand({u"operator"_s, QString::fromLatin1(c.Action), m_db->Spec(),
                              QString::fromLatin1(c.Operator), QString::fromLatin1(c.Roles)},
                             nullptr, &err);
        EXPECT_EQ(code == 0, c.Error == nullptr) << err.toStdString();
        if (c.Error) {
            EXPECT_TRUE(err.contains(QString::fromLatin1(c.Error))) << err.toStdString();
        }
        QStringList expected = before.split(u',', Qt::SkipEmptyParts) +
                               QString::fromLatin1(c.Added).split(u',', Qt::SkipEmptyParts);
        expected.sort();
        EXPECT_EQ(roles(), expected.join(u','));
    }
}
