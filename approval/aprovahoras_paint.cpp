// Overtime and weekend days, and fixed-value CHTs short of their hours, in
// red; approvals still pending in italic grey; situation and billing codes
// as words.
#include "approval/cli_aph31500.h"
#include "service/codewords.h"

using namespace Qt::StringLiterals;

namespace aph {

void TfrmAprovaHoras::dbgCSADrawColumnCell(TObject*, const QRect& Rect, int DataCol,
                                           TColumn* Column, TGridDrawState State)
{
    TCanvas* canvas = dbgCSA->Canvas();
    canvas->FillRect(Rect);
    // A day in red: over eight hours, or any hours on a Saturday or Sunday.
    const double trab = cdsAuxCSA.FieldByName(u"QTHRTRAB"_s)->AsFloat();
    bool testaZero = trab > 8;
    if (!testaZero) {
        const QString dia =
            FormatDateTime(u"ddd"_s, cdsAuxCSA.FieldByName(u"DTSERVPREST"_s)->AsDateTime());
        testaZero = dia == u"dom" || dia == QString::fromUtf8("sáb");
    }
    if (testaZero && trab > 0)
        canvas->Font.Color = clRed;
    // The text as the field shows it; a column without a field shows none.
    const TField* field = Column->Field();
    if (!field)
        return;
    // An approval still empty shows the hours worked in its place; italic
    // and grey, it is not taken for an approved one. Red (overtime) stays,
    // and the current cell keeps the highlight's colour.
    const QString name = field->FieldName();
    if ((name == u"QTHRAPROFATU" || name == u"QTHRAPRCOMIS") && field->IsNull() &&
        !cdsAuxCSA.FieldByName(u"QTHRTRAB"_s)->IsNull()) {
        canvas->Font.Italic = true;
        if (canvas->Font.Color != clRed && !(State & gdSelected))
            canvas->Font.Color = clGray;
    }
    canvas->TextRect(Rect, Rect.left() + 2, Rect.top() + 2, field->DisplayText());
    // Hours are drawn again by the grid, right-aligned, in the same colour.
    if (name == u"QTHRTRAB" || name == u"QTHRAPROFATU" || name == u"QTHRAPRCOMIS")
        dbgCSA->DefaultDrawColumnCell(*canvas, Rect, DataCol, Column, State);
}

void TfrmAprovaHoras::dbgCHTDrawColumnCell(TObject*, const QRect& Rect, int, TColumn* Column,
                                           TGridDrawState)
{
    TCanvas* canvas = dbgCHT->Canvas();
    canvas->FillRect(Rect);
    if (cdsCHT.FieldByName(u"QTSERVCONT"_s)->AsFloat() >
            cdsCHT.FieldByName(u"QTHRTRAB"_s)->AsFloat() &&
        cdsCHT.FieldByName(u"IDTIPOCOBRCONT"_s)->AsString() == u"F")
        canvas->Font.Color = clRed;
    if (const TField* field = Column->Field())
        canvas->TextRect(Rect, Rect.left() + 2, Rect.top() + 2, field->DisplayText());
}

void TfrmAprovaHoras::cdsCHTIDSTATUSCHTGetText(TField* Sender, QString& Text, bool)
{
    // An unknown code shows as nothing in the list.
    const QString code = Sender->AsString();
    Text = IsChtSituation(code) ? ChtSituationWord(code) : QString();
}

void TfrmAprovaHoras::cdsServPrestIDTIPOCOBRCONTGetText(TField* Sender, QString& Text, bool)
{
    const QString code = Sender->AsString();
    if (code == u"H")
        Text = msgPadrao->Msg(u"HORA"_s);
    else if (code == u"F")
        Text = msgPadrao->Msg(u"FIXO"_s);
    else if (code == u"P")
        Text = msgPadrao->Msg(u"PACOTE"_s);
}

} // namespace aph
