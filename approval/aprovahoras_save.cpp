// Saving each posted day at once, generating CHTs, and searching.
#include "approval/cli_aph31500.h"
#include "filter/filtro.h"
#include "host/data/packetcodec.h"
#include "host/framework/environment.h"
#include "host/framework/functions.h"
#include "host/framework/pickers.h"

using namespace Qt::StringLiterals;

namespace aph {

namespace {} // namespace

void TfrmAprovaHoras::cdsCSAAfterPost(TDataSet*)
{
    // 1.
    if (cdsCSA.ChangeCount() <= 0)
        return;
    // 2. to 5.
    ActiveShowAvi(Application()->MainForm(), 1);
    try {
        const QJsonValue reply =
            netAprovCsa.AppServer().Call(u"SetCSA"_s, {DeltaToJson(cdsCSA.Delta())});
        CheckResultServ(reply, true, 0);
    } catch (...) {
        DeactiveShowAvi();
        // The server did not take the day: the server copy goes back to
        // what the server holds, so that a later save of another day cannot
        // carry this change unseen. The working row stays in edit with what
        // the user typed.
        cdsCSA.RevertRecord();
        throw;
    }
    DeactiveShowAvi();
    // 6.
    if (cdsCSA.LogChanges())
        cdsCSA.MergeChangeLog();
}

void TfrmAprovaHoras::sbtGerarCHTClick(TObject*)
{
    // 1.
    if (msgPadrao->ShowMsg(u"CONF_GERAR_CHT"_s, TMsgDlgType::mtConfirmation, mbYes | mbNo, 0) !=
        mrYes)
        return;
    // 2.
    ActiveShowAvi(Application()->MainForm(), 1);
    try {
        // 3.
        const QString cliente = Filtro.Cliente.Todos ? u"T"_s : QString();
        const QString funcionario = Filtro.Funcionario.Todos ? u"T"_s : QString();
        const QString proposta = Filtro.Proposta.Todos ? u"T"_s : QString();
        // 4. and 5.
        const QJsonValue reply = netAprovCsa.AppServer().Call(
            u"SetCHT"_s,
            {Filtro.DtInicial, Filtro.DtFinal, Operador(), Filtro.Cliente.Lista, cliente,
             Filtro.Funcionario.Lista, funcionario, Filtro.Proposta.Lista, proposta});
        CheckResultServ(reply, true, 0);
        // 6.
        sbtVerificarClick(sbtVerificar);
    } catch (...) {
        DeactiveShowAvi();
        throw;
    }
    // 7. and 8.
    DeactiveShowAvi();
    dbgPadrao->SetFocus();
}

void TfrmAprovaHoras::sbtProcurarClick(TObject*)
{
    if (dbgPadrao->Focused())
        Procura(&cdsServPrest);
    else if (dbgFuncionario->Focused())
        Procura(&cdsFunc);
    else if (dbgCHT->Focused())
        Procura(&cdsCHT);
    else if (dbgCSA->Focused())
        Procura(&cdsAuxCSA);
}

} // namespace aph
