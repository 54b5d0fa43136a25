#pragma once

#include "server/sessions/session.h"

#include <QByteArray>
#include <QString>

namespace aph {

// The roles as a JSON array of their names: ["consultar","aprovar"].
QByteArray RolesJson(TRoles roles);

// Tells the desktop when its operator's roles changed: a reply to a call
// that read them (every call of a logged-in connection but Ping) gets a
// top-level "roles" member when they differ from what the connection was
// last told (by Login, GetRoles or an earlier notice), so that the screen
// enables and disables at once what the server would now allow.
QByteArray NoticeRoles(const QString& method, QByteArray reply, TSession& session);

} // namespace aph
