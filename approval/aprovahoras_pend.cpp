// "Pendências": every day of the filter that needs a person before
// billing, in a modal list; Enter on a line takes the screen to its
// service, employee, CHT and day.
#include "approval/cli_aph31500.h"
#include "approval/pendencias.h"
#include "filter/cli_aph31501.h"
#include "host/framework/functions.h"

#include <QJsonObject>

#include <memory>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// The index of the first row that the test accepts, read without moving
// the cursor (moving it would load the levels below); -1 for none.
template <class F> int Procura(const TClientDataSet& ds, F&& aceita)
{
    if (!ds.Active())
        return -1;
    for (int i = 0; i < ds.RecordCount(); ++i) {
        TClientDataSet::ActiveRecordScope row(ds, i);
        if (aceita())
            return i;
    }
    return -1;
}

bool Iguais(const TClientDataSet& ds, const TClientDataSet& pend,
            std::initializer_list<const char*> fields)
{
    for (const char* name : fields) {
        const QString field = QString::fromLatin1(name);
        if (ds.FieldByName(field)->AsString() != pend.FieldByName(field)->AsString())
            return false;
    }
    return true;
}

// Makes the row current: its level below loads as a click on it would.
bool VaiPara(TClientDataSet& ds, int index)
{
    if (index < 0)
        return false;
    if (ds.CurrentIndex() != index)
        ds.SetRecNo(index + 1);
    return true;
}

// The values a line must share with the current row of a dataset.
TfrmPendencias::TProprias MesmasChaves(const TClientDataSet& ds,
                                       std::initializer_list<const char*> fields)
{
    if (!ds.Active() || ds.IsEmpty())
        return {};
    std::vector<std::pair<QString, QString>> chaves;
    for (const char* name : fields) {
        const QString field = QString::fromLatin1(name);
        chaves.emplace_back(field, ds.FieldByName(field)->AsString());
    }
    return [chaves](const TDataPacket& packet, const TRowValues& row) {
        for (const auto& [field, value] : chaves) {
            const int at = packet.FieldIndex(field);
            if (at < 0 || row[static_cast<std::size_t>(at)].ToString() != value)
                return false;
        }
        return true;
    };
}

} // namespace

void TfrmAprovaHoras::CreateOutstandingDaysMessages()
{
    QStringList lines = msgPadrao->Lines();
    lines << QStringList{
        u"MNU_PENDENCIAS|Pe&ndências..."_s,
        u"PEND_TITULO|Pendências do filtro"_s,
        u"PEND_NENHUMA|Nenhuma pendência nos dias do filtro: nada espera alguém antes do "
        "faturamento."_s,
        u"PEND_TOTAL|%1 pendência(s). Enter leva ao dia."_s,
        u"PEND_MAIS|As primeiras %1 pendências; há mais %2. Restrinja o filtro para vê-las."_s,
        u"PEND_IR|&Ir ao dia"_s,
        u"PEND_FECHAR|&Fechar"_s,
        u"PEND_TODAS|&Todas as pendências do filtro"_s,
        u"PEND_CLIENTE|Cliente / serviço"_s,
        u"PEND_FUNC|Funcionário"_s,
        u"PEND_CHT|CHT"_s,
        u"PEND_DIA|Dia"_s,
        u"PEND_TIPO|Pendência"_s,
        u"PEND_SEM_CHT|sem CHT"_s,
        u"PEND_TIPO_E|Aprovação pendente em dia de hora extra"_s,
        u"PEND_TIPO_O|Comissão diferente das horas trabalhadas, sem ocorrência"_s,
        u"PEND_TIPO_F|Valor fixo: horas faturadas passam das %1 contratadas"_s,
        u"PEND_TIPO_C|Contestado pelo cliente: %1"_s,
        u"PEND_FORA|O dia %1 não está entre os mostrados na tela; refaça o filtro."_s,
    };
    msgPadrao->SetLines(lines);
}

void TfrmAprovaHoras::CreateOutstandingDaysMenu()
{
    mnuPendencias = mnuManutencao->Add<TMenuItem>(u"mnuPendencias"_s);
    mnuPendencias->SetCaption(msgPadrao->Msg(u"MNU_PENDENCIAS"_s));
    mnuPendencias->SetShortCut(ShortCut('P', ssCtrl | ssShift));
    mnuPendencias->SetEnabled(false);
    mnuPendencias->OnClick = [this](TObject* s) {
        mnuPendenciasClick(s);
    };
}

void TfrmAprovaHoras::mnuPendenciasClick(TObject*)
{
    Desktop* desktop = Application()->GetDesktop();
    if (!frmFiltroCsa || !desktop)
        return;
    std::optional<TDataPacket> packet;
    qint64 more = 0;
    {
        // The filter as the services on screen were loaded with.
        TBusyAnimation busy;
        const TfrmFiltroCsa& f = *frmFiltroCsa;
        const QJsonValue reply = netAprovCsa.AppServer().Call(
            u"GetPendencias"_s, {Filtro.DtInicial, Filtro.DtFinal, f.stCliente, f.stFuncionario,
                                 f.stProposta, f.stSituacaoCSA, Operador(), f.stSituacaoCHT});
        packet = CheckResultServ(reply, true, 0);
        more = reply.toObject().value(u"more").toInteger();
    }
    if (!packet || packet->Rows.empty()) {
        desktop->MessageDlg(msgPadrao->Msg(u"PEND_NENHUMA"_s), TMsgDlgType::mtInformation, mbOK);
        return;
    }
    auto form = std::make_unique<TfrmPendencias>(
        *msgPadrao, [this](double horas) { return CalculaTempo(horas); });
    form->Carrega(*packet, more, ProprioDaPendencia());
    if (form->ShowModal() != mrOk || form->cdsPend.IsEmpty())
        return;
    if (!VaiParaPendencia(form->cdsPend))
        desktop->MessageDlg(
            msgPadrao->Msg(u"PEND_FORA"_s)
                .arg(FormatDateTime(u"dd/mm/yyyy"_s,
                                    form->cdsPend.FieldByName(u"DTSERVPREST"_s)->AsDateTime())),
            TMsgDlgType::mtInformation, mbOK);
}

std::function<bool(const TDataPacket&, const TRowValues&)>
TfrmAprovaHoras::ProprioDaPendencia() const
{
    // From the services' grid, the current service; from the employees',
    // the CHTs' or the days' grid, the current employee.
    if (ActiveControl() == dbgPadrao)
        return MesmasChaves(cdsServPrest,
                            {"CDCLIENTE", "NRPROPOSFAS", "NRVERPROPFAS", "NRSERVCONT"});
    if (ActiveControl() == dbgFuncionario || ActiveControl() == dbgCHT || ActiveControl() == dbgCSA)
        return MesmasChaves(cdsFunc, {"CDFUNC", "CDEMPRESA"});
    return {};
}

bool TfrmAprovaHoras::VaiParaPendencia(const TClientDataSet& pend)
{
    // Down the drill-down: service, employee, CHT (the row of the CSAs
    // without CHT has no number), then the day.
    if (!VaiPara(cdsServPrest, Procura(cdsServPrest, [&] {
                     return Iguais(cdsServPrest, pend,
                                   {"CDCLIENTE", "NRPROPOSFAS", "NRVERPROPFAS", "NRSERVCONT"});
                 })))
        return false;
    if (!VaiPara(cdsFunc, Procura(cdsFunc, [&] {
                     return Iguais(cdsFunc, pend, {"CDFUNC", "CDEMPRESA"});
                 })))
        return false;
    if (!VaiPara(cdsCHT, Procura(cdsCHT, [&] { return Iguais(cdsCHT, pend, {"NRSEQUCHT"}); })))
        return false;
    const TDateTime dia = pend.FieldByName(u"DTSERVPREST"_s)->AsDateTime();
    const TField* data = cdsAuxCSA.Active() ? cdsAuxCSA.FieldByName(u"DTSERVPREST"_s) : nullptr;
    if (!VaiPara(cdsAuxCSA, Procura(cdsAuxCSA, [&] { return data->AsDateTime() == dia; })))
        return false;
    // The cursor on the cell the kind asks about: the occurrence when the
    // commission differs, the billed hours otherwise.
    dbgCSA->SetFocus();
    const bool ocorrencia = pend.FieldByName(u"IDPENDENCIA"_s)->AsString() == u"O";
    dbgCSA->SetSelectedField(cdsAuxCSA.FieldByName(ocorrencia ? u"DSOCORR"_s : u"QTHRAPROFATU"_s));
    return true;
}

} // namespace aph
