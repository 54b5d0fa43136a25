// "Gerar CHT" shows what it would bill before its question, bills nothing
// unless the clerk says Yes, and after billing leaves no figures of a CHT
// no longer shown and a shortcut to the CHTs it made. That the preview's
// figures are the generation's is the server's PreviewTest.
#include "approval/previacht.h"
#include "tests/screens/world.h"

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

struct GerarPrevia : MarchScreen
{
    // Answers the preview window, scrolled, then Enter alone or, on
    // purpose, Tab to "Gerar mesmo assim" and Enter; counts the times it
    // showed and keeps the row Down reached and what the buttons said.
    void OnPreview(bool onPurpose)
    {
        desktop->modal.push_back([this, onPurpose](TForm& form) {
            auto& p = dynamic_cast<TfrmPreviaCHT&>(form);
            ++shown;
            EXPECT_GT(p.cdsPrevia.RecordCount(), 1);
            UserKey(p, VK_DOWN);
            rowAfterDown = p.cdsPrevia.RecNo();
            goesBack = p.btnVoltar->Visible();
            onward = p.btnContinuar->Caption();
            if (onPurpose) {
                UserKey(p, VK_TAB);
                EXPECT_EQ(p.ActiveControl(), p.btnContinuar);
            }
            UserKey(p, VK_RETURN);
        });
    }
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
    int Made()
    {
        return m_db->Scalar(u"SELECT COUNT(*) FROM CHT WHERE CDOPERINCL = 'ANA'"_s).toInt();
    }
    int shown = 0, rowAfterDown = -1;
    bool goesBack = false;
    QString onward;
};

} // namespace

TEST_F(GerarPrevia, ShowsWhatWouldBeBilledAndBillsOnlyOnYes)
{
    OpenMarch(true, false); // the CSAs without CHT only
    OpenTf1();
    const QStringList totalsBefore = Totals();
    ASSERT_FALSE(totalsBefore[0].isEmpty()) << "TF1's days are summed";

    // TF1's days were never approved: Enter on the preview goes back,
    // asks nothing and bills nothing.
    OnPreview(false);
    UserKey(*f, 'G', ssCtrl);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(rowAfterDown, 2) << "the list scrolls by keyboard";
    EXPECT_TRUE(goesBack) << "days never approved are counted";
    EXPECT_EQ(onward, f->msgPadrao->Msg(u"PREV_MESMO_ASSIM"_s));
    EXPECT_FALSE(desktop->questions.contains(f->msgPadrao->Msg(u"CONF_GERAR_CHT"_s)));
    EXPECT_TRUE(CallsOf("SetCHT").isEmpty());

    // On purpose, then No: the question came; nothing billed or reloaded.
    OnPreview(true);
    desktop->answers = {mrNo};
    UserKey(*f, 'G', ssCtrl);
    EXPECT_EQ(shown, 2);
    EXPECT_TRUE(desktop->questions.contains(f->msgPadrao->Msg(u"CONF_GERAR_CHT"_s)));
    EXPECT_TRUE(CallsOf("SetCHT").isEmpty());
    EXPECT_EQ(Made(), 0);
    EXPECT_EQ(Totals(), totalsBefore) << "nothing reloaded";
    EXPECT_FALSE(f->mnuCHTsGeradas->Enabled());

    // On purpose, then Yes: billed, and no figure of TF1's days stays.
    OnPreview(true);
    desktop->answers = {mrYes};
    UserKey(*f, 'G', ssCtrl);
    EXPECT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
    EXPECT_EQ(shown, 3);
    EXPECT_EQ(CallsOf("SetCHT").size(), 1);
    EXPECT_GT(Made(), 0);
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
    OnPreview(false);
    UserKey(*f, 'G', ssCtrl);
    EXPECT_EQ(shown, 3);
    EXPECT_EQ(desktop->questions.last(), f->msgPadrao->Msg(u"PREV_NADA"_s));
    EXPECT_EQ(CallsOf("SetCHT").size(), 1);
    desktop->modal.clear();
}
