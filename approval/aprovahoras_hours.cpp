// Hours are decimal numbers; people read and type them as hours and minutes.
#include "approval/cli_aph31500.h"
#include "host/data/hourtext.h"
#include "host/framework/functions.h"

using namespace Qt::StringLiterals;

namespace aph {

QString TfrmAprovaHoras::CalculaTempo(double Tempo) const
{
    // One writing of hours for the screen and the server's statements.
    return HoursText(Tempo);
}

void TfrmAprovaHoras::cdsAuxCSAQTHRTRABGetText(TField* Sender, QString& Text, bool)
{
    if (!Sender->IsNull())
        Text = CalculaTempo(Sender->AsFloat());
}

void TfrmAprovaHoras::cdsAuxCSAQTHRAPROFATUGetText(TField* Sender, QString& Text, bool)
{
    // An empty approval stands for the hours worked; a gap day shows nothing.
    const TField* trab = cdsAuxCSA.FieldByName(u"QTHRTRAB"_s);
    if (trab->IsNull())
        return;
    Text = CalculaTempo(Sender->IsNull() ? trab->AsFloat() : Sender->AsFloat());
}

void TfrmAprovaHoras::cdsAuxCSAQTHRAPRCOMISGetText(TField* Sender, QString& Text, bool)
{
    const TField* trab = cdsAuxCSA.FieldByName(u"QTHRTRAB"_s);
    if (trab->IsNull())
        return;
    Text = CalculaTempo(Sender->IsNull() ? trab->AsFloat() : Sender->AsFloat());
}

void TfrmAprovaHoras::cdsAuxCSAQTHRAPROFATUSetText(TField* Sender, const QString& Text)
{
    Sender->SetAsFloat(static_cast<double>(StTimeToReal(Text)));
}

void TfrmAprovaHoras::cdsAuxCSAQTHRAPRCOMISSetText(TField* Sender, const QString& Text)
{
    Sender->SetAsFloat(static_cast<double>(StTimeToReal(Text)));
}

void TfrmAprovaHoras::cdsAuxCSADTSERVPRESTGetText(TField* Sender, QString& Text, bool)
{
    if (!Sender->IsNull())
        Text = FormatDateTime(u"ddddd ddd"_s, Sender->AsDateTime());
}

void TfrmAprovaHoras::cdsAuxCSAINCLUSAOGetText(TField* Sender, QString& Text, bool)
{
    const QString stored = Sender->AsString();
    Text = stored == u" " ? QString() : stored;
}

} // namespace aph
