#pragma once

#include "server/sessions/session.h"
#include "service/rpccodes.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace aph {

class TStorage;
class TApprovalService;
class TAuditTrail;

// How a request ended, for the server's request log.
struct TRequestOutcome
{
    QByteArray Id;        // as the client wrote it ("null" when it gave none)
    QString Method;       // as the client named it (empty when unreadable)
    int Code = 0;         // the JSON-RPC error code; 0 when answered
    bool Refused = false; // answered with a refusal ({"ok":false,...})
};

// Turns one request line into one reply line. One dispatcher per worker
// thread, on that thread's storage; it keeps no state of its own: the
// session belongs to the connection and is passed in.
class TDispatcher
{
public:
    // The reads' audit records go to the audit trail (the server's audit
    // log); without one, to the storage itself, before the reply.
    // With separateDuties, whoever changed a CHT's approvals may not
    // approve it (SetStatusCHT). With requireAcceptance, a CHT is billed
    // only once its client accepted it.
    // urlBase: the client's pages as the acceptance links begin (serve's
    // url-base); empty: SetAceiteCHT is refused.
    TDispatcher(TStorage& storage, bool requireLogin, TAuditTrail* audit = nullptr,
                bool separateDuties = false, bool requireAcceptance = false,
                const QString& urlBase = {});
    ~TDispatcher();

    // The reply line without its "\n"; empty for a notification.
    QByteArray Handle(const QByteArray& line, TSession& session);
    // How the last request handled here ended.
    const TRequestOutcome& LastOutcome() const { return m_last; }
    // The server's own upkeep between requests: deletes at most batch
    // request keys past their days; how many it deleted.
    int PurgeRequestKeys(int batch);

    // An error reply to a request whose id is unknown or absent.
    static QByteArray ErrorLine(const QJsonValue& id, int code, const QString& message);
    // An error reply with the id as JSON text.
    static QByteArray ErrorLine(const QByteArray& id, int code, const QString& message);
    // The reply to a request that no worker can run (the database cannot
    // be opened): the error for its id, nothing for a notification, and
    // the usual reply to a line that is no request.
    static QByteArray Unanswerable(const QByteArray& line, int code, const QString& message);
    // The method of a request line when it is a heavy one (kHeavyMethods),
    // read as the JSON parser reads it (an escaped name too); empty for
    // any other line.
    static QString HeavyMethodOf(const QByteArray& line);

private:
    // A request line read as far as the reply needs: a reply of its own
    // when it is no valid request.
    struct TEnvelope
    {
        QByteArray Reply;
        QJsonObject Request;
        QByteArray Id;
        bool Notification = false;
        bool ParamsBadText = false;
        int Code = 0; // of Reply
    };
    static TEnvelope ReadEnvelope(const QByteArray& line);
    static inline const QByteArray kNullId{"null"};

    struct TCall;
    using THandler = QByteArray (TDispatcher::*)(TCall&);
    // How a method's refusals (ERefusal) reach the client.
    enum class TRefusals
    {
        AsResult, // {"ok":false,"message":..} as the result, which the screens check
        AsError   // an invalid-params error: the method's result has no such wrapper
    };
    struct TMethod
    {
        const char* Name;
        THandler Handler;
        bool NeedsLogin;
        TRefusals Refusals;
    };
    static const TMethod kMethods[];
    // Runs a known method for the request; the error reply when it fails.
    QByteArray Run(const TMethod& method, const TEnvelope& envelope, TSession& session);

    QByteArray Login(TCall& call);
    QByteArray Ping(TCall& call);
    void CheckSession(TSession& session);
    // Refuses (kRoleMissing, logged) a call of a logged-in operator who
    // holds none of the roles; the refusal names what the call does (the
    // step's action for SetStatusCHT), never the method.
    void RequireRole(const TSession& session, const QString& method, TRoles roles,
                     const QString& action = {}) const;
    // The roles the operator holds now, as Login names them.
    QByteArray GetRoles(TCall& call);
    QByteArray GetServPrest(TCall& call);
    QByteArray GetProp(TCall& call);
    QByteArray GetFunc(TCall& call);
    QByteArray GetCHT(TCall& call);
    QByteArray GetCSA(TCall& call);
    QByteArray SetCSA(TCall& call);
    QByteArray SetCHT(TCall& call);
    QByteArray GetPrevCHT(TCall& call);
    QByteArray GetHistCSA(TCall& call);
    QByteArray GetPendencias(TCall& call);
    QByteArray GetDemCHT(TCall& call);
    QByteArray GetLookup(TCall& call);
    QByteArray SetStatusCHT(TCall& call);
    QByteArray SetAceiteCHT(TCall& call);

    TStorage& m_storage;
    std::unique_ptr<TApprovalService> m_service;
    std::unique_ptr<TAuditTrail> m_ownAudit; // the storage's, without an audit log
    TAuditTrail& m_audit;
    bool m_requireLogin;
    bool m_separateDuties;
    bool m_requireAcceptance;
    QString m_urlBase;
    TRequestOutcome m_last;
};

} // namespace aph
