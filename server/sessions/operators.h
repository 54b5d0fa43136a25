#pragma once

#include "server/sessions/roles.h"

#include <QList>
#include <QString>

namespace aph {

class TStorage;

// The operators who may log in, as the administrator keeps them.
struct TOperatorInfo
{
    QString Code, Name, Employee; // Employee: CDFUNC, empty without one
    bool Active = false;
    int ValidTokens = 0;
    TRoles Roles = 0;
};

// An operator code as typed for a new operator: 1 to 12 ASCII letters
// and digits, returned in upper case; throws Exception with the rule for
// anything else (a space, an accent, a Cyrillic letter that looks Latin).
QString OperatorCode(const QString& typed);
// The code of the operator an administrator names, compared without
// case (an exact match first, for codes kept before the rule that differ
// only in case); typed as it is when there is none.
QString StoredOperatorCode(TStorage& storage, const QString& typed);

// A new active operator, with the default roles; returns its code (see
// OperatorCode). Refuses a code already taken in any case, a code or a
// name that does not fit (a name with hidden characters among them, see
// hiddentext.h), and an employee that does not exist.
QString AddOperator(TStorage& storage, const QString& code, const QString& name,
                    const QString& employee);
// Makes an operator active or inactive. An inactive operator's sessions
// end at their next call, and no Login or token is given to them.
void SetOperatorActive(TStorage& storage, const QString& code, bool active);
// Every operator, by code.
QList<TOperatorInfo> ListOperators(TStorage& storage);

} // namespace aph
