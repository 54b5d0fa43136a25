// The totals panel: hours worked, billed and for commission, and the
// amount to bill for the current contracted service.
#include "approval/cli_aph31500.h"
#include "host/data/scopeguard.h"
#include "host/framework/functions.h"
#include "service/chttotals.h"

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
    const QString cobranca = cdsServPrest.FieldByName(u"IDTIPOCOBRCONT"_s)->AsString();
    const double vrDeHora = cdsServPrest.FieldByName(u"VRDEHORACLIE"_s)->AsFloat();
    // The arithmetic is shared with the server's CHT statement.
    TChtTotals totals(cobranca, cdsServPrest.FieldByName(u"QTSERVCONT"_s)->AsFloat(), vrDeHora);
    TField* trab = cdsAuxCSA.FieldByName(u"QTHRTRAB"_s);
    TField* fatu = cdsAuxCSA.FieldByName(u"QTHRAPROFATU"_s);
    TField* comis = cdsAuxCSA.FieldByName(u"QTHRAPRCOMIS"_s);
    while (!cdsAuxCSA.Eof()) {
        totals.Add(trab->AsFloat(), fatu->AsFloat(), comis->AsFloat());
        cdsAuxCSA.Next();
    }
    cdsAuxCSA.First();
    lblTotHoraTrab->SetCaption(CalculaTempo(totals.Worked()));
    lblTotHoraFat->SetCaption(CalculaTempo(totals.Billed()));
    lblTotHoraComis->SetCaption(CalculaTempo(totals.Commission()));
    // Summed unrounded, rounded once.
    nedVrFaturar->SetNumber(totals.Amount());
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
