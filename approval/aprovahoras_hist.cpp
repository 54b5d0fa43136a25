// The history of the current day and the statement of the current CHT.
#include "approval/cli_aph31500.h"
#include "approval/historicodia.h"
#include "host/framework/functions.h"

#include <QDir>
#include <QJsonObject>
#include <QMultiHash>
#include <QSaveFile>

#include <memory>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

QString Str(const TClientDataSet& ds, const char* field)
{
    return ds.FieldByName(QString::fromUtf8(field))->AsString();
}

} // namespace

void TfrmAprovaHoras::CreateHistoryMessages()
{
    QStringList lines = msgPadrao->Lines();
    lines << QStringList{
        u"HIST_TITULO|Histórico do dia %1"_s,
        u"HIST_FECHAR|&Fechar"_s,
        u"HIST_DATA|Data/hora"_s,
        u"HIST_OPERADOR|Operador"_s,
        u"HIST_EVENTO|Evento"_s,
        u"HIST_EV_A|Aprovação alterada"_s,
        u"HIST_EV_G|CHT gerada"_s,
        u"HIST_EV_S|Situação da CHT"_s,
        u"HIST_EV_K|Aceita pelo cliente"_s,
        u"HIST_EV_C|Contestado pelo cliente"_s,
        u"HIST_FAT_ANT|Faturar antes"_s,
        u"HIST_FAT|Faturar depois"_s,
        u"HIST_COM_ANT|Comissão antes"_s,
        u"HIST_COM|Comissão depois"_s,
        u"HIST_OCO_ANT|Ocorrência antes"_s,
        u"HIST_OCO|Ocorrência depois"_s,
        u"HIST_CHT|CHT"_s,
        u"HIST_SIT_ANT|Situação antes"_s,
        u"HIST_SIT|Situação depois"_s,
        u"HIST_TITULO_DIA|Histórico do dia %1 — %2 — %3"_s,
        u"DEM_TITULO|Demonstrativo da CHT %1"_s,
        u"DEM_FILTRO|Demonstrativo em PDF (*.pdf);;Planilha CSV (*.csv)"_s,
        u"DEM_SEM_CHT|Escolha uma CHT gerada para ter o seu demonstrativo."_s,
        u"DEM_SEM_ARQUIVO|O servidor não enviou o arquivo do demonstrativo."_s,
        u"DEM_GRAVAR|Não foi possível gravar o arquivo \"%1\"."_s,
        u"DEM_SALVO|Demonstrativo da CHT %1 salvo em %2"_s,
        u"DEM_VERSAO|Demonstrativo da CHT %1: qual versão?"_s,
        u"DEM_V_CLIENTE|Para o cliente (horas faturadas e valor)"_s,
        u"DEM_V_INTERNO|Interno (com comissão, ocorrências e situação)"_s,
    };
    msgPadrao->SetLines(lines);
}

std::function<QString(const QString&)> TfrmAprovaHoras::OccurrenceNames(const QString& dayGroup)
{
    // The history keeps the code alone, and a code lives in several groups:
    // the day's own group first, else the only group that has it.
    qryOcorr.Close();
    qryOcorr.Open();
    QMultiHash<QString, std::pair<QString, QString>> byCode; // code: (group, description)
    for (qryOcorr.First(); !qryOcorr.Eof(); qryOcorr.Next())
        byCode.insert(Str(qryOcorr, "CDOCORR"),
                      {Str(qryOcorr, "CDGRPOCOR"), Str(qryOcorr, "DSOCORR")});
    return [byCode, dayGroup](const QString& code) {
        const QList<std::pair<QString, QString>> groups = byCode.values(code);
        for (const auto& [group, text] : groups)
            if (group == dayGroup || groups.size() == 1)
                return u"%1/%2 – %3"_s.arg(group, code, text);
        return code;
    };
}

void TfrmAprovaHoras::mnuHistoricoDiaClick(TObject*)
{
    // The day under the cursor in the days' grid.
    if (!cdsAuxCSA.Active() || cdsAuxCSA.IsEmpty() || !cdsServPrest.Active() || !cdsFunc.Active() ||
        cdsFunc.IsEmpty())
        return;
    const TDateTime dia = cdsAuxCSA.FieldByName(u"DTSERVPREST"_s)->AsDateTime();
    std::optional<TDataPacket> packet;
    {
        TBusyAnimation busy;
        const QJsonValue reply = netAprovCsa.AppServer().Call(
            u"GetHistCSA"_s, {Str(cdsServPrest, "NRPROPOSFAS"), Str(cdsServPrest, "NRVERPROPFAS"),
                              Str(cdsServPrest, "NRSERVCONT"), Str(cdsFunc, "CDFUNC"), dia});
        packet = CheckResultServ(reply, true, 0);
    }
    auto form = std::make_unique<TfrmHistoricoDia>(
        *msgPadrao, [this](double horas) { return CalculaTempo(horas); });
    // The title names the day, whose it is and where it was worked.
    form->SetCaption(
        msgPadrao->Msg(u"HIST_TITULO_DIA"_s)
            .arg(FormatDateTime(u"dd/mm/yyyy"_s, dia),
                 Str(cdsFunc, "CDFUNC") + u' ' + Str(cdsFunc, "NMFUNC"),
                 Str(cdsServPrest, "NMFANTCLIE") + u" / "_s + Str(cdsServPrest, "NMTIPOSERV")));
    form->SetOccurrenceText(OccurrenceNames(Str(cdsAuxCSA, "CDGRPOCOR")));
    if (packet)
        form->Carrega(*packet);
    form->ShowModal();
}

void TfrmAprovaHoras::mnuDemonstrativoCHTClick(TObject*)
{
    const QString cht = cdsCHT.Active() && !cdsCHT.IsEmpty() ? Str(cdsCHT, "NRSEQUCHT") : QString();
    Desktop* desktop = Application()->GetDesktop();
    if (!desktop)
        return;
    if (cht.isEmpty()) {
        desktop->MessageDlg(msgPadrao->Msg(u"DEM_SEM_CHT"_s), TMsgDlgType::mtInformation, mbOK);
        return;
    }
    // Which version, the client's first so that Enter takes it; then the
    // file, and by its type PDF or CSV.
    int versao = 0;
    if (!desktop->PickString(
            msgPadrao->Msg(u"DEM_VERSAO"_s).arg(cht),
            {msgPadrao->Msg(u"DEM_V_CLIENTE"_s), msgPadrao->Msg(u"DEM_V_INTERNO"_s)}, versao))
        return;
    const QString para = versao == 1 ? u"interno"_s : u"cliente"_s;
    // The client's version of a CHT not approved yet is a preview, and its
    // name says so, as the server's mark on its pages does.
    const QString situacao = Str(cdsCHT, "IDSTATUSCHT");
    const bool previa = versao != 1 && situacao != u"A" && situacao != u"R";
    QString path = u"CHT-%1-%2%3.pdf"_s.arg(cht, para, previa ? u"-previa"_s : QString());
    if (!desktop->SaveFileName(msgPadrao->Msg(u"DEM_TITULO"_s).arg(cht),
                               msgPadrao->Msg(u"DEM_FILTRO"_s), path))
        return;
    const QString formato = path.endsWith(u".csv", Qt::CaseInsensitive) ? u"csv"_s : u"pdf"_s;
    QByteArray conteudo;
    {
        TBusyAnimation busy;
        const QJsonValue reply = netAprovCsa.AppServer().Call(u"GetDemCHT"_s, {cht, formato, para});
        CheckResultServ(reply, true, 0);
        const QJsonValue base64 = reply.toObject().value(u"file").toObject().value(u"base64");
        if (!base64.isString())
            throw EServerError(msgPadrao->Msg(u"DEM_SEM_ARQUIVO"_s));
        conteudo = QByteArray::fromBase64(base64.toString().toLatin1());
    }
    // Written whole or not at all: a failure leaves an existing file as it was.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(conteudo) != conteudo.size() ||
        !file.commit())
        throw Exception(msgPadrao->Msg(u"DEM_GRAVAR"_s).arg(QDir::toNativeSeparators(path)));
    ShowStatus(msgPadrao->Msg(u"DEM_SALVO"_s).arg(cht, QDir::toNativeSeparators(path)));
}

} // namespace aph
