// The drill-down: services, employees, CHTs and the CSA days, the gap days
// of a generated CHT, the write-back of an edited day, and the toolbar.
#include "approval/cli_aph31500.h"
#include "filter/cli_aph31501.h"
#include "host/framework/functions.h"

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

// A load framed by the busy animation: the animation ends whatever happens.
template <class F> void Load(F&& body)
{
    ActiveShowAvi(Application()->MainForm(), 1);
    try {
        body();
    } catch (...) {
        DeactiveShowAvi();
        throw;
    }
    DeactiveShowAvi();
}

} // namespace

void TfrmAprovaHoras::cdsServPrestAfterScroll(TDataSet*)
{
    Load([this] {
        const QString todos = Filtro.Funcionario.Todos ? u"T"_s : QString();
        const QString lista = Filtro.Funcionario.Todos ? QString() : Filtro.Funcionario.Lista;
        const QJsonValue reply = netAprovCsa.AppServer().Call(
            u"GetFunc"_s, {Filtro.DtInicial, Filtro.DtFinal, Str(cdsServPrest, "CDCLIENTE"),
                           Str(cdsServPrest, "CDTIPOSERV"), Str(cdsServPrest, "NRPROPOSFAS"),
                           Str(cdsServPrest, "NRVERPROPFAS"), Str(cdsServPrest, "NRSERVCONT"),
                           todos, lista, SituacaoCSA(), SituacaoCHT()});
        cdsFunc.SetData(CheckResultServ(reply, true, 0));
        // No employee means no change of row: the CHTs must be loaded here.
        if (!cdsFunc.Active() || cdsFunc.IsEmpty())
            cdsFuncAfterScroll(&cdsFunc);
    });
}

void TfrmAprovaHoras::cdsFuncAfterScroll(TDataSet*)
{
    Load([this] {
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
                lblTotHoraTrab->SetCaption(QString());
                lblTotHoraFat->SetCaption(QString());
                lblTotHoraComis->SetCaption(QString());
                nedVrFaturar->Clear();
                dtsPadraoStateChange(dtsPadrao);
            }
            return;
        }
        // The row for the CSAs without CHT goes on top and is the one whose
        // days are loaded last. The days of the rows the load and the insert
        // pass through would be replaced at once, so they are not fetched.
        const TClientDataSet::TDataSetNotifyEvent afterScroll = cdsCHT.AfterScroll;
        cdsCHT.AfterScroll = nullptr;
        try {
            cdsCHT.SetData(CheckResultServ(reply, true, 0));
            if (!cdsCHT.Active())
                cdsCHT.CreateDataSet();
            cdsCHT.Insert();
            cdsCHT.FieldByName(u"DSREFECHT"_s)->SetAsString(u"CSA´s sem CHT Gerada"_s);
            cdsCHT.Post();
        } catch (...) {
            cdsCHT.AfterScroll = afterScroll;
            throw;
        }
        cdsCHT.AfterScroll = afterScroll;
        cdsCHT.First();
    });
}

void TfrmAprovaHoras::cdsCHTAfterScroll(TDataSet*)
{
    // 1. Generated CHT ("S") or the CSAs without one ("N").
    const QString kind = Str(cdsCHT, "NRSEQUCHT").isEmpty() ? u"N"_s : u"S"_s;
    bool suspended = false;
    bool beforePostDetached = false;
    ActiveShowAvi(Application()->MainForm(), 1);
    try {
        // 2.
        const QJsonValue reply = netAprovCsa.AppServer().Call(
            u"GetCSA"_s, {Str(cdsServPrest, "CDCLIENTE"), Str(cdsFunc, "CDFUNC"), Filtro.DtInicial,
                          Filtro.DtFinal, Str(cdsServPrest, "CDTIPOSERV"),
                          Str(cdsServPrest, "NRPROPOSFAS"), Str(cdsServPrest, "NRVERPROPFAS"),
                          Str(cdsCHT, "NRSEQUCHT"), kind, Str(cdsFunc, "CDEMPRESA")});
        cdsCSA.SetData(CheckResultServ(reply, true, 0));
        // 3. and 4.
        dtsPadrao->OnStateChange = nullptr;
        if (cdsCSA.Active() && !cdsCSA.IsEmpty()) {
            cdsAuxCSA.DisableControls();
            suspended = true;
        }
        // 5.
        if (cdsCSA.Active())
            cdsAuxCSA.CopyDataFrom(cdsCSA);
        else
            cdsAuxCSA.Close();
        // 6.
        lblTotHoraTrab->SetCaption(QString());
        lblTotHoraFat->SetCaption(QString());
        lblTotHoraComis->SetCaption(QString());
        nedVrFaturar->SetNumber(0);
        TotalizaCSA();
        // 7.
        if (!Str(cdsCHT, "NRSEQUCHT").isEmpty()) {
            cdsAuxCSA.BeforePost = nullptr;
            beforePostDetached = true;
            AdcionaData();
            cdsAuxCSA.BeforePost = BeforePostHandler();
            beforePostDetached = false;
        }
        // 8. and 9.
        dtsPadrao->OnStateChange = StateChangeHandler();
        if (suspended) {
            suspended = false;
            cdsAuxCSA.EnableControls();
        }
    } catch (...) {
        dtsPadrao->OnStateChange = StateChangeHandler();
        if (beforePostDetached)
            cdsAuxCSA.BeforePost = BeforePostHandler();
        dtsPadraoStateChange(dtsPadrao);
        if (suspended)
            cdsAuxCSA.EnableControls();
        DeactiveShowAvi();
        throw;
    }
    // 10.
    DeactiveShowAvi();
}

void TfrmAprovaHoras::AdcionaData()
{
    TField* data = cdsAuxCSA.FieldByName(u"DTSERVPREST"_s);
    // 1.
    const int n = cdsAuxCSA.RecordCount();
    cdsAuxCSA.First();
    TDateTime d = data->AsDateTime();
    cdsAuxCSA.Next();
    // 2. The rows as they stood before the filling, from the current one on.
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
    // 3.
    cdsAuxCSA.First();
}

void TfrmAprovaHoras::LoadCSA()
{
    // 1. and 2. The server copy's day of this row; a gap day has none.
    if (!cdsCSA.Active() ||
        !cdsCSA.Locate(u"DTSERVPREST"_s, cdsAuxCSA.FieldByName(u"DTSERVPREST"_s)->AsString(),
                       static_cast<int>(TLocateOption::loCaseInsensitive)))
        return;
    // 3.
    cdsCSA.Edit();
    try {
        cdsCSA.FieldByName(u"QTHRAPROFATU"_s)
            ->SetAsFloat(cdsAuxCSA.FieldByName(u"QTHRAPROFATU"_s)->AsFloat());
        cdsCSA.FieldByName(u"QTHRAPRCOMIS"_s)
            ->SetAsFloat(cdsAuxCSA.FieldByName(u"QTHRAPRCOMIS"_s)->AsFloat());
        cdsCSA.FieldByName(u"CDOCORR"_s)
            ->SetAsString(cdsAuxCSA.FieldByName(u"CDOCORR"_s)->AsString());
        cdsCSA.FieldByName(u"CDGRPOCOR"_s)
            ->SetAsString(cdsAuxCSA.FieldByName(u"CDGRPOCOR"_s)->AsString());
        cdsCSA.FieldByName(u"DSOCORR"_s)
            ->SetAsString(cdsAuxCSA.FieldByName(u"DSOCORR"_s)->AsString());
        cdsCSA.Post();
    } catch (...) {
        // A refused validation abandons the write-back as a whole: the
        // server copy keeps its stored values and leaves editing.
        if (cdsCSA.State() == TDataSetState::dsEdit)
            cdsCSA.Cancel();
        throw;
    }
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
