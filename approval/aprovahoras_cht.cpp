// A CHT's life after its generation, from Manutenção: approve it, reopen
// it with a reason, mark it billed with its invoice, undo the billing with
// a reason. And what the operator's roles leave enabled: a command the
// server would refuse this operator is disabled, so that nobody meets a
// refusal they could have been spared.
#include "approval/cli_aph31500.h"
#include "host/framework/functions.h"
#include "service/policy.h"

#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// Each command: its menu entry's name, caption and key (with Ctrl+Shift;
// letters no other key of the screen takes), the server's step (whose
// policy names its action, role and situations), and what it asks of the
// user.
struct TPassoCht
{
    const char* Nome;
    const char* Legenda;
    char Tecla;
    TChtAction Acao;
    const char* Pergunta; // the question's title, or the confirmation
    const char* Campo;    // what the user types; none: a confirmation
    const char* Feito;
};
constexpr TPassoCht kPassos[] = {
    {"mnuAprovarCHT", "MNU_APROVAR_CHT", 'C', TChtAction::Aprovar, "CHT_CONFIRMA_APROVAR", nullptr,
     "CHT_APROVADA"},
    {"mnuReabrirCHT", "MNU_REABRIR_CHT", 'R', TChtAction::Reabrir, "CHT_REABRIR_TITULO",
     "CHT_MOTIVO", "CHT_REABERTA"},
    {"mnuFaturarCHT", "MNU_FATURAR_CHT", 'F', TChtAction::Faturar, "CHT_FATURAR_TITULO", "CHT_NOTA",
     "CHT_FATURADA"},
    {"mnuDesfazerFaturamento", "MNU_DESFAZER_FAT", 'X', TChtAction::Desfazer, "CHT_DESFAZER_TITULO",
     "CHT_MOTIVO", "CHT_FAT_DESFEITO"},
};

// The calls whose roles the other commands need.
constexpr TRoles kPapelAprovar = MethodRoles("SetCSA");
constexpr TRoles kPapelGerar = MethodRoles("SetCHT");

QString Texto(const char* key)
{
    return QString::fromLatin1(key);
}

} // namespace

void TfrmAprovaHoras::CreateChtMessages()
{
    QStringList lines = msgPadrao->Lines();
    lines << QStringList{
        u"MNU_APROVAR_CHT|Aprovar CHT"_s,
        u"MNU_REABRIR_CHT|Reabrir CHT..."_s,
        u"MNU_FATURAR_CHT|Marcar como faturada..."_s,
        u"MNU_DESFAZER_FAT|Desfazer faturamento..."_s,
        u"CHT_SEM_CHT|Escolha uma CHT gerada."_s,
        u"CHT_CONFIRMA_APROVAR|Aprovar a CHT %1? Os seus dias não poderão mais ser alterados."_s,
        u"CHT_REABRIR_TITULO|Reabrir a CHT %1"_s,
        u"CHT_FATURAR_TITULO|Marcar a CHT %1 como faturada"_s,
        u"CHT_DESFAZER_TITULO|Desfazer o faturamento da CHT %1"_s,
        u"CHT_MOTIVO|Motivo (pelo menos 10 caracteres):"_s,
        u"CHT_NOTA|Número da nota fiscal:"_s,
        u"CHT_APROVADA|CHT %1 aprovada."_s,
        u"CHT_REABERTA|CHT %1 reaberta."_s,
        u"CHT_FATURADA|CHT %1 marcada como faturada."_s,
        u"CHT_FAT_DESFEITO|Faturamento da CHT %1 desfeito."_s,
        u"CHT_MOTIVO_CURTO|Informe o motivo com pelo menos %1 caracteres."_s,
        u"CHT_MOTIVO_LONGO|O motivo pode ter até %1 caracteres."_s,
        u"CHT_NOTA_FALTA|Informe o número da nota fiscal, com até %1 caracteres."_s,
        u"HIST_MOTIVO|Motivo"_s,
        u"HIST_NOTA|Nota fiscal"_s,
    };
    msgPadrao->SetLines(lines);
}

// After the entries Manutenção already has, in the order of a CHT's life.
void TfrmAprovaHoras::CreateChtMenu()
{
    for (const TPassoCht& passo : kPassos) {
        TMenuItem* item = mnuManutencao->Add<TMenuItem>(Texto(passo.Nome));
        item->SetCaption(msgPadrao->Msg(Texto(passo.Legenda)));
        item->SetShortCut(ShortCut(passo.Tecla, ssCtrl | ssShift));
        item->SetEnabled(false);
        item->OnClick = [this, &passo](TObject*) {
            PassoCHT(passo.Acao);
        };
        mnuPassosCHT << item;
    }
}

void TfrmAprovaHoras::HabilitaPapeis()
{
    const bool aprova = netAprovCsa.HoldsAny(kPapelAprovar);
    const bool gera = netAprovCsa.HoldsAny(kPapelGerar);
    sbtAlterar->SetEnabled(sbtAlterar->Enabled() && aprova);
    mnuAlterar->SetEnabled(sbtAlterar->Enabled());
    mnuAprovarPendentes->SetEnabled(mnuAprovarPendentes->Enabled() && aprova);
    sbtGerarCHT->SetEnabled(sbtGerarCHT->Enabled() && gera);
    mnuGerarCHT->SetEnabled(sbtGerarCHT->Enabled());
    HabilitaPassosCHT();
    HabilitaAceiteCHT();
}

void TfrmAprovaHoras::HabilitaPassosCHT()
{
    // The CHT's steps as the other Manutenção entries: not while a day is
    // being edited; and each only from the situation it applies to, so the
    // menu offers what the current CHT can become.
    const bool livre = cdsAuxCSA.State() != TDataSetState::dsEdit;
    const QString situacao = cdsCHT.Active() && !cdsCHT.IsEmpty()
                                 ? cdsCHT.FieldByName(u"IDSTATUSCHT"_s)->AsString()
                                 : QString();
    for (qsizetype i = 0; i < mnuPassosCHT.size(); ++i) {
        const TChtStepPolicy& politica = ChtStepPolicy(kPassos[i].Acao);
        mnuPassosCHT[i]->SetEnabled(livre && situacao == QChar::fromLatin1(politica.From) &&
                                    netAprovCsa.HoldsAny(RoleBit(politica.Role)));
    }
}

QString TfrmAprovaHoras::ConfereCampoCHT(const char* campo, const QString& valor) const
{
    const QString texto = valor.trimmed();
    if (qstrcmp(campo, "CHT_NOTA") == 0)
        return texto.isEmpty() || texto.size() > kMaxInvoiceChars
                   ? msgPadrao->Msg(u"CHT_NOTA_FALTA"_s).arg(kMaxInvoiceChars)
                   : QString();
    if (texto.size() < kMinReasonChars)
        return msgPadrao->Msg(u"CHT_MOTIVO_CURTO"_s).arg(kMinReasonChars);
    if (texto.size() > kMaxReasonChars)
        return msgPadrao->Msg(u"CHT_MOTIVO_LONGO"_s).arg(kMaxReasonChars);
    return QString();
}

bool TfrmAprovaHoras::PodeEditarDias() const
{
    return netAprovCsa.HoldsAny(kPapelAprovar);
}

void TfrmAprovaHoras::PassoCHT(TChtAction acao)
{
    const TPassoCht* passo = nullptr;
    for (const TPassoCht& p : kPassos)
        if (p.Acao == acao)
            passo = &p;
    Desktop* desktop = Application()->GetDesktop();
    if (!passo || !desktop)
        return;
    const QString cht = cdsCHT.Active() && !cdsCHT.IsEmpty()
                            ? cdsCHT.FieldByName(u"NRSEQUCHT"_s)->AsString()
                            : QString();
    if (cht.isEmpty()) {
        desktop->MessageDlg(msgPadrao->Msg(u"CHT_SEM_CHT"_s), TMsgDlgType::mtInformation, mbOK);
        return;
    }
    // One question: the confirmation, or the reason or invoice to type.
    QString motivo, nota;
    const QString pergunta = msgPadrao->Msg(Texto(passo->Pergunta)).arg(cht);
    if (!passo->Campo) {
        if (desktop->MessageDlg(pergunta, TMsgDlgType::mtConfirmation, mbYes | mbNo) != mrYes)
            return;
    } else {
        // The value is checked in the question, which stays open until
        // it will do.
        QString& valor = qstrcmp(passo->Campo, "CHT_NOTA") == 0 ? nota : motivo;
        const char* campo = passo->Campo;
        if (!desktop->InputQuery(
                pergunta, msgPadrao->Msg(Texto(campo)), valor,
                [this, campo](const QString& v) { return ConfereCampoCHT(campo, v); }))
            return;
        valor = valor.trimmed();
    }
    {
        TBusyAnimation busy;
        CheckResultServ(
            netAprovCsa.AppServer().Call(
                u"SetStatusCHT"_s, {cht,
                                    QString::fromLatin1(ChtStepPolicy(acao).Name.data(),
                                                        qsizetype(ChtStepPolicy(acao).Name.size())),
                                    motivo, nota}),
            true, 0);
    }
    // The list shows the CHT's new situation, and its days lock or open.
    cdsFuncAfterScroll(&cdsFunc);
    cdsCHT.Locate(u"NRSEQUCHT"_s, cht);
    ShowStatus(msgPadrao->Msg(Texto(passo->Feito)).arg(cht));
}

} // namespace aph
