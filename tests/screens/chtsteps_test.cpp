// What an operator's roles and the CHT's situation leave enabled on the
// approval screen: the commands the server would refuse them are
// disabled, and nothing else; the server, asked to take each CHT step for
// them, agrees. Each step has its key, and its reason or invoice is
// corrected in its question.
#include "service/policy.h"
#include "tests/screens/world.h"

#include <QSet>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

struct ChtSteps : MarchScreen
{
    // The screen opened by another operator, on TF1's CHT T0001.
    void OpenAs(const QString& op)
    {
        QString token, err;
        ASSERT_EQ(RunServerCommand({u"token"_s, m_db->Spec(), op}, &token, &err), 0)
            << err.toStdString();
        m_opToken = token.trimmed();
        SetHostEnvironment({op, u"0001"_s, u"127.0.0.1"_s, m_server->Port(), m_opToken, QString()});
        OpenMarch();
        OpenTf1("T0001");
        UserFocus(f->dbgCSA);
    }

    // Whether the server lets the operator of the screen take each step:
    // "1" when it does not refuse it for want of a role (it is asked of a
    // CHT that does not exist, so that nothing changes).
    QString ServerAllowsSteps(const QString& op)
    {
        TRpcClient client;
        client.Connect(u"127.0.0.1"_s, m_server->Port());
        client.Login(op, m_opToken);
        QString allowed;
        for (const char* step : {"aprovar", "reabrir", "faturar", "desfazer"}) {
            try {
                client.Call(u"SetStatusCHT"_s,
                            {u"99999"_s, QString::fromLatin1(step), QString(), QString()});
                allowed += u'1';
            } catch (const ERpcError& e) {
                allowed += e.Code() == -32011 ? u'0' : u'1';
            }
        }
        return allowed;
    }

    // The CHT's situation as the screen has it after a refresh.
    void SetSituation(const char* situation)
    {
        m_db->Exec(u"UPDATE CHT SET IDSTATUSCHT = ? WHERE NRSEQUCHT = 'T0001'"_s,
                   {QString::fromLatin1(situation)});
        UserClick(f->sbtVerificar);
        OpenTf1("T0001");
    }

    // Aprovar CHT, Reabrir CHT, Marcar como faturada, Desfazer
    // faturamento: 1 enabled.
    QString StepsEnabled() const
    {
        QString enabled;
        for (const TMenuItem* item : f->mnuPassosCHT)
            enabled += item->Enabled() ? u'1' : u'0';
        return enabled;
    }

    QString Situation() const
    {
        return m_db->Scalar(u"SELECT IDSTATUSCHT FROM CHT WHERE NRSEQUCHT = 'T0001'"_s).toString();
    }

    QString m_opToken;
};

// The steps a CHT's life allows from each situation, whatever the roles.
constexpr std::pair<const char*, const char*> kLife[] = {
    {"P", "1000"}, {"A", "0110"}, {"R", "0001"}, {"N", "0000"}};

QString Both(const QString& a, const QString& b)
{
    QString both;
    for (qsizetype i = 0; i < a.size(); ++i)
        both += a[i] == u'1' && b[i] == u'1' ? u'1' : u'0';
    return both;
}

} // namespace

TEST_F(ChtSteps, EachOperatorSeesEnabledWhatTheServerWouldLetThemDo)
{
    struct TCase
    {
        const char* Operator;
        // Gerar CHT, Aprovar dias pendentes, Aprovar CHT, Reabrir CHT,
        // Marcar como faturada, Desfazer faturamento: 1 allowed by the
        // roles (a step is enabled when its CHT's situation allows it too).
        const char* Enabled;
        bool Edits; // typing into a day's hours edits it
    };
    const TCase cases[] = {
        {"ADMIN", "111111", true},  {"ANA", "111100", true},   {"BRUNO", "110000", true},
        {"CARLA", "000011", false}, {"DIEGO", "010000", true}, {"GABRIELA", "001100", false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Operator);
        OpenAs(QString::fromLatin1(c.Operator));
        if (HasFatalFailure())
            return;
        QString enabled;
        for (const TMenuItem* item : {f->mnuGerarCHT, f->mnuAprovarPendentes})
            enabled += item->Enabled() ? u'1' : u'0';
        const QString roles = QString::fromLatin1(c.Enabled);
        EXPECT_EQ(enabled, roles.left(2));
        // What each command lacks, in words: while it is disabled, its
        // hint, its line in F1's list, and the status bar when its key is
        // pressed (the server asked again, nothing run).
        const TMenuItem* commands[] = {f->mnuGerarCHT,     f->mnuAprovarPendentes,
                                       f->mnuPassosCHT[0], f->mnuPassosCHT[1],
                                       f->mnuPassosCHT[2], f->mnuPassosCHT[3]};
        desktop->questions.clear();
        const char* needs[] = {"gerar",         "aprovar", "supervisionar",
                               "supervisionar", "faturar", "faturar"};
        for (int i = 0; i < 6; ++i) {
            const QString why = roles[i] == u'1'
                                    ? QString()
                                    : u"Você não tem o papel %1: peça-o ao administrador."_s.arg(
                                          QString::fromLatin1(needs[i]));
            EXPECT_EQ(commands[i]->DisabledHint(), why) << i;
            if (why.isEmpty())
                continue;
            const TShortCut key = commands[i]->ShortCut();
            QString listed;
            for (const TForm::TKeyHelp& help : f->KeyList())
                if (help.Keys == ShortCutToText(key))
                    listed = help.Action;
            EXPECT_TRUE(listed.endsWith(why)) << listed.toStdString();
            desktop->statuses.clear();
            UserKey(*f, key.Key, key.Shift);
            EXPECT_EQ(desktop->statuses, QStringList{why}) << i;
        }
        EXPECT_EQ(Situation(), u"P"_s);
        EXPECT_TRUE(desktop->questions.isEmpty()) << desktop->questions.join(u'\n').toStdString();
        EXPECT_EQ(roles.mid(2), ServerAllowsSteps(QString::fromLatin1(c.Operator)))
            << "the table and the server disagree on the CHT's steps";
        for (const auto& [situation, life] : kLife) {
            SCOPED_TRACE(situation);
            if (*situation != 'P')
                SetSituation(situation);
            EXPECT_EQ(StepsEnabled(), Both(roles.mid(2), QString::fromLatin1(life)));
        }
        // The row of the days without CHT takes no step.
        OpenTf1();
        EXPECT_EQ(StepsEnabled(), u"0000"_s);
        SetSituation("P");
        EXPECT_EQ(f->sbtGerarCHT->Enabled(), f->mnuGerarCHT->Enabled());
        EXPECT_TRUE(f->mnuHistoricoDia->Enabled() && f->mnuDemonstrativoCHT->Enabled());
        At(1, "QTHRAPROFATU");
        UserType(*f, u"05"_s);
        EXPECT_EQ(f->cdsAuxCSA.State() == TDataSetState::dsEdit, c.Edits);
        EXPECT_EQ(
            desktop->statuses.contains(u"Você não tem o papel aprovar: peça-o ao administrador."_s),
            !c.Edits);
        if (f->cdsAuxCSA.State() == TDataSetState::dsEdit)
            UserKey(*f, VK_ESCAPE);
        EXPECT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
        Input([this] { f->Close(); });
    }
}

// The supervisor and biller takes each step by its key, as F1 lists it:
// after each the menu offers what the CHT's new situation allows, and a
// reason too short or an invoice left blank is corrected in the question
// itself, nothing sent until it will do.
TEST_F(ChtSteps, EachStepHasItsKeyAndFollowsTheSituationItLeaves)
{
    OpenAs(u"ADMIN"_s);
    if (HasFatalFailure())
        return;
    // Every key of the screen does one thing, the steps' among them.
    QStringList keys, stepKeys;
    for (const TForm::TKeyHelp& key : f->KeyList())
        keys << key.Keys;
    for (const TMenuItem* item : f->mnuPassosCHT)
        stepKeys << ShortCutToText(item->ShortCut());
    EXPECT_EQ(keys.size(), QSet<QString>(keys.begin(), keys.end()).size())
        << keys.join(u' ').toStdString();
    for (const QString& key : stepKeys)
        EXPECT_TRUE(key.startsWith(u"Ctrl+Shift+"_s) && keys.contains(key)) << key.toStdString();

    struct TStep
    {
        int Index;
        std::deque<std::optional<QString>> Typed; // a value refused, then one that will do
        const char* Refusal;                      // what the question said of the first
        int Limit;                                // the length the refusal names
        const char* Situation;
        const char* Server = nullptr; // what the server refused, said in the question too
    };
    // An invoice another CHT already carries: refused by the server, the
    // question still open with what was typed.
    AddCht(u"T0002"_s, u"TP1"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, u"R"_s);
    m_db->Exec(u"UPDATE CHT SET NRNOTAFISCAL = 'NF-2030-01' WHERE NRSEQUCHT = 'T0002'"_s);
    const TStep steps[] = {
        {0, {}, nullptr, 0, "A"},
        {1,
         {u"curto"_s, u"Dia 4 revisto com o cliente"_s},
         "CHT_MOTIVO_CURTO",
         kMinReasonChars,
         "P"},
        {0, {}, nullptr, 0, "A"},
        {2,
         {u"   "_s, u"NF-2030-01"_s, u"NF-2030-17"_s},
         "CHT_NOTA_FALTA",
         kMaxInvoiceChars,
         "R",
         "A nota fiscal NF-2030-01 já está na CHT T0002."},
        {3,
         {u"  faltou   "_s, u" Nota emitida em duplicidade "_s},
         "CHT_MOTIVO_CURTO",
         kMinReasonChars,
         "A"},
    };
    for (const TStep& step : steps) {
        SCOPED_TRACE(step.Index);
        desktop->answers = {mrYes};
        desktop->inputs = step.Typed;
        desktop->inputChecks.clear();
        UserKey(*f, f->mnuPassosCHT[step.Index]->ShortCut().Key, ssCtrl | ssShift);
        EXPECT_EQ(Situation(), QString::fromLatin1(step.Situation));
        EXPECT_TRUE(desktop->inputs.empty()) << "the corrected value was not asked for";
        if (step.Refusal) {
            QStringList said{f->msgPadrao->Msg(QString::fromLatin1(step.Refusal)).arg(step.Limit)};
            if (step.Server)
                said << QString::fromUtf8(step.Server);
            EXPECT_EQ(desktop->inputChecks, said);
        }
        EXPECT_EQ(f->cdsCHT.FieldByName(u"NRSEQUCHT"_s)->AsString(), u"T0001"_s);
        for (const auto& [situation, life] : kLife)
            if (step.Situation == std::string_view(situation)) {
                EXPECT_EQ(StepsEnabled(), QString::fromLatin1(life));
            }
        EXPECT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
    }
    // What reached the history, a row per day: the corrected values,
    // trimmed.
    for (const char* where :
         {"DSMOTIVO = 'Dia 4 revisto com o cliente'", "DSMOTIVO = 'Nota emitida em duplicidade'",
          "NRNOTAFISCAL = 'NF-2030-17' AND IDSTATUSCHT = 'R'"})
        EXPECT_EQ(
            m_db->Scalar(u"SELECT COUNT(*) FROM APH_HISTCSA WHERE "_s + QString::fromLatin1(where))
                .toInt(),
            2)
            << where;
}

// Roles changed by the administrator while the screen is open: a role
// granted counts on the key of the command it enables, without a new
// connection; a role taken away is refused by the server in the words of
// what the clerk tried, and the screen disables at once what it no longer
// allows and says so where the clerk types.
TEST_F(ChtSteps, RolesChangedOnTheServerCountAtTheScreensNextAction)
{
    OpenAs(u"DIEGO"_s);
    if (HasFatalFailure())
        return;
    const auto roles = [this](const char* action, const char* names) {
        QString err;
        EXPECT_EQ(RunServerCommand({u"operator"_s, QString::fromLatin1(action), m_db->Spec(),
                                    u"DIEGO"_s, QString::fromLatin1(names)},
                                   nullptr, &err),
                  0)
            << err.toStdString();
    };
    EXPECT_EQ(StepsEnabled(), u"0000"_s);
    roles("grant", "supervisionar");
    desktop->answers = {mrYes};
    UserKey(*f, 'C', ssCtrl | ssShift);
    EXPECT_EQ(Situation(), u"A"_s) << "the role granted did not count";
    EXPECT_EQ(StepsEnabled(), u"0100"_s);

    SetSituation("P");
    roles("deny", "aprovar");
    EXPECT_TRUE(f->mnuAprovarPendentes->Enabled()) << "nothing told the screen yet";
    At(1, "QTHRAPROFATU");
    UserType(*f, u"0500"_s);
    UserKey(*f, VK_DOWN);
    EXPECT_EQ(desktop->errors,
              QStringList{u"Você não pode aprovar dias: não tem o papel aprovar. Peça-o ao "
                          "administrador."_s});
    if (f->cdsAuxCSA.State() == TDataSetState::dsEdit)
        UserKey(*f, VK_ESCAPE);
    EXPECT_FALSE(f->mnuAprovarPendentes->Enabled());
    EXPECT_EQ(f->mnuAprovarPendentes->DisabledHint(),
              u"Você não tem o papel aprovar: peça-o ao administrador."_s);
    desktop->statuses.clear();
    At(4, "QTHRAPROFATU");
    UserType(*f, u"6"_s);
    EXPECT_NE(f->cdsAuxCSA.State(), TDataSetState::dsEdit);
    EXPECT_EQ(desktop->statuses.value(0),
              u"Você não tem o papel aprovar: peça-o ao administrador."_s);
    // Given back: the next typing edits again.
    roles("grant", "aprovar");
    UserType(*f, u"6"_s);
    EXPECT_EQ(f->cdsAuxCSA.State(), TDataSetState::dsEdit);
    EXPECT_TRUE(f->mnuAprovarPendentes->DisabledHint().isEmpty());
    UserKey(*f, VK_ESCAPE);
}

// A supervisor whose filter shows pending CHTs only approves one: the CHT
// stays on its list as approved, through a change of employee and back,
// the status bar saying what changed, until the next filter.
TEST_F(ChtSteps, AfterAStepTheChtStaysInViewUntilTheNextFilter)
{
    const auto pendingOnly = [this] {
        OnFilter([](TfrmFiltroCsa& d) {
            d.depDtInicial->SetDate(Day(2030, 3, 1));
            d.depDtFinal->SetDate(Day(2030, 3, 31));
            d.chbSemCHTGerada->SetChecked(false);
            d.chbComCHTGerada->SetChecked(true);
            for (TCheckBox* box : {d.chbCHT_Aprovado, d.chbCHT_Faturado, d.chbCHT_Nao_Faturar})
                box->SetChecked(false);
            d.chbCHT_Pendente->SetChecked(true);
            UserClick(d.sbtConfirma);
        });
    };
    pendingOnly();
    IniProc();
    f = frmAprovaHoras;
    ASSERT_TRUE(f);
    OpenTf1("T0001");
    const auto shown = [this] {
        return f->cdsCHT.Locate(u"NRSEQUCHT"_s, u"T0001"_s)
                   ? f->cdsCHT.FieldByName(u"IDSTATUSCHT"_s)->DisplayText()
                   : u"(fora da lista)"_s;
    };
    desktop->answers = {mrYes};
    UserKey(*f, 'C', ssCtrl | ssShift);
    EXPECT_EQ(Situation(), u"A"_s);
    EXPECT_EQ(f->cdsCHT.FieldByName(u"NRSEQUCHT"_s)->AsString(), u"T0001"_s);
    EXPECT_EQ(shown(), u"Aprovada"_s);
    EXPECT_EQ(desktop->statuses.value(desktop->statuses.size() - 1),
              u"CHT T0001 aprovada. Situação: Pendente → Aprovada. Ela fica na lista até o próximo "
              "filtro, que não mostra essa situação."_s);
    EXPECT_EQ(StepsEnabled(), u"0100"_s) << "ANA may reopen it, not bill it";
    UserClick(f->sbtVerificar);
    OpenTf1("T0001");
    EXPECT_EQ(shown(), u"Aprovada"_s);
    // Reopened, it is pending again: the list already shows that.
    desktop->inputs = {u"Dia 4 revisto com o cliente"_s};
    GoTo(f->dbgCHT, "NRSEQUCHT", "T0001");
    UserKey(*f, 'R', ssCtrl | ssShift);
    EXPECT_EQ(shown(), u"Pendente"_s);
    EXPECT_TRUE(desktop->statuses.constLast().endsWith(u"Aprovada → Pendente."_s))
        << desktop->statuses.constLast().toStdString();
    desktop->answers = {mrYes};
    UserKey(*f, 'C', ssCtrl | ssShift);
    EXPECT_EQ(shown(), u"Aprovada"_s);
    pendingOnly();
    UserClick(f->sbtFiltrar);
    EXPECT_EQ(f->cdsServPrest.RecordCount(), 0) << "the next filter shows what it asks for";
    EXPECT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
}
