// Saving each posted day at once, generating CHTs, and searching.
#include "approval/cli_aph31500.h"
#include "filter/filtro.h"
#include "host/data/packetcodec.h"
#include "host/data/scopeguard.h"
#include "host/framework/environment.h"
#include "host/framework/functions.h"
#include "host/framework/pickers.h"

#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace aph {

void TfrmAprovaHoras::cdsCSAAfterPost(TDataSet*)
{
    // Nothing changed, nothing to save.
    if (cdsCSA.ChangeCount() <= 0)
        return;
    SaveCSA();
    // Saved: the change is now what the server holds.
    if (cdsCSA.LogChanges())
        cdsCSA.MergeChangeLog();
}

void TfrmAprovaHoras::SaveCSA()
{
    // The server did not take the day: the server copy goes back to what the
    // server holds, so that a later save of another day cannot carry this
    // change unseen. The working row stays in edit with what the user typed.
    // Declared first, it runs after the busy animation has ended.
    TScopeFail revert([this] { cdsCSA.RevertRecord(); });
    TBusyAnimation busy;
    const QJsonValue reply =
        netAprovCsa.AppServer().Call(u"SetCSA"_s, {DeltaToJson(cdsCSA.Delta())});
    CheckResultServ(reply, true, 0);
}

void TfrmAprovaHoras::sbtGerarCHTClick(TObject*)
{
    // What would be billed, before the question that bills it.
    if (!PreviaCHT())
        return;
    if (msgPadrao->ShowMsg(u"CONF_GERAR_CHT"_s, TMsgDlgType::mtConfirmation, mbYes | mbNo, 0) !=
        mrYes)
        return;
    GenerateCHT();
    dbgPadrao->SetFocus();
}

void TfrmAprovaHoras::GenerateCHT()
{
    TBusyAnimation busy;
    const QJsonValue reply = netAprovCsa.AppServer().Call(u"SetCHT"_s, ArgumentosGeracao());
    CheckResultServ(reply, true, 0);
    // The screen shows the CHTs just generated, and the status bar what the
    // generation made (a server that does not say leaves it as it was).
    sbtVerificarClick(sbtVerificar);
    const QJsonObject gerado = reply.toObject().value(u"generated").toObject();
    DepoisDaGeracao(gerado.value(u"chts").toInt());
    if (gerado.isEmpty())
        return;
    const int chts = gerado.value(u"chts").toInt();
    ShowStatus(chts == 0 ? msgPadrao->Msg(u"CHT_NENHUMA"_s)
                         : msgPadrao->Msg(u"CHT_GERADAS"_s)
                               .arg(chts)
                               .arg(gerado.value(u"employees").toInt())
                               .arg(gerado.value(u"csas").toInteger()));
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
