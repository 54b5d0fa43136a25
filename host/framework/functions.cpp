#include "host/framework/functions.h"

#include "host/data/formatsettings.h"
#include "host/data/packetcodec.h"
#include "host/framework/desktop.h"
#include "service/rpcclient.h"

#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace aph {

void MensErro(const QString& text, bool raise)
{
    Desktop* desktop = Application()->GetDesktop();
    if (!desktop) {
        // Nobody to show it to: the message must not be lost.
        if (raise)
            throw Exception(text);
        return;
    }
    desktop->ShowError(text);
    if (raise)
        Abort();
}

std::optional<TDataPacket> CheckResultServ(const QJsonValue& reply, bool raise, int /*context*/)
{
    if (raise)
        return ReplyPacket(reply);
    try {
        return ReplyPacket(reply);
    } catch (const EServerError& refusal) {
        MensErro(refusal.Message(), false);
        return std::nullopt;
    }
}

bool EmptyString(const QString& text)
{
    return text.trimmed().isEmpty();
}

long double StTimeToReal(const QString& text)
{
    const auto digit = [](QChar c) {
        return c.unicode() >= '0' && c.unicode() <= '9';
    };
    const bool shape = text.size() == 5 && (digit(text[0]) || text[0] == u' ') && digit(text[1]) &&
                       text[2] == u':' && digit(text[3]) && digit(text[4]);
    if (!shape)
        throw Exception(u"Hora inválida: '%1'. Informe as horas no formato HH:MM."_s.arg(text));
    const int hours = (text[0] == u' ' ? 0 : text[0].digitValue() * 10) + text[1].digitValue();
    const int minutes = text[3].digitValue() * 10 + text[4].digitValue();
    if (minutes >= 60)
        throw Exception(u"Hora inválida: '%1'. Os minutos vão de 00 a 59."_s.arg(text));
    return static_cast<long double>(hours) + static_cast<long double>(minutes) / 60.0L;
}

QString PictPess(const QString& type)
{
    if (type == u"F")
        return u"000\\.000\\.000\\-00;0;_"_s;
    if (type == u"J")
        return u"00\\.000\\.000\\/0000\\-00;0;_"_s;
    return {};
}

void ActiveShowAvi(TForm* /*mainForm*/, int kind)
{
    Application()->BusyBegin(kind);
}

void DeactiveShowAvi()
{
    Application()->BusyEnd();
}

void ShowStatus(const QString& text)
{
    if (Desktop* desktop = Application()->GetDesktop())
        desktop->ShowStatus(text);
}

void ShowScreenStatus(const QString& text)
{
    if (Desktop* desktop = Application()->GetDesktop())
        desktop->ShowScreenStatus(text);
}

TBusyAnimation::TBusyAnimation(int kind)
{
    ActiveShowAvi(Application()->MainForm(), kind);
}

TBusyAnimation::~TBusyAnimation()
{
    DeactiveShowAvi();
}

THourGlass::THourGlass()
{
    Application()->SetCursor(TCursor::crHourGlass);
}

THourGlass::~THourGlass()
{
    Application()->SetCursor(TCursor::crDefault);
}

} // namespace aph
