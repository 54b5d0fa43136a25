// The drill-down: services, employees, CHTs and the CSA days, the gap days
// of a generated CHT, the write-back of an edited day, and the toolbar.
#include "approval/cli_aph31500.h"
#include "filter/cli_aph31501.h"
#include "host/data/scopeguard.h"
#include "host/framework/functions.h"

#include <optional>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

QString Str(const TClientDataSet& ds, const char* field)
{
    return ds.FieldByName(QString::fromUtf8(field))->AsString();
}

QString SituacaoCSA()
{
    return frmFiltroCsa ? frmFiltroCsa->stSituacaoCSA : QString();
}

QString SituacaoCHT()
{
    return frmFiltroCsa ? frmFiltroCsa->stSituacaoCHT : QString();
}

} // namespace

void TfrmAprovaHoras::cdsServPrestAfterScroll(TDataSet*)
{
    TBusyAnimation busy;
    const QString todos = Filtro.Funcionario.Todos ? u"T"_s : QString();
    const QString lista = Filtro.Funcionario.Todos ? QString() : Filtro.Funcionario.Lista;
    const QJsonValue reply = netAprovCsa.AppServer().Call(
        u"GetFunc"_s, {Filtro.DtInicial, Filtro.DtFinal, Str(cdsServPrest, "CDCLIENTE"),
                       Str(cdsServPrest, "CDTIPOSERV"), Str(cdsServPrest, "NRPROPOSFAS"),
                       Str(cdsServPrest, "NRVERPROPFAS"), Str(cdsServPrest, "NRSERVCONT"), todos,
                       lista, SituacaoCSA(), SituacaoCHT()});
    cdsFunc.SetData(CheckResultServ(reply, true, 0));
    // No employee means no change of row: the CHTs must be loaded here.
    if (!cdsFunc.Active() || cdsFunc.IsEmpty())
        cdsFuncAfterScroll(&cdsFunc);
}

void TfrmAprovaHoras::cdsFuncAfterScroll(TDataSet*)
{
    TBusyAnimation busy;
    const QJsonValue reply = netAprovCsa.AppServer().Call(
        u"GetCHT"_s, {Str(cdsServPrest, "CDTIPOSERV"), Str(cdsServPrest, "NRPROPOSFAS"),
                      Str(cdsServPrest, "NRVERPROPFAS"), Filtro.DtInicial, Filtro.DtFinal,
                      Str(cdsFunc, "CDFUNC"), Str(cdsFunc, "CDEMPRESA"), SituacaoCHT()});
    if (!Filtro.SemCHTGerada) {
        cdsCHT.SetData(CheckResultServ(reply, true, 0));
        if (!cdsCHT.Active() || cdsCHT.IsEmpty()) {
            // No CHT and no row for the CSAs without one: the days of the
            // previous employee must not stay on screen as if they were
            // this one's.
            cdsCSA.Close();
            cdsAuxCSA.Close();
            LimpaTotais();
            MostraBloqueio();
            MostraPendentes();
            dtsPadraoStateChange(dtsPadrao);
        }
        return;
    }
    // The row for the CSAs without CHT goes on top and is the one whose
    // days are loaded last. The days of the rows the load and the insert
    // pass through would be replaced at once, so they are not fetched.
    {
        TDetachHandler afterScroll(cdsCHT.AfterScroll);
        cdsCHT.SetData(CheckResultServ(reply, true, 0));
        if (!cdsCHT.Active())
            cdsCHT.CreateDataSet();
        cdsCHT.Insert();
        cdsCHT.FieldByName(u"DSREFECHT"_s)->SetAsString(u"CSA´s sem CHT Gerada"_s);
        cdsCHT.Post();
    }
    cdsCHT.First();
}

void TfrmAprovaHoras::cdsCHTAfterScroll(TDataSet*)
{
    // A generated CHT ("S") or the row for the CSAs without one ("N").
    const QString kind = Str(cdsCHT, "NRSEQUCHT").isEmpty() ? u"N"_s : u"S"_s;
    // The steps this CHT's situation allows, before its days load.
    HabilitaPassosCHT();
    HabilitaAceiteCHT();
    // The guards below end in the reverse of their declaration: the
    // state-change handler comes back first, then a failed load has the
    // toolbar follow the working copy's state, then the working copy's
    // display resumes (its state report reaching the handler) and the busy
    // animation ends last. That is why the display guard is declared before
    // the handler is detached, though display is suspended only afterwards,
    // once the days are in.
    TBusyAnimation busy;
    std::optional<TControlsDisabled<TClientDataSet>> quiet;
    TScopeFail reportState([this] { dtsPadraoStateChange(dtsPadrao); });
    FetchCSA(kind);
    // The working copy is refilled without the toolbar following each step.
    TDetachHandler stateChange(dtsPadrao->OnStateChange);
    if (cdsCSA.Active() && !cdsCSA.IsEmpty())
        quiet.emplace(&cdsAuxCSA);
    if (cdsCSA.Active())
        cdsAuxCSA.CopyDataFrom(cdsCSA);
    else
        cdsAuxCSA.Close();
    // The totals start from nothing, then count the days just loaded.
    lblTotHoraTrab->SetCaption(QString());
    lblTotHoraFat->SetCaption(QString());
    lblTotHoraComis->SetCaption(QString());
    nedVrFaturar->SetNumber(0);
    TotalizaCSA();
    MostraBloqueio();
    // A generated CHT shows every day of its period, the days without hours
    // too. Those rows exist only in the working copy: the write-back of a
    // posted day stays out of their insertion.
    if (!Str(cdsCHT, "NRSEQUCHT").isEmpty()) {
        TDetachHandler beforePost(cdsAuxCSA.BeforePost);
        AdcionaData();
    }
    MostraPendentes();
}

void TfrmAprovaHoras::FetchCSA(const QString& kind)
{
    const QJsonValue reply = netAprovCsa.AppServer().Call(
        u"GetCSA"_s, {Str(cdsServPrest, "CDCLIENTE"), Str(cdsFunc, "CDFUNC"), Filtro.DtInicial,
                      Filtro.DtFinal, Str(cdsServPrest, "CDTIPOSERV"),
                      Str(cdsServPrest, "NRPROPOSFAS"), Str(cdsServPrest, "NRVERPROPFAS"),
                      Str(cdsCHT, "NRSEQUCHT"), kind, Str(cdsFunc, "CDEMPRESA")});
    cdsCSA.SetData(CheckResultServ(reply, true, 0));
}

void TfrmAprovaHoras::AdcionaData()
{
    TField* data = cdsAuxCSA.FieldByName(u"DTSERVPREST"_s);
    // The days are sorted by date: each gap after a day is filled with the
    // missing days, one row each.
    const int n = cdsAuxCSA.RecordCount();
    cdsAuxCSA.First();
    TDateTime d = data->AsDateTime();
    cdsAuxCSA.Next();
    // The rows as they stood before the filling, from the current one on.
    const int walk = n - cdsAuxCSA.RecNo() + 1;
    for (int i = 0; i < walk; ++i) {
        while (data->AsDateTime() - d > 1.0) {
            TBookmark row = cdsAuxCSA.GetBookmark();
            cdsAuxCSA.Insert();
            data->SetAsDateTime(d + 1.0);
            d = data->AsDateTime();
            cdsAuxCSA.Post();
            cdsAuxCSA.GotoBookmark(row);
            cdsAuxCSA.FreeBookmark(row);
        }
        d = d + 1.0;
        cdsAuxCSA.Next();
    }
    // The user starts on the first day.
    cdsAuxCSA.First();
}

void TfrmAprovaHoras::LoadCSA()
{
    // The server copy's day of this row; a gap day has none.
    if (!cdsCSA.Active() ||
        !cdsCSA.Locate(u"DTSERVPREST"_s, cdsAuxCSA.FieldByName(u"DTSERVPREST"_s)->AsString(),
                       static_cast<int>(TLocateOption::loCaseInsensitive)))
        return;
    // The approvals and the occurrence go to the server copy, whose post
    // checks and saves them.
    cdsCSA.Edit();
    // A refused validation abandons the write-back as a whole: the server
    // copy keeps its stored values and leaves editing.
    TScopeFail abandon([this] {
        if (cdsCSA.State() == TDataSetState::dsEdit)
            cdsCSA.Cancel();
    });
    cdsCSA.FieldByName(u"QTHRAPROFATU"_s)
        ->SetAsFloat(cdsAuxCSA.FieldByName(u"QTHRAPROFATU"_s)->AsFloat());
    cdsCSA.FieldByName(u"QTHRAPRCOMIS"_s)
        ->SetAsFloat(cdsAuxCSA.FieldByName(u"QTHRAPRCOMIS"_s)->AsFloat());
    cdsCSA.FieldByName(u"CDOCORR"_s)->SetAsString(cdsAuxCSA.FieldByName(u"CDOCORR"_s)->AsString());
    cdsCSA.FieldByName(u"CDGRPOCOR"_s)
        ->SetAsString(cdsAuxCSA.FieldByName(u"CDGRPOCOR"_s)->AsString());
    cdsCSA.FieldByName(u"DSOCORR"_s)->SetAsString(cdsAuxCSA.FieldByName(u"DSOCORR"_s)->AsString());
    cdsCSA.Post();
}

void TfrmAprovaHoras::HabilitaGrid(bool Enabled)
{
    dbgPadrao->SetEnabled(Enabled);
    dbgFuncionario->SetEnabled(Enabled);
    dbgCHT->SetEnabled(Enabled);
    splDetalhe->SetEnabled(Enabled);
    splSubDetalhe->SetEnabled(Enabled);
}

void TfrmAprovaHoras::dtsPadraoStateChange(TObject*)
{
    const TDataSetState state = cdsAuxCSA.State();
    const bool browse = state == TDataSetState::dsBrowse;
    const bool edit = state == TDataSetState::dsEdit;
    sbtIncluir->SetEnabled(false);
    sbtExcluir->SetEnabled(sbtIncluir->Enabled());
    sbtAlterar->SetEnabled(browse && ActiveControl() == dbgCSA && cdsAuxCSA.RecordCount() > 0);
    sbtProcurar->SetEnabled(browse && cdsServPrest.RecordCount() > 0);
    sbtVerificar->SetEnabled(!edit);
    sbtCancelar->SetEnabled(edit);
    sbtConfirmar->SetEnabled(sbtCancelar->Enabled());
    sbtFiltrar->SetEnabled(state == TDataSetState::dsInactive || browse);
    sbtGerarCHT->SetEnabled(!edit);
    mnuIncluir->SetEnabled(sbtIncluir->Enabled());
    mnuExcluir->SetEnabled(sbtExcluir->Enabled());
    mnuAlterar->SetEnabled(sbtAlterar->Enabled());
    mnuProcurar->SetEnabled(sbtProcurar->Enabled());
    mnuVerificar->SetEnabled(sbtVerificar->Enabled());
    mnuCancelar->SetEnabled(sbtCancelar->Enabled());
    mnuConfirmar->SetEnabled(sbtConfirmar->Enabled());
    mnuFiltrar->SetEnabled(sbtFiltrar->Enabled());
    mnuGerarCHT->SetEnabled(sbtGerarCHT->Enabled());
    for (TMenuItem* item :
         {mnuAprovarPendentes, mnuHistoricoDia, mnuDemonstrativoCHT, mnuPendencias})
        item->SetEnabled(sbtGerarCHT->Enabled());
    if (mnuCHTsGeradas)
        mnuCHTsGeradas->SetEnabled(sbtGerarCHT->Enabled() && m_filtroGerado.has_value());
    HabilitaPapeis();
}

void TfrmAprovaHoras::sbtFiltrarClick(TObject*)
{
    CriaFiltroCsa();
}

void TfrmAprovaHoras::mnuFiltrarClick(TObject*)
{
    sbtFiltrarClick(sbtFiltrar);
}

void TfrmAprovaHoras::sbtVerificarClick(TObject*)
{
    if (!frmFiltroCsa)
        frmFiltroCsa = Application()->CreateForm<TfrmFiltroCsa>();
    frmFiltroCsa->sbtConfirmaClick(sbtVerificar);
}

} // namespace aph
