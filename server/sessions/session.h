#pragma once

#include "server/sessions/roles.h"

#include <QString>

namespace aph {

// What a connection knows about who is on the other end.
struct TSession
{
    QString Operator;  // empty until Login
    QString TokenHash; // of the token the operator logged in with
    // What the operator may do, as read at Login and again on every call.
    TRoles Roles = 0;
    // The roles the client was last told (see server/rpc/rolesnotice.h).
    TRoles ToldRoles = 0;
    bool Told = false;
    bool LoggedIn() const { return !Operator.isEmpty(); }
    // Set by a Login call, so that the connection can time its reply and
    // count the failures of the peer's address.
    enum class TLogin
    {
        None,
        Succeeded,
        Failed
    };
    TLogin LoginAttempt = TLogin::None;
    // The operator the last Login named, succeeded or not: failures are
    // counted per operator and address.
    QString LoginOperator;
};

} // namespace aph
