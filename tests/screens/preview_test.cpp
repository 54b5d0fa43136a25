// "Gerar CHT" shows what it would bill before its question, bills nothing
// unless the clerk says Yes, and after billing leaves no figures of a CHT
// no longer shown and a shortcut to the CHTs it made.
#include "approval/previacht.h"
#include "tests/screens/world.h"

#include <ostream>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

// What the clerk does: the preview call fails on the way, or the clerk
// answers the question.
struct TScenario
{
    const char* Name;
    const char* Failing; // the method whose call fails; empty for none
    int Answer;
};

// Named in the test output by its name.
void PrintTo(const TScenario& p, std::ostream* os)
{
    *os << p.Name;
}

class GerarPrevia : public MarchScreen, public ::testing::WithParamInterface<TScenario>
{
protected:
    // What the preview window showed, left with Enter after scrolling.
    struct TShown
    {
        bool Shown = false;
        QString Resumo, Pendentes;
        int Rows = 0;
        int RowAfterDown = -1;
    };
    void OnPreview(TShown& shown)
    {
        desktop->modal.push_back([&shown](TForm& form) {
            auto& p = dynamic_cast<TfrmPreviaCHT&>(form);
            shown.Shown = true;
            shown.Resumo = p.lblResumo->Caption();
            shown.Pendentes = p.lblPendentes->Caption();
            shown.Rows = p.cdsPrevia.RecordCount();
            UserKey(p, VK_DOWN);
            shown.RowAfterDown = p.cdsPrevia.RecNo();
            UserKey(p, VK_RETURN);
        });
    }
    int Count(const char* sql) { return m_db->Scalar(QString::fromUtf8(sql)).toInt(); }
    QStringList Totals() const
    {
        QStringList t;
        for (const TLabel* l :
             {f->lblTotHoraTrab, f->lblTotHoraFat, f->lblTotHoraComis, f->lblValorHoraAtual,
              f->lblVrHoraContratual, f->lblTotHorasFinal, f->lblValorHoraFinal})
            t << l->Caption();
        t << f->nedVrFaturar->Text();
        return t;
    }
};

} // namespace

TEST_P(GerarPrevia, ShowsWhatWouldBeBilledAndBillsOnlyOnYes)
{
    const TScenario& s = GetParam();
    OpenMarch(true, false); // the CSAs without CHT only
    OpenTf1();
    const QStringList totalsBefore = Totals();
    ASSERT_FALSE(totalsBefore[0].isEmpty()) << "TF1's days are summed";
    failing = QString::fromLatin1(s.Failing);
    TShown shown;
    OnPreview(shown);
    desktop->answers = {s.Answer};
    UserKey(*f, 'G', ssCtrl);
    failing.clear();

    const bool failed = !QString::fromLatin1(s.Failing).isEmpty();
    const bool billed = !failed && s.Answer == mrYes;
    EXPECT_EQ(shown.Shown, !failed);
    EXPECT_EQ(desktop->errors.isEmpty(), !failed) << desktop->errors.join(u'\n').toStdString();
    EXPECT_EQ(desktop->questions.contains(f->msgPadrao->Msg(u"CONF_GERAR_CHT"_s)), !failed)
        << "the question comes after the preview, unchanged";
    EXPECT_EQ(CallsOf("SetCHT").size(), billed ? 1 : 0);
    const int made = Count("SELECT COUNT(*) FROM CHT WHERE CDOPERINCL = 'ANA'");
    EXPECT_EQ(made > 0, billed);
    if (!billed) {
        EXPECT_EQ(Totals(), totalsBefore) << "nothing reloaded";
        EXPECT_FALSE(f->mnuCHTsGeradas->Enabled());
        return;
    }
    // The preview's figures are those of the CHTs made.
    EXPECT_EQ(shown.Resumo,
              f->msgPadrao->Msg(u"PREV_RESUMO"_s)
                  .arg(made)
                  .arg(Count("SELECT COUNT(DISTINCT CDFUNC || CDEMPRESA) FROM CHT WHERE "
                             "CDOPERINCL = 'ANA'"))
                  .arg(Count("SELECT COUNT(*) FROM CSA A JOIN CHT H ON H.NRSEQUCHT = "
                             "A.NRSEQUCHT WHERE H.CDOPERINCL = 'ANA'")));
    EXPECT_EQ(shown.Pendentes,
              f->msgPadrao->Msg(u"PREV_COM_PEND"_s)
                  .arg(Count("SELECT COUNT(*) FROM APH_HISTGERCSA G JOIN CHT H ON H.NRSEQUCHT = "
                             "G.NRSEQUCHT WHERE H.CDOPERINCL = 'ANA' AND (G.QTHRAPROFATU_ANT IS "
                             "NULL OR G.QTHRAPRCOMIS_ANT IS NULL)")));
    EXPECT_EQ(shown.Rows, Count("SELECT COUNT(*) FROM (SELECT DISTINCT NRPROPOSFAS, NRVERPROPFAS, "
                                "NRSERVCONT FROM CHT WHERE CDOPERINCL = 'ANA') X"));
    EXPECT_EQ(shown.RowAfterDown, 2) << "the list scrolls by keyboard";
    // Nothing without CHT is left: no figure of TF1's days stays.
    EXPECT_FALSE(f->cdsCHT.Active() && !f->cdsCHT.IsEmpty());
    for (const QString& figure : Totals())
        EXPECT_TRUE(figure.isEmpty()) << figure.toStdString();
    EXPECT_EQ(desktop->screenStatuses.last(), f->msgPadrao->Msg(u"CHT_PROXIMO"_s));

    // The shortcut shows the CHTs just made, pending, through the filter.
    ASSERT_TRUE(f->mnuCHTsGeradas->Enabled());
    UserKey(*f, 'V', ssCtrl | ssShift);
    EXPECT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
    EXPECT_TRUE(Filtro.ComCHTGerada && !Filtro.SemCHTGerada && Filtro.CHT_Pendente);
    const QString nova =
        m_db->Scalar(u"SELECT NRSEQUCHT FROM CHT WHERE CDOPERINCL = 'ANA' AND CDFUNC = 'TF1' AND "
                     "NRSERVCONT = '001'"_s)
            .toString();
    OpenTf1(nova.toUtf8().constData());
    EXPECT_EQ(f->cdsCHT.FieldByName(u"NRSEQUCHT"_s)->AsString(), nova);
    EXPECT_EQ(f->cdsCHT.FieldByName(u"IDSTATUSCHT"_s)->AsString(), u"P"_s);
    EXPECT_FALSE(Totals()[0].isEmpty()) << "the new CHT's days are summed";

    // Nothing left to generate: said, and nothing asked.
    const auto questions = desktop->questions.size();
    TShown none;
    OnPreview(none);
    UserKey(*f, 'G', ssCtrl);
    EXPECT_FALSE(none.Shown);
    EXPECT_EQ(desktop->questions.size(), questions + 1);
    EXPECT_EQ(desktop->questions.last(), f->msgPadrao->Msg(u"PREV_NADA"_s));
    EXPECT_EQ(CallsOf("SetCHT").size(), 1);
    desktop->modal.clear();
}

INSTANTIATE_TEST_SUITE_P(Clerk, GerarPrevia,
                         ::testing::Values(TScenario{"AnswersNo", "", mrNo},
                                           TScenario{"AnswersYes", "", mrYes},
                                           TScenario{"PreviewFails", "GetPrevCHT", mrYes}),
                         [](const ::testing::TestParamInfo<TScenario>& scenario) {
                             return std::string(scenario.param.Name);
                         });
