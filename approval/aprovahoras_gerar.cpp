// Before "Gerar CHT" bills: what it would bill, from the server, in a
// modal list; after it: the totals of no CHT cleared, and the way to the
// CHTs just generated.
#include "approval/cli_aph31500.h"
#include "approval/previacht.h"
#include "filter/cli_aph31501.h"
#include "host/framework/functions.h"

#include <QJsonArray>
#include <QJsonObject>

#include <memory>

using namespace Qt::StringLiterals;

namespace aph {

void TfrmAprovaHoras::CreatePreviewMessages()
{
    QStringList lines = msgPadrao->Lines();
    lines << QStringList{
        u"PREV_TITULO|CHTs a gerar"_s,
        u"PREV_CONTINUAR|&Continuar"_s,
        u"PREV_MESMO_ASSIM|&Gerar mesmo assim"_s,
        u"PREV_VOLTAR|&Voltar"_s,
        u"PREV_RESUMO|Serão geradas %1 CHT(s) para %2 funcionário(s), com %3 dia(s)."_s,
        u"PREV_COM_PEND|%1 dia(s) nunca aprovado(s) serão faturados pelas horas "
        "trabalhadas."_s,
        u"PREV_SEM_PEND|Todos os dias foram aprovados."_s,
        u"PREV_NADA|Não há CSAs sem CHT na seleção: nenhuma CHT será gerada."_s,
        u"PREV_CLIENTE|Cliente"_s,
        u"PREV_PROPOSTA|Proposta"_s,
        u"PREV_SERVICO|Serviço"_s,
        u"PREV_TIPO|Tipo de serviço"_s,
        u"PREV_CHTS|CHTs"_s,
        u"PREV_DIAS|Dias"_s,
        u"PREV_PEND|Nunca aprovados"_s,
        u"MNU_CHTS_GERADAS|CHTs ge&radas"_s,
        u"CHT_PROXIMO|Ctrl+Shift+V mostra as CHTs geradas."_s,
    };
    msgPadrao->SetLines(lines);
}

void TfrmAprovaHoras::CreateGeneratedChtsMenu()
{
    mnuCHTsGeradas = mnuManutencao->Add<TMenuItem>(u"mnuCHTsGeradas"_s);
    mnuCHTsGeradas->SetCaption(msgPadrao->Msg(u"MNU_CHTS_GERADAS"_s));
    mnuCHTsGeradas->SetShortCut(ShortCut('V', ssCtrl | ssShift));
    mnuCHTsGeradas->SetEnabled(false);
    mnuCHTsGeradas->OnClick = [this](TObject* s) {
        mnuCHTsGeradasClick(s);
    };
}

QJsonArray TfrmAprovaHoras::ArgumentosGeracao() const
{
    // "T" asks for every client, employee or proposal; the lists are sent
    // as they are.
    const QString cliente = Filtro.Cliente.Todos ? u"T"_s : QString();
    const QString funcionario = Filtro.Funcionario.Todos ? u"T"_s : QString();
    const QString proposta = Filtro.Proposta.Todos ? u"T"_s : QString();
    return {Filtro.DtInicial, Filtro.DtFinal,           Operador(),  Filtro.Cliente.Lista,
            cliente,          Filtro.Funcionario.Lista, funcionario, Filtro.Proposta.Lista,
            proposta};
}

bool TfrmAprovaHoras::PreviaCHT()
{
    QJsonValue reply;
    {
        TBusyAnimation busy;
        reply = netAprovCsa.AppServer().Call(u"GetPrevCHT"_s, ArgumentosGeracao());
    }
    // A refused or failed preview stops here, shown by the check.
    const std::optional<TDataPacket> linhas = CheckResultServ(reply, true, 0);
    const QJsonObject previa = reply.toObject().value(u"preview"_s).toObject();
    const TfrmPreviaCHT::TTotais totais{
        previa.value(u"chts"_s).toInt(), previa.value(u"employees"_s).toInt(),
        previa.value(u"csas"_s).toInteger(), previa.value(u"pending"_s).toInteger()};
    if (totais.Chts == 0) {
        if (Desktop* desktop = Application()->GetDesktop())
            desktop->MessageDlg(msgPadrao->Msg(u"PREV_NADA"_s), TMsgDlgType::mtInformation, mbOK);
        ShowStatus(msgPadrao->Msg(u"CHT_NENHUMA"_s));
        return false;
    }
    auto form = std::make_unique<TfrmPreviaCHT>(*msgPadrao);
    form->Carrega(totais, linhas ? *linhas : TDataPacket{});
    // Going back asks nothing and bills nothing.
    return form->ShowModal() == mrOk;
}

void TfrmAprovaHoras::DepoisDaGeracao(int chts)
{
    // A screen left without CHT shows no figures of the one it showed last.
    if (!cdsCHT.Active() || cdsCHT.IsEmpty())
        LimpaTotais();
    if (chts <= 0)
        return;
    m_filtroGerado = Filtro;
    mnuCHTsGeradas->SetEnabled(sbtGerarCHT->Enabled());
    ShowScreenStatus(msgPadrao->Msg(u"CHT_PROXIMO"_s));
}

void TfrmAprovaHoras::LimpaTotais()
{
    for (TLabel* l : {lblTotHoraTrab, lblTotHoraFat, lblTotHoraComis, lblValorHoraAtual,
                      lblVrHoraContratual, lblTotHorasFinal, lblValorHoraFinal})
        l->SetCaption(QString());
    nedVrFaturar->Clear();
}

void TfrmAprovaHoras::mnuCHTsGeradasClick(TObject*)
{
    if (!m_filtroGerado)
        return;
    // The filter of the generation, on the CHTs it made: generated and
    // still pending, the CSAs without CHT left out.
    Filtro = *m_filtroGerado;
    Filtro.ComCHTGerada = true;
    Filtro.SemCHTGerada = false;
    Filtro.CHT_Pendente = true;
    Filtro.CHT_Aprovado = false;
    Filtro.CHT_Faturado = false;
    Filtro.CHT_Nao_Faturar = false;
    if (!frmFiltroCsa)
        frmFiltroCsa = Application()->CreateForm<TfrmFiltroCsa>();
    frmFiltroCsa->chbComCHTGerada->SetChecked(true);
    frmFiltroCsa->chbSemCHTGerada->SetChecked(false);
    frmFiltroCsa->chbCHT_Pendente->SetChecked(true);
    frmFiltroCsa->chbCHT_Aprovado->SetChecked(false);
    frmFiltroCsa->chbCHT_Faturado->SetChecked(false);
    frmFiltroCsa->chbCHT_Nao_Faturar->SetChecked(false);
    frmFiltroCsa->BuildSituationCodes();
    sbtVerificarClick(sbtVerificar);
    dbgPadrao->SetFocus();
}

} // namespace aph
