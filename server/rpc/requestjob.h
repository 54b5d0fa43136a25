#pragma once

#include "server/rpc/dispatcher.h"
#include "server/rpc/workerpool.h"
#include "server/sessions/session.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace aph {

// What a request came to: its reply line (empty for a notification), the
// connection's session after it, and how it ended. Called on a worker
// thread.
using TRequestDone = std::function<void(const QByteArray& reply, const TSession& session,
                                        const TRequestOutcome& outcome)>;

// Runs one request line of a connection on the workers. A light worker
// reads it first; a heavy method (kHeavyMethods) then goes to the heavy
// jobs under its owner, the operator of the session (or, without a Login
// where none is needed, the connection's address key), or is refused with
// kHeavyBusy when that owner already has as many as the pool takes. A
// connection that must log in and has not runs its call as a light one:
// it is refused at once.
void SubmitRequest(TWorkerPool& pool, const QByteArray& line, const TSession& session,
                   const QString& owner, TRequestDone done);

// The owner a connection's heavy jobs count under: its operator, or its
// address key before a Login; empty when its calls are refused before
// they run (a Login is needed and there was none).
QString HeavyOwner(const TSession& session, const QString& addressKey, bool requireLogin);

} // namespace aph
