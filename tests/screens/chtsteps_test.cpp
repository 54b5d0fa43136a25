// What an operator's roles leave enabled on the approval screen, and a
// CHT's steps from Manutenção: approved, the days lock; reopened with a
// reason; billed with its invoice; each in the day's history by name.
#include "approval/historicodia.h"
#include "tests/screens/world.h"

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
        SetHostEnvironment(
            {op, u"0001"_s, u"127.0.0.1"_s, m_server->Port(), token.trimmed(), QString()});
        OpenMarch();
        OpenTf1("T0001");
        UserFocus(f->dbgCSA);
    }
    QString Situation()
    {
        return m_db->Scalar(u"SELECT IDSTATUSCHT FROM CHT WHERE NRSEQUCHT = 'T0001'"_s).toString();
    }
};

} // namespace

TEST_F(ChtSteps, EachOperatorSeesEnabledWhatTheServerWouldLetThemDo)
{
    struct TCase
    {
        const char* Operator;
        // Gerar CHT, Aprovar dias pendentes, Aprovar CHT, Reabrir CHT,
        // Marcar como faturada, Desfazer faturamento: 1 enabled.
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
        for (const TMenuItem* item : f->mnuPassosCHT)
            enabled += item->Enabled() ? u'1' : u'0';
        EXPECT_EQ(enabled, QString::fromLatin1(c.Enabled));
        EXPECT_EQ(f->sbtGerarCHT->Enabled(), f->mnuGerarCHT->Enabled());
        EXPECT_TRUE(f->mnuHistoricoDia->Enabled() && f->mnuDemonstrativoCHT->Enabled());
        At(1, "QTHRAPROFATU");
        UserType(*f, u"05"_s);
        EXPECT_EQ(f->cdsAuxCSA.State() == TDataSetState::dsEdit, c.Edits);
        if (f->cdsAuxCSA.State() == TDataSetState::dsEdit)
            UserKey(*f, VK_ESCAPE);
        EXPECT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
        Input([this] { f->Close(); });
    }
}

TEST_F(ChtSteps, AdminApprovesReopensAndBillsAndTheDaysHistoryTellsWhoAndWhy)
{
    OpenAs(u"ADMIN"_s);
    const QString reason = u"Faltou o dia 4 revisado"_s;
    // Approved: the days lock, as an approved CHT's do.
    desktop->answers = {mrYes};
    UserClick(f->mnuPassosCHT[0]);
    EXPECT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
    EXPECT_EQ(Situation(), u"A"_s);
    EXPECT_EQ(f->cdsCHT.FieldByName(u"NRSEQUCHT"_s)->AsString(), u"T0001"_s);
    EXPECT_EQ(f->cdsCHT.FieldByName(u"IDSTATUSCHT"_s)->AsString(), u"A"_s);
    EXPECT_TRUE(f->lblBloqueio->Visible());
    UserFocus(f->dbgCSA);
    At(1, "QTHRAPROFATU");
    UserType(*f, u"05"_s);
    EXPECT_EQ(f->cdsAuxCSA.State(), TDataSetState::dsBrowse);
    // A reason too short is the server's refusal, shown; then a real one.
    desktop->inputs = {u"curto"_s};
    UserClick(f->mnuPassosCHT[1]);
    ASSERT_EQ(desktop->errors.size(), 1);
    EXPECT_EQ(desktop->errors[0], u"Informe o motivo com pelo menos 10 caracteres."_s);
    desktop->errors.clear();
    EXPECT_EQ(Situation(), u"A"_s);
    desktop->inputs = {reason};
    UserClick(f->mnuPassosCHT[1]);
    EXPECT_EQ(Situation(), u"P"_s);
    desktop->answers = {mrYes};
    UserClick(f->mnuPassosCHT[0]);
    desktop->inputs = {u"NF-2030-17"_s};
    UserClick(f->mnuPassosCHT[2]);
    EXPECT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
    EXPECT_EQ(Situation(), u"R"_s);
    EXPECT_EQ(CallsOf("SetStatusCHT").size(), 5);
    EXPECT_FALSE(CallsOf("SetStatusCHT").last().Key.isEmpty()) << "keyed like the other writes";

    // The day's history: the four steps, by name, with the reason and the
    // invoice.
    QList<QStringList> rows;
    desktop->modal.push_back([&rows](TForm& form) {
        auto& h = dynamic_cast<TfrmHistoricoDia&>(form);
        for (int r = 0; r < h.dbgHist->RowCount(); ++r) {
            QStringList cells;
            for (int c : {1, 2, 10, 11, 12, 13})
                cells << h.dbgHist->CellText(r, c);
            rows << cells;
        }
        UserClick(h.btnFechar);
    });
    UserFocus(f->dbgCSA);
    At(1, "QTHRTRAB");
    UserClick(f->mnuHistoricoDia);
    const QString admin = u"Administrador"_s, event = u"Situação da CHT"_s;
    EXPECT_EQ(rows, (QList<QStringList>{
                        {admin, event, u"Pendente"_s, u"Aprovada"_s, QString(), QString()},
                        {admin, event, u"Aprovada"_s, u"Pendente"_s, reason, QString()},
                        {admin, event, u"Pendente"_s, u"Aprovada"_s, QString(), QString()},
                        {admin, event, u"Aprovada"_s, u"Faturada"_s, QString(), u"NF-2030-17"_s},
                    }));
}
