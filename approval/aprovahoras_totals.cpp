// The totals panel: hours worked, billed and for commission, and the
// amount to bill for the current contracted service.
#include "approval/cli_aph31500.h"
#include "host/framework/functions.h"

using namespace Qt::StringLiterals;

namespace aph {

namespace {} // namespace

void TfrmAprovaHoras::TotalizaCSA()
{
    // 1.
    TBookmark bookmark = cdsAuxCSA.GetBookmark();
    bool suspended = false;
    try {
        // 2.
        dtsPadrao->OnStateChange = nullptr;
        cdsAuxCSA.DisableControls();
        suspended = true;
        // 3.
        cdsAuxCSA.First();
        double trabalhadas = 0, faturadas = 0, comissionadas = 0, valor = 0;
        const QString cobranca = cdsServPrest.FieldByName(u"IDTIPOCOBRCONT"_s)->AsString();
        const double qtServCont = cdsServPrest.FieldByName(u"QTSERVCONT"_s)->AsFloat();
        const double vrDeHora = cdsServPrest.FieldByName(u"VRDEHORACLIE"_s)->AsFloat();
        TField* trab = cdsAuxCSA.FieldByName(u"QTHRTRAB"_s);
        TField* fatu = cdsAuxCSA.FieldByName(u"QTHRAPROFATU"_s);
        TField* comis = cdsAuxCSA.FieldByName(u"QTHRAPRCOMIS"_s);
        // 4.
        while (!cdsAuxCSA.Eof()) {
            trabalhadas += trab->AsFloat();
            faturadas += fatu->AsFloat();
            comissionadas += comis->AsFloat();
            if (cobranca == u"F") {
                if (valor == 0)
                    valor += qtServCont * vrDeHora; // a fixed value counts once
            } else {
                valor += fatu->AsFloat() * vrDeHora;
            }
            cdsAuxCSA.Next();
        }
        // 5.
        cdsAuxCSA.First();
        // 6.
        lblTotHoraTrab->SetCaption(CalculaTempo(trabalhadas));
        lblTotHoraFat->SetCaption(CalculaTempo(faturadas));
        lblTotHoraComis->SetCaption(CalculaTempo(comissionadas));
        // 7. Summed unrounded, rounded once.
        nedVrFaturar->SetNumber(RoundDec(valor, 2));
        // 8.
        const QString money = u"#,###,##0.00"_s;
        if (cobranca == u"P") {
            lblValorHoraAtual->SetCaption(FormatFloat(money, 0));
            lblVrHoraContratual->SetCaption(FormatFloat(money, 0));
        } else {
            lblValorHoraAtual->SetCaption(FormatFloat(money, vrDeHora));
            lblVrHoraContratual->SetCaption(
                FormatFloat(money, cdsServPrest.FieldByName(u"VRHORACLIE"_s)->AsFloat()));
        }
        // 9. The bottom line copies what steps 6 and 8 wrote.
        if (cobranca == u"F") {
            lblTotHorasFinal->SetCaption(cdsServPrest.FieldByName(u"QTSERVCONT"_s)->AsString() +
                                         u":00"_s);
            lblValorHoraFinal->SetCaption(lblVrHoraContratual->Caption());
        } else {
            lblTotHorasFinal->SetCaption(lblTotHoraFat->Caption());
            lblValorHoraFinal->SetCaption(lblValorHoraAtual->Caption());
        }
        // 10.
        dtsPadrao->OnStateChange = StateChangeHandler();
        suspended = false;
        cdsAuxCSA.EnableControls();
    } catch (...) {
        // The panel keeps what it could show; the failure goes no further.
        dtsPadrao->OnStateChange = StateChangeHandler();
        if (suspended)
            cdsAuxCSA.EnableControls();
    }
    // 11.
    if (!bookmark.IsNull() && cdsAuxCSA.BookmarkValid(bookmark))
        cdsAuxCSA.GotoBookmark(bookmark);
    cdsAuxCSA.FreeBookmark(bookmark);
}

} // namespace aph
