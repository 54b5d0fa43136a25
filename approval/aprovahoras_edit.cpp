// Approving a day in the CSA grid: which cells take edits, the grid's keys,
// the occurrence picker, the checks and the post of a day.
#include "approval/cli_aph31500.h"
#include "host/framework/functions.h"
#include "host/framework/pickers.h"

#include <cmath>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

QString Coluna(const TDBGrid* grid)
{
    const TField* field = grid->SelectedField();
    return field ? field->FieldName() : QString();
}

// Whole thousandths of an hour, the product in extended precision.
qint64 Milesimos(double hours)
{
    return static_cast<qint64>(std::trunc(static_cast<long double>(hours) * 1000.0L));
}

} // namespace

// The cell under the cursor takes typing when it is an approval or the
// occurrence, on a day with hours worked, and the billed hours only when
// the service is not a package. Whether the CHT may change is asked when
// the row is about to enter editing.
void TfrmAprovaHoras::dbgCSAColEnter(TObject*)
{
    const QString coluna = Coluna(dbgCSA);
    bool editavel = coluna == u"QTHRAPROFATU" || coluna == u"QTHRAPRCOMIS" || coluna == u"DSOCORR";
    if (editavel && cdsAuxCSA.FieldByName(u"QTHRTRAB"_s)->IsNull())
        editavel = false;
    if (editavel && coluna == u"QTHRAPROFATU" &&
        cdsServPrest.FieldByName(u"IDTIPOCOBRCONT"_s)->AsString() == u"P")
        editavel = false;
    dbgCSA->SetOptions(editavel ? dbgCSA->Options() | dgEditing : dbgCSA->Options() & ~dgEditing);
}

void TfrmAprovaHoras::dbgCSAColExit(TObject*)
{
    if (cdsAuxCSA.State() != TDataSetState::dsEdit)
        return;
    const QString coluna = Coluna(dbgCSA);
    const double trab = RoundDec(cdsAuxCSA.FieldByName(u"QTHRTRAB"_s)->AsFloat(), 5);
    if (coluna == u"QTHRAPROFATU" &&
        RoundDec(cdsAuxCSA.FieldByName(u"QTHRAPROFATU"_s)->AsFloat(), 5) > trab)
        MensErro(msgPadrao->Msg(u"Hr_Norm<"_s), true);
    if (coluna == u"QTHRAPRCOMIS" &&
        RoundDec(cdsAuxCSA.FieldByName(u"QTHRAPRCOMIS"_s)->AsFloat(), 5) > trab)
        MensErro(msgPadrao->Msg(u"Hr_Aprov<"_s), true);
}

void TfrmAprovaHoras::dbgCSAEditButtonClick(TObject*)
{
    if (Coluna(dbgCSA) != u"DSOCORR")
        return;
    qryOcorr.Close();
    qryOcorr.Open();
    if (!Pesquisar(&dtsOcorr, msgPadrao->Msg(u"ocorrencia"_s), false, true))
        return;
    cdsAuxCSA.Edit(); // a CHT that cannot change refuses silently here
    cdsAuxCSA.FieldByName(u"CDOCORR"_s)
        ->SetAsString(qryOcorr.FieldByName(u"CDOCORR"_s)->AsString());
    cdsAuxCSA.FieldByName(u"CDGRPOCOR"_s)
        ->SetAsString(qryOcorr.FieldByName(u"CDGRPOCOR"_s)->AsString());
    cdsAuxCSA.FieldByName(u"DSOCORR"_s)
        ->SetAsString(qryOcorr.FieldByName(u"DSOCORR"_s)->AsString());
}

void TfrmAprovaHoras::dbgCSAEnter(TObject*)
{
    dbgCSAColEnter(dbgCSA);
    dtsPadraoStateChange(dtsPadrao);
}

void TfrmAprovaHoras::dbgCSAExit(TObject*)
{
    dtsPadraoStateChange(dtsPadrao);
}

void TfrmAprovaHoras::dbgCSAKeyDown(TObject*, TWord& Key, TShiftState Shift)
{
    const QString coluna = Coluna(dbgCSA);
    // Days are never added or removed here.
    if (Key == VK_INSERT) {
        Key = 0;
        return;
    }
    if ((Key == VK_BACK || Key == VK_DELETE) && coluna == u"DSOCORR") {
        Key = 0;
        cdsAuxCSA.Edit();
        cdsAuxCSA.FieldByName(u"CDOCORR"_s)->Clear();
        cdsAuxCSA.FieldByName(u"DSOCORR"_s)->Clear();
        cdsAuxCSA.FieldByName(u"CDGRPOCOR"_s)->Clear();
        return;
    }
    const bool ultima = cdsAuxCSA.RecNo() == cdsAuxCSA.RecordCount();
    if (Key == VK_DOWN && (ultima || cdsAuxCSA.RecordCount() == 0) && dbgCSA->Focused()) {
        Key = 0;
        return;
    }
    if (Key == VK_TAB && ultima && coluna == u"DSOCORR" && dbgCSA->Focused()) {
        Key = 0;
        return;
    }
    if (Key == VK_DELETE && (Shift & ssCtrl))
        Key = 0;
}

void TfrmAprovaHoras::dbgCSAKeyPress(TObject*, QChar& Key)
{
    // The occurrence comes from the picker only; gap days take nothing.
    if (Coluna(dbgCSA) == u"DSOCORR" || cdsAuxCSA.FieldByName(u"QTHRTRAB"_s)->IsNull())
        Key = QChar();
}

void TfrmAprovaHoras::cdsAuxCSABeforeEdit(TDataSet*)
{
    if (!SituacaoBloqueada().isEmpty() || !PodeEditarDias())
        Abort(); // an approved or billed CHT does not change, and says nothing
}

QString TfrmAprovaHoras::SituacaoBloqueada() const
{
    if (!cdsCHT.Active() || cdsCHT.IsEmpty())
        return {};
    const QString situacao = cdsCHT.FieldByName(u"IDSTATUSCHT"_s)->AsString();
    return situacao == u"A" || situacao == u"R" ? situacao : QString();
}

// The refusal of a locked CHT stays silent; this line under the days says,
// before any key is pressed, why they take no typing.
void TfrmAprovaHoras::MostraBloqueio()
{
    const QString situacao = SituacaoBloqueada();
    QString texto;
    if (situacao == u"A")
        texto = msgPadrao->Msg(u"BLOQ_APROVADA"_s);
    else if (situacao == u"R")
        texto = msgPadrao->Msg(u"BLOQ_FATURADA"_s);
    else if (cdsCSA.Active() && cdsServPrest.Active() && !cdsServPrest.IsEmpty() &&
             cdsServPrest.FieldByName(u"IDTIPOCOBRCONT"_s)->AsString() == u"P")
        texto = msgPadrao->Msg(u"BLOQ_PACOTE"_s);
    lblBloqueio->SetCaption(texto);
    lblBloqueio->SetVisible(!texto.isEmpty());
}

void TfrmAprovaHoras::cdsAuxCSAAfterEdit(TDataSet*)
{
    HabilitaGrid(false);
}

void TfrmAprovaHoras::cdsAuxCSABeforePost(TDataSet*)
{
    // Approvals left empty take the hours worked.
    const double trab = cdsAuxCSA.FieldByName(u"QTHRTRAB"_s)->AsFloat();
    if (cdsAuxCSA.FieldByName(u"QTHRAPRCOMIS"_s)->IsNull())
        cdsAuxCSA.FieldByName(u"QTHRAPRCOMIS"_s)->SetAsFloat(trab);
    if (cdsAuxCSA.FieldByName(u"QTHRAPROFATU"_s)->IsNull())
        cdsAuxCSA.FieldByName(u"QTHRAPROFATU"_s)->SetAsFloat(trab);
    // The day goes to the server copy, is checked and saved.
    LoadCSA();
}

void TfrmAprovaHoras::cdsAuxCSAAfterPost(TDataSet*)
{
    HabilitaGrid(true);
    TotalizaCSA();
    MostraPendentes();
}

void TfrmAprovaHoras::cdsAuxCSAAfterCancel(TDataSet*)
{
    HabilitaGrid(true);
}

bool TfrmAprovaHoras::ComissaoPedeOcorrencia(double trab, double comis)
{
    return Milesimos(trab) != Milesimos(comis);
}

void TfrmAprovaHoras::cdsCSABeforePost(TDataSet*)
{
    // The checks read the working row, the one the user typed into.
    // The cell under the cursor gets the check that leaving it would run.
    dbgCSAColExit(dbgCSA);
    const double trab = cdsAuxCSA.FieldByName(u"QTHRTRAB"_s)->AsFloat();
    // Billed hours are never above the hours worked.
    if (RoundDec(cdsAuxCSA.FieldByName(u"QTHRAPROFATU"_s)->AsFloat(), 5) > RoundDec(trab, 5)) {
        cdsAuxCSA.FieldByName(u"QTHRAPROFATU"_s)->FocusControl();
        MensErro(msgPadrao->Msg(u"Hr_Total<"_s), true);
    }
    // Commission hours that differ from the hours worked need a reason.
    TField* comis = cdsAuxCSA.FieldByName(u"QTHRAPRCOMIS"_s);
    if (cdsAuxCSA.FieldByName(u"CDOCORR"_s)->AsString().isEmpty() &&
        ComissaoPedeOcorrencia(trab, comis->AsFloat()) && !comis->IsNull()) {
        cdsAuxCSA.FieldByName(u"DSOCORR"_s)->FocusControl();
        MensErro(msgPadrao->Msg(u"Ocorr_Inf"_s), true);
    }
}

} // namespace aph
