// "Aprovar dias pendentes": every day of the CHT on screen whose approvals
// are still empty takes the hours worked, as the post of each day would
// give it, and all of them go to the server in one save.
#include "approval/cli_aph31500.h"
#include "host/data/scopeguard.h"
#include "host/framework/functions.h"

using namespace Qt::StringLiterals;

namespace aph {

void TfrmAprovaHoras::mnuAprovarPendentesClick(TObject*)
{
    if (!SituacaoBloqueada().isEmpty())
        Abort(); // an approved or billed CHT does not change, and says nothing
    const TPendentes pendentes = DiasPendentes();
    Desktop* desktop = Application()->GetDesktop();
    if (pendentes.Dias.isEmpty()) {
        QString texto = msgPadrao->Msg(u"APROV_NENHUM"_s);
        if (pendentes.Fora > 0)
            texto += u' ' + msgPadrao->Msg(u"APROV_FORA"_s).arg(pendentes.Fora);
        if (desktop)
            desktop->MessageDlg(texto, TMsgDlgType::mtInformation, mbOK);
        return;
    }
    if (!desktop || desktop->MessageDlg(PerguntaPendentes(pendentes), TMsgDlgType::mtConfirmation,
                                        mbYes | mbNo) != mrYes)
        return;
    AprovaPendentes(pendentes.Dias);
    ShowStatus(msgPadrao->Msg(u"APROV_FEITA"_s)
                   .arg(pendentes.Dias.size())
                   .arg(CalculaTempo(pendentes.Horas)));
}

QString TfrmAprovaHoras::PerguntaPendentes(const TPendentes& pendentes) const
{
    const auto n = pendentes.Dias.size();
    QString texto = msgPadrao->Msg(n == 1 ? u"CONF_APROVAR_PEND1"_s : u"CONF_APROVAR_PEND"_s)
                        .arg(n)
                        .arg(CalculaTempo(pendentes.Horas));
    if (pendentes.Fora > 0)
        texto += u' ' + msgPadrao->Msg(u"APROV_FORA"_s).arg(pendentes.Fora);
    return texto;
}

TfrmAprovaHoras::TPendentes TfrmAprovaHoras::DiasPendentes()
{
    TPendentes pendentes;
    if (!cdsAuxCSA.Active() || !cdsCSA.Active())
        return pendentes;
    const TField* data = cdsAuxCSA.FieldByName(u"DTSERVPREST"_s);
    const TField* trab = cdsAuxCSA.FieldByName(u"QTHRTRAB"_s);
    const TField* fatu = cdsAuxCSA.FieldByName(u"QTHRAPROFATU"_s);
    const TField* comis = cdsAuxCSA.FieldByName(u"QTHRAPRCOMIS"_s);
    const TField* ocorr = cdsAuxCSA.FieldByName(u"CDOCORR"_s);
    // Read by index: the cursor, the grid and the totals stay as they are.
    for (int i = 0; i < cdsAuxCSA.RecordCount(); ++i) {
        TClientDataSet::ActiveRecordScope row(cdsAuxCSA, i);
        // A gap day has nothing to approve; a day with both approvals is done.
        if (trab->IsNull() || (!fatu->IsNull() && !comis->IsNull()))
            continue;
        // What the post of the day would store, and the checks it would run.
        const double horas = trab->AsFloat();
        const double faturar = fatu->IsNull() ? horas : fatu->AsFloat();
        const double comissao = comis->IsNull() ? horas : comis->AsFloat();
        const bool acima = RoundDec(faturar, 5) > RoundDec(horas, 5);
        const bool semOcorrencia =
            ocorr->AsString().isEmpty() && ComissaoPedeOcorrencia(horas, comissao);
        if (acima || semOcorrencia) {
            ++pendentes.Fora;
            continue;
        }
        pendentes.Dias.push_back({data->AsString(), horas});
        pendentes.Horas += horas;
    }
    return pendentes;
}

int TfrmAprovaHoras::ContaPendentes()
{
    if (!cdsAuxCSA.Active())
        return 0;
    const TField* trab = cdsAuxCSA.FieldByName(u"QTHRTRAB"_s);
    const TField* fatu = cdsAuxCSA.FieldByName(u"QTHRAPROFATU"_s);
    const TField* comis = cdsAuxCSA.FieldByName(u"QTHRAPRCOMIS"_s);
    int n = 0;
    // Read by index: the cursor and the grid stay as they are.
    for (int i = 0; i < cdsAuxCSA.RecordCount(); ++i) {
        TClientDataSet::ActiveRecordScope row(cdsAuxCSA, i);
        if (!trab->IsNull() && (fatu->IsNull() || comis->IsNull()))
            ++n;
    }
    return n;
}

void TfrmAprovaHoras::MostraPendentes()
{
    // Its own part of the status bar: the last operation's line stays.
    if (!cdsAuxCSA.Active() || cdsAuxCSA.IsEmpty()) {
        ShowScreenStatus(QString());
        return;
    }
    const int n = ContaPendentes();
    ShowScreenStatus(n == 0 ? msgPadrao->Msg(u"PEND_NENHUM"_s)
                            : msgPadrao->Msg(u"PEND_DIAS"_s).arg(n));
}

void TfrmAprovaHoras::AprovaPendentes(const QList<TDiaPendente>& dias)
{
    {
        // A refused save leaves the server copy as the server holds it,
        // every day of it, not only the current one.
        TScopeFail revert([this] { cdsCSA.CancelUpdates(); });
        // Each day is posted without its own save: the one save comes after.
        TDetachHandler beforePost(cdsCSA.BeforePost);
        TDetachHandler afterPost(cdsCSA.AfterPost);
        TField* fatu = cdsCSA.FieldByName(u"QTHRAPROFATU"_s);
        TField* comis = cdsCSA.FieldByName(u"QTHRAPRCOMIS"_s);
        for (const TDiaPendente& dia : dias) {
            if (!cdsCSA.Locate(u"DTSERVPREST"_s, dia.Dia,
                               static_cast<int>(TLocateOption::loCaseInsensitive)))
                continue;
            cdsCSA.Edit();
            if (fatu->IsNull())
                fatu->SetAsFloat(dia.Horas);
            if (comis->IsNull())
                comis->SetAsFloat(dia.Horas);
            cdsCSA.Post();
        }
        if (cdsCSA.ChangeCount() <= 0)
            return;
        SaveCSA();
        if (cdsCSA.LogChanges())
            cdsCSA.MergeChangeLog();
    }
    AprovaNaCopia(dias);
}

void TfrmAprovaHoras::AprovaNaCopia(const QList<TDiaPendente>& dias)
{
    // The working copy takes what was saved, quietly: no save of its own,
    // no grid locked for an edit, the user's row kept.
    TBookmark bookmark = cdsAuxCSA.GetBookmark();
    {
        TControlsDisabled quiet(&cdsAuxCSA);
        TDetachHandler stateChange(dtsPadrao->OnStateChange);
        TDetachHandler beforeEdit(cdsAuxCSA.BeforeEdit);
        TDetachHandler afterEdit(cdsAuxCSA.AfterEdit);
        TDetachHandler beforePost(cdsAuxCSA.BeforePost);
        TDetachHandler afterPost(cdsAuxCSA.AfterPost);
        TField* fatu = cdsAuxCSA.FieldByName(u"QTHRAPROFATU"_s);
        TField* comis = cdsAuxCSA.FieldByName(u"QTHRAPRCOMIS"_s);
        for (const TDiaPendente& dia : dias) {
            if (!cdsAuxCSA.Locate(u"DTSERVPREST"_s, dia.Dia,
                                  static_cast<int>(TLocateOption::loCaseInsensitive)))
                continue;
            cdsAuxCSA.Edit();
            if (fatu->IsNull())
                fatu->SetAsFloat(dia.Horas);
            if (comis->IsNull())
                comis->SetAsFloat(dia.Horas);
            cdsAuxCSA.Post();
        }
        if (!bookmark.IsNull() && cdsAuxCSA.BookmarkValid(bookmark))
            cdsAuxCSA.GotoBookmark(bookmark);
    }
    cdsAuxCSA.FreeBookmark(bookmark);
    TotalizaCSA();
    MostraPendentes();
    dtsPadraoStateChange(dtsPadrao);
}

} // namespace aph
