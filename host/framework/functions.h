#pragma once

#include "host/data/datapacket.h"
#include "host/data/exceptions.h"
#include "host/data/formatsettings.h"
#include "host/ui/form.h"

#include <QJsonValue>
#include <QString>

#include <optional>

namespace aph {

// Shows an error; with raise, then stops the operation in progress with
// the silent abort (the caller never continues).
void MensErro(const QString& text, bool raise);

// Unwraps a service reply {"ok":true,"data":...}: the data packet, or none
// when the reply carries no data. A reply that reports a failure raises an
// EServerError with the server's message, which the host's error display
// shows once; with raise false it is shown here and no packet is returned.
std::optional<TDataPacket> CheckResultServ(const QJsonValue& reply, bool raise, int context);

// Empty or blank.
bool EmptyString(const QString& text);

// "HH:MM", or a blank and "H:MM", to hours + minutes / 60 in extended
// precision. Minutes of 60 or more and any other text are refused with a
// message that says so, rather than carried into the hour.
long double StTimeToReal(const QString& text);

// The edit mask of a registration type: "F" natural person (CPF), "J"
// company (CNPJ); empty for any other type.
QString PictPess(const QString& type);

// The busy animation over the main form; calls nest.
void ActiveShowAvi(TForm* mainForm, int kind);
void DeactiveShowAvi();

// A line in the host's status bar saying what an operation did.
void ShowStatus(const QString& text);
// A note in the host's status bar about what the screen shows; empty clears.
void ShowScreenStatus(const QString& text);

// The busy animation over the main form for the scope: it ends however the
// work ends.
class TBusyAnimation
{
public:
    explicit TBusyAnimation(int kind = 1);
    TBusyAnimation(const TBusyAnimation&) = delete;
    TBusyAnimation& operator=(const TBusyAnimation&) = delete;
    ~TBusyAnimation();
};

// The hourglass for the scope; the default cursor comes back on the way out,
// however the work ends.
class THourGlass
{
public:
    THourGlass();
    THourGlass(const THourGlass&) = delete;
    THourGlass& operator=(const THourGlass&) = delete;
    ~THourGlass();
};

} // namespace aph
