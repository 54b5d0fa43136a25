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
    // The hour values above the line: none for a package; the others show
    // the one to bill and the contractual one.
    const QString money = u"#,###,##0.00"_s;
    if (cobranca == u"P") {
        lblValorHoraAtual->SetCaption(FormatFloat(money, 0));
        lblVrHoraContratual->SetCaption(FormatFloat(money, 0));
    } else {
        lblValorHoraAtual->SetCaption(FormatFloat(money, vrDeHora));
        lblVrHoraContratual->SetCaption(
            FormatFloat(money, cdsServPrest.FieldByName(u"VRHORACLIE"_s)->AsFloat()));
    }
    // The bottom line is the product the amount is made of, whatever the
    // way of charging: the billed hours (a fixed value's contracted
    // quantity) times the hour value to bill.
    lblTotHorasFinal->SetCaption(CalculaTempo(totals.BasisHours()));
    lblValorHoraFinal->SetCaption(FormatFloat(money, totals.BasisHourValue()));
}

} // namespace aph
