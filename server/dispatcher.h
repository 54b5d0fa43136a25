#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonValue>
#include <QString>

#include <functional>
#include <vector>

namespace aph {

class TStorage;
class TApprovalService;
class TAuditLog;

// JSON-RPC error codes. The standard ones, then the server's own.
namespace rpc {
constexpr int kParseError = -32700;
constexpr int kInvalidRequest = -32600;
constexpr int kMethodNotFound = -32601;
constexpr int kInvalidParams = -32602;
constexpr int kInternalError = -32603;
constexpr int kNotLoggedIn = -32000;
constexpr int kLoginRefused = -32001;
constexpr int kTooManyConnections = -32002;
constexpr int kRequestTimeout = -32003;
constexpr int kWrongOperator = -32004;
constexpr int kKeyReused = -32005;
constexpr int kDatabaseError = -32010;
} // namespace rpc

// What a connection knows about who is on the other end.
struct TSession
{
    QString Operator; // empty until Login
    bool LoggedIn() const { return !Operator.isEmpty(); }
};

// Turns one request line into one reply line. One dispatcher per worker
// thread, on that thread's storage; it keeps no state of its own: the
// session belongs to the connection and is passed in.
class TDispatcher
{
public:
    // The reads' audit records go to the audit log; without one, to the
    // storage itself, before the reply.
    TDispatcher(TStorage& storage, bool requireLogin, TAuditLog* audit = nullptr);
    ~TDispatcher();

    // The reply line without its "\n"; empty for a notification.
    QByteArray Handle(const QByteArray& line, TSession& session);

    // An error reply to a request whose id is unknown or absent.
    static QByteArray ErrorLine(const QJsonValue& id, int code, const QString& message);

private:
    struct TCall;
    using THandler = QByteArray (TDispatcher::*)(TCall&);
    struct TMethod
    {
        const char* Name;
        THandler Handler;
        bool NeedsLogin;
    };
    static const TMethod kMethods[];

    QByteArray Login(TCall& call);
    QByteArray GetServPrest(TCall& call);
    QByteArray GetProp(TCall& call);
    QByteArray GetFunc(TCall& call);
    QByteArray GetCHT(TCall& call);
    QByteArray GetCSA(TCall& call);
    QByteArray SetCSA(TCall& call);
    QByteArray SetCHT(TCall& call);

    TStorage& m_storage;
    TApprovalService* m_service;
    TAuditLog* m_audit;
    bool m_requireLogin;
};

} // namespace aph
