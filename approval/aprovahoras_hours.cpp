// Hours are decimal numbers; people read and type them as hours and minutes.
#include "approval/cli_aph31500.h"
#include "host/framework/functions.h"

#include <cmath>

using namespace Qt::StringLiterals;

namespace aph {

QString TfrmAprovaHoras::CalculaTempo(double Tempo) const
{
    // The fraction becomes minutes in extended precision, halves
    // going to the even minute (the default rounding mode).
    long double h = std::trunc(static_cast<long double>(Tempo));
    long double m = std::nearbyint((static_cast<long double>(Tempo) - h) * 60.0L);
    // A fraction that rounds to a whole hour carries.
    if (m >= 60.0L) {
        h += 1.0L;
        m -= 60.0L;
    }
    // "HH:MM": at least two digits for the hours, always two for the minutes.
    QString text;
    if (h < 10)
        text += u'0';
    text += QString::number(static_cast<qlonglong>(h));
    text += u':';
    if (m < 10)
        text += u'0';
    text += QString::number(static_cast<qlonglong>(m));
    return text;
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
