// The CHT step that sends an approved CHT to its client's acceptance: a
// link for the contact's e-mail, made by the server and copied for the
// clerk's mail. For whoever bills, who sends the statements.
#include "approval/cli_aph31500.h"
#include "host/framework/functions.h"
#include "service/policy.h"

#include <QJsonObject>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

constexpr TRoles kPapelAceite = MethodRoles("SetAceiteCHT");

} // namespace

void TfrmAprovaHoras::CreateAceiteMessages()
{
    QStringList lines = msgPadrao->Lines();
    lines << QStringList{
        u"MNU_ACEITE_CHT|Link de aceite do cliente..."_s,
        u"ACEITE_TITULO|Aceite do cliente da CHT %1"_s,
        u"ACEITE_EMAIL|E-mail do contato do cliente:"_s,
        u"ACEITE_EMAIL_INVALIDO|Informe um e-mail, como nome@empresa.com.br."_s,
        u"ACEITE_COPIADO|Link de aceite da CHT %1 para %2 copiado; cole-o no e-mail ao cliente."_s,
    };
    msgPadrao->SetLines(lines);
}

// After the CHT's steps in Manutenção.
void TfrmAprovaHoras::CreateAceiteMenu()
{
    mnuAceiteCHT = mnuManutencao->Add<TMenuItem>(u"mnuAceiteCHT"_s);
    mnuAceiteCHT->SetCaption(msgPadrao->Msg(u"MNU_ACEITE_CHT"_s));
    mnuAceiteCHT->SetShortCut(ShortCut('L', ssCtrl | ssShift));
    mnuAceiteCHT->SetEnabled(false);
    mnuAceiteCHT->OnClick = [this](TObject*) {
        AceiteCHT();
    };
}

// Only an approved CHT goes to its client, and not while a day is edited.
void TfrmAprovaHoras::HabilitaAceiteCHT()
{
    if (!mnuAceiteCHT)
        return;
    const bool livre = cdsAuxCSA.State() != TDataSetState::dsEdit;
    const bool aprovada = cdsCHT.Active() && !cdsCHT.IsEmpty() &&
                          cdsCHT.FieldByName(u"IDSTATUSCHT"_s)->AsString() == u"A";
    mnuAceiteCHT->SetEnabled(livre && aprovada && netAprovCsa.HoldsAny(kPapelAceite));
}

void TfrmAprovaHoras::AceiteCHT()
{
    Desktop* desktop = Application()->GetDesktop();
    if (!desktop || !cdsCHT.Active() || cdsCHT.IsEmpty())
        return;
    const QString cht = cdsCHT.FieldByName(u"NRSEQUCHT"_s)->AsString();
    QString email;
    static const QRegularExpression shape(u"^[^@\\s]+@[^@\\s]+\\.[^@\\s]+$"_s);
    if (!desktop->InputQuery(msgPadrao->Msg(u"ACEITE_TITULO"_s).arg(cht),
                             msgPadrao->Msg(u"ACEITE_EMAIL"_s), email, [this](const QString& v) {
                                 return shape.match(v.trimmed()).hasMatch()
                                            ? QString()
                                            : msgPadrao->Msg(u"ACEITE_EMAIL_INVALIDO"_s);
                             }))
        return;
    email = email.trimmed();
    QJsonValue reply;
    {
        TBusyAnimation busy;
        reply = netAprovCsa.AppServer().Call(u"SetAceiteCHT"_s, {cht, email});
        CheckResultServ(reply, true, 0);
    }
    desktop->CopyToClipboard(reply.toObject().value(u"link"_s).toString());
    ShowStatus(msgPadrao->Msg(u"ACEITE_COPIADO"_s).arg(cht, email));
}

} // namespace aph
