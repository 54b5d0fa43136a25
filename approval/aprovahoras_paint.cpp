// Overtime and weekend days, and fixed-value CHTs short of their hours, in
// red; situation and billing codes as words.
#include "approval/cli_aph31500.h"

namespace aph {

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

} // namespace

void TfrmAprovaHoras::dbgCSADrawColumnCell(TObject*, const QRect& Rect, int DataCol,
                                           TColumn* Column, TGridDrawState State)
{
    TCanvas* canvas = dbgCSA->Canvas();
    // 1.
    canvas->FillRect(Rect);
    // 2. Over eight hours, or any hours on a Saturday or Sunday.
    const double trab = cdsAuxCSA.FieldByName(S("QTHRTRAB"))->AsFloat();
    bool testaZero = trab > 8;
    if (!testaZero) {
        const QString dia =
            FormatDateTime(S("ddd"), cdsAuxCSA.FieldByName(S("DTSERVPREST"))->AsDateTime());
        testaZero = dia == u"dom" || dia == QString::fromUtf8("sáb");
    }
    if (testaZero && trab > 0)
        canvas->Font.Color = clRed;
    // 3.
    const TField* field = Column->Field();
    if (!field)
        return;
    canvas->TextRect(Rect, Rect.left() + 2, Rect.top() + 2, field->DisplayText());
    // 4. Hours are right-aligned, in the same colour.
    const QString name = field->FieldName();
    if (name == u"QTHRTRAB" || name == u"QTHRAPROFATU" || name == u"QTHRAPRCOMIS")
        dbgCSA->DefaultDrawColumnCell(*canvas, Rect, DataCol, Column, State);
}

void TfrmAprovaHoras::dbgCHTDrawColumnCell(TObject*, const QRect& Rect, int, TColumn* Column,
                                           TGridDrawState)
{
    TCanvas* canvas = dbgCHT->Canvas();
    canvas->FillRect(Rect);
    if (cdsCHT.FieldByName(S("QTSERVCONT"))->AsFloat() >
            cdsCHT.FieldByName(S("QTHRTRAB"))->AsFloat() &&
        cdsCHT.FieldByName(S("IDTIPOCOBRCONT"))->AsString() == u"F")
        canvas->Font.Color = clRed;
    if (const TField* field = Column->Field())
        canvas->TextRect(Rect, Rect.left() + 2, Rect.top() + 2, field->DisplayText());
}

void TfrmAprovaHoras::cdsCHTIDSTATUSCHTGetText(TField* Sender, QString& Text, bool)
{
    const QString code = Sender->AsString();
    if (code == u"P")
        Text = msgPadrao->Msg(S("PENDENTE"));
    else if (code == u"A")
        Text = msgPadrao->Msg(S("APROVADA"));
    else if (code == u"R")
        Text = msgPadrao->Msg(S("FATURADA"));
    else if (code == u"N")
        Text = msgPadrao->Msg(S("NAO_FATURAR"));
}

void TfrmAprovaHoras::cdsServPrestIDTIPOCOBRCONTGetText(TField* Sender, QString& Text, bool)
{
    const QString code = Sender->AsString();
    if (code == u"H")
        Text = msgPadrao->Msg(S("HORA"));
    else if (code == u"F")
        Text = msgPadrao->Msg(S("FIXO"));
    else if (code == u"P")
        Text = msgPadrao->Msg(S("PACOTE"));
}

} // namespace aph
