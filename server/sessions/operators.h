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

// A new active operator, with the default roles; refuses a code already taken, a code or name
// that does not fit, and an employee that does not exist.
void AddOperator(TStorage& storage, const QString& code, const QString& name,
                 const QString& employee);
// Makes an operator active or inactive. An inactive operator's sessions
// end at their next call, and no Login or token is given to them.
void SetOperatorActive(TStorage& storage, const QString& code, bool active);
// Every operator, by code.
QList<TOperatorInfo> ListOperators(TStorage& storage);

} // namespace aph
