// The totals panel: hours worked, billed and for commission, and the
// amount to bill for the current contracted service.
#include "approval/cli_aph31500.h"
#include "host/data/scopeguard.h"
#include "host/framework/functions.h"

using namespace Qt::StringLiterals;

namespace aph {

void TfrmAprovaHoras::TotalizaCSA()
{
    // The walk moves the cursor: the user's row is found again afterwards.
    TBookmark bookmark = cdsAuxCSA.GetBookmark();
    try {
        SumCSA();
    } catch (...) {
        // The panel keeps what it could show; the failure goes no further.
    }
    if (!bookmark.IsNull() && cdsAuxCSA.BookmarkValid(bookmark))
        cdsAuxCSA.GotoBookmark(bookmark);
    cdsAuxCSA.FreeBookmark(bookmark);
}

void TfrmAprovaHoras::SumCSA()
{
    // The walk over the days neither shows in the grid nor moves the
    // toolbar. Display is suspended before the handler is detached so that,
    // on the way out, the handler is back before display resumes.
    TControlsDisabled quiet(&cdsAuxCSA);
    TDetachHandler stateChange(dtsPadrao->OnStateChange);
    cdsAuxCSA.First();
    double trabalhadas = 0, faturadas = 0, comissionadas = 0, valor = 0;
    const QString cobranca = cdsServPrest.FieldByName(u"IDTIPOCOBRCONT"_s)->AsString();
    const double qtServCont = cdsServPrest.FieldByName(u"QTSERVCONT"_s)->AsFloat();
    const double vrDeHora = cdsServPrest.FieldByName(u"VRDEHORACLIE"_s)->AsFloat();
    TField* trab = cdsAuxCSA.FieldByName(u"QTHRTRAB"_s);
    TField* fatu = cdsAuxCSA.FieldByName(u"QTHRAPROFATU"_s);
    TField* comis = cdsAuxCSA.FieldByName(u"QTHRAPRCOMIS"_s);
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
    cdsAuxCSA.First();
    lblTotHoraTrab->SetCaption(CalculaTempo(trabalhadas));
    lblTotHoraFat->SetCaption(CalculaTempo(faturadas));
    lblTotHoraComis->SetCaption(CalculaTempo(comissionadas));
    // Summed unrounded, rounded once.
    nedVrFaturar->SetNumber(RoundDec(valor, 2));
    // A package has no hour value; the others show the current and the
    // contracted one.
    const QString money = u"#,###,##0.00"_s;
    if (cobranca == u"P") {
        lblValorHoraAtual->SetCaption(FormatFloat(money, 0));
        lblVrHoraContratual->SetCaption(FormatFloat(money, 0));
    } else {
        lblValorHoraAtual->SetCaption(FormatFloat(money, vrDeHora));
        lblVrHoraContratual->SetCaption(
            FormatFloat(money, cdsServPrest.FieldByName(u"VRHORACLIE"_s)->AsFloat()));
    }
    // The bottom line repeats the hours and the hour value that bill: the
    // contracted ones for a fixed value, the approved ones otherwise.
    if (cobranca == u"F") {
        lblTotHorasFinal->SetCaption(cdsServPrest.FieldByName(u"QTSERVCONT"_s)->AsString() +
                                     u":00"_s);
        lblValorHoraFinal->SetCaption(lblVrHoraContratual->Caption());
    } else {
        lblTotHorasFinal->SetCaption(lblTotHoraFat->Caption());
        lblValorHoraFinal->SetCaption(lblValorHoraAtual->Caption());
    }
}

} // namespace aph
