// A CHT's life after its generation, from Manutenção: approve it, reopen
// it with a reason, mark it billed with its invoice, undo the billing with
// a reason. And what the operator's roles leave enabled: a command the
// server would refuse this operator is disabled, so that nobody meets a
// refusal they could have been spared.
#include "approval/cli_aph31500.h"
#include "filter/cli_aph31501.h"
#include "host/framework/functions.h"
#include "service/codewords.h"
#include "service/policy.h"

#include <QJsonObject>

#include <exception>

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
        u"CHT_SITUACAO|Situação: %1 → %2."_s,
        u"CHT_MANTIDA|Ela fica na lista até o próximo filtro, que não mostra essa situação."_s,
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
    // A command disabled for want of a role says which, and one granted
    // meanwhile counts at once: the server's word on the roles re-enables
    // the screen whenever it comes.
    OnDisabledShortCut = [this](TControl* target) {
        ComandoSemPapel(target);
    };
    netAprovCsa.OnRolesChanged = [this](TObject*) {
        dtsPadraoStateChange(dtsPadrao);
    };
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
    // Each says, while disabled, which role it lacks.
    const QString semAprovar = aprova ? QString() : RoleMissingText(kPapelAprovar);
    const QString semGerar = gera ? QString() : RoleMissingText(kPapelGerar);
    for (TControl* c :
         std::initializer_list<TControl*>{sbtAlterar, mnuAlterar, mnuAprovarPendentes})
        c->SetDisabledHint(semAprovar);
    for (TControl* c : std::initializer_list<TControl*>{sbtGerarCHT, mnuGerarCHT})
        c->SetDisabledHint(semGerar);
    HabilitaPassosCHT();
    HabilitaAceiteCHT();
}

void TfrmAprovaHoras::ComandoSemPapel(TControl* comando)
{
    // The server may have granted the role since the screen last heard.
    if (netAprovCsa.RefreshRoles() && comando->EffectivelyEnabled()) {
        comando->Click();
        return;
    }
    if (!comando->EffectivelyEnabled() && !comando->DisabledHint().isEmpty())
        ShowStatus(comando->DisabledHint());
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
        const bool papel = netAprovCsa.HoldsAny(RoleBit(politica.Role));
        mnuPassosCHT[i]->SetEnabled(livre && situacao == QChar::fromLatin1(politica.From) && papel);
        mnuPassosCHT[i]->SetDisabledHint(papel ? QString()
                                               : RoleMissingText(RoleBit(politica.Role)));
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

bool TfrmAprovaHoras::PodeEditarDias()
{
    if (netAprovCsa.HoldsAny(kPapelAprovar))
        return true;
    // Typing into a day is the action: the role may have come meanwhile.
    if (netAprovCsa.RefreshRoles() && netAprovCsa.HoldsAny(kPapelAprovar))
        return true;
    ShowStatus(RoleMissingText(kPapelAprovar));
    return false;
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
    const QString pergunta = msgPadrao->Msg(Texto(passo->Pergunta)).arg(cht);
    if (!passo->Campo) {
        if (desktop->MessageDlg(pergunta, TMsgDlgType::mtConfirmation, mbYes | mbNo) != mrYes)
            return;
        EnviaPassoCHT(cht, acao, QString(), QString());
    } else {
        // The value is checked in the question, and the step sent from
        // it: a value the server refuses (an invoice already on another
        // CHT) keeps the question open with the text as typed.
        const bool nota = qstrcmp(passo->Campo, "CHT_NOTA") == 0;
        const char* campo = passo->Campo;
        std::exception_ptr falha;
        QString valor;
        bool enviado = false;
        const auto envia = [&](const QString& v) {
            EnviaPassoCHT(cht, acao, nota ? QString() : v.trimmed(),
                          nota ? v.trimmed() : QString());
            enviado = true;
        };
        const auto confere = [&](const QString& v) -> QString {
            if (const QString errado = ConfereCampoCHT(campo, v); !errado.isEmpty())
                return errado;
            try {
                envia(v);
            } catch (const ERpcError&) {
                falha = std::current_exception(); // a fault, not the value's
            } catch (const EServerError& recusa) {
                return recusa.Message();
            } catch (...) {
                falha = std::current_exception();
            }
            return QString();
        };
        if (!desktop->InputQuery(pergunta, msgPadrao->Msg(Texto(campo)), valor, confere))
            return;
        if (falha)
            std::rethrow_exception(falha);
        // A question closed without its check (none on this desktop).
        if (!enviado && ConfereCampoCHT(campo, valor).isEmpty())
            envia(valor);
        if (!enviado)
            return;
    }
    DepoisDoPassoCHT(cht, ChtStepPolicy(acao), passo->Feito);
}

void TfrmAprovaHoras::EnviaPassoCHT(const QString& cht, TChtAction acao, const QString& motivo,
                                    const QString& nota)
{
    TBusyAnimation busy;
    const std::string_view nome = ChtStepPolicy(acao).Name;
    CheckResultServ(
        netAprovCsa.AppServer().Call(
            u"SetStatusCHT"_s,
            {cht, QString::fromLatin1(nome.data(), qsizetype(nome.size())), motivo, nota}),
        true, 0);
}

void TfrmAprovaHoras::DepoisDoPassoCHT(const QString& cht, const TChtStepPolicy& passo,
                                       const char* feito)
{
    // The CHT stays on its list in its new situation: the situations the
    // lists load are widened to it, until the next filter rebuilds them
    // from its boxes (which keep what the operator ticked).
    const QString nova = u"_"_s + QChar::fromLatin1(passo.To);
    QString* situacoes = frmFiltroCsa ? &frmFiltroCsa->stSituacaoCHT : nullptr;
    const bool alarga = situacoes && *situacoes != u"T" && !situacoes->contains(nova);
    if (alarga)
        *situacoes += nova;
    // The list shows the CHT's new situation, and its days lock or open.
    cdsFuncAfterScroll(&cdsFunc);
    cdsCHT.Locate(u"NRSEQUCHT"_s, cht);
    QString texto = msgPadrao->Msg(Texto(feito)).arg(cht) + u' ' +
                    msgPadrao->Msg(u"CHT_SITUACAO"_s)
                        .arg(ChtSituationWord(QString(QChar::fromLatin1(passo.From))),
                             ChtSituationWord(QString(QChar::fromLatin1(passo.To))));
    if (alarga)
        texto += u' ' + msgPadrao->Msg(u"CHT_MANTIDA"_s);
    ShowStatus(texto);
}

} // namespace aph
