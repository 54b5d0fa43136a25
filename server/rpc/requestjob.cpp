#include "server/rpc/requestjob.h"

#include "service/rpccodes.h"

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// Runs the line on the worker's dispatcher, or answers that no worker can
// when the database could not be opened.
void RunLine(TDispatcher* dispatcher, const QString& failure, const QByteArray& line,
             TSession session, const TRequestDone& done)
{
    TRequestOutcome outcome;
    QByteArray reply;
    if (dispatcher) {
        reply = dispatcher->Handle(line, session);
        outcome = dispatcher->LastOutcome();
    } else {
        reply = TDispatcher::Unanswerable(line, rpc::kDatabaseError, failure);
        outcome.Code = rpc::kDatabaseError;
    }
    done(reply, session, outcome);
}

QString HeavyBusyMessage(const TSession& session)
{
    const QString who =
        session.LoggedIn() ? u"O operador \"%1\""_s.arg(session.Operator) : u"Esta origem"_s;
    return u"%1 já tem %2 consultas demoradas (serviços do período, pendências, prévia de CHT "
           "ou demonstrativo) em andamento ou na fila, o máximo que o servidor aceita de cada "
           "operador. Aguarde o resultado delas e tente de novo."_s.arg(who)
               .arg(TWorkerPool::kHeavyPerOwner);
}

} // namespace

QString HeavyOwner(const TSession& session, const QString& addressKey, bool requireLogin)
{
    if (session.LoggedIn())
        return u"operador:"_s + session.Operator;
    return requireLogin ? QString() : u"origem:"_s + addressKey;
}

void SubmitRequest(TWorkerPool& pool, const QByteArray& line, const TSession& session,
                   const QString& owner, TRequestDone done)
{
    pool.Submit(
        [&pool, line, session, owner, done](TDispatcher* dispatcher, const QString& failure) {
            const QString heavy = owner.isEmpty() ? QString() : TDispatcher::HeavyMethodOf(line);
            if (!dispatcher || heavy.isEmpty()) {
                RunLine(dispatcher, failure, line, session, done);
                return;
            }
            // The same line again, now among the heavy jobs.
            const bool queued = pool.SubmitHeavy(
                [line, session, done](TDispatcher* d, const QString& f) {
                    RunLine(d, f, line, session, done);
                },
                owner);
            if (queued)
                return;
            TRequestOutcome outcome;
            outcome.Method = heavy;
            outcome.Code = rpc::kHeavyBusy;
            done(TDispatcher::Unanswerable(line, rpc::kHeavyBusy, HeavyBusyMessage(session)),
                 session, outcome);
        });
}

} // namespace aph
