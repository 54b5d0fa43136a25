#include "server/rpc/dispatcher.h"

#include "host/data/packetcodec.h"
#include "server/common/incident.h"
#include "server/common/serverlog.h"
#include "server/documents/statement.h"
#include "server/documents/statementlimit.h"
#include "server/methods/acceptance.h"
#include "server/methods/approvalservice.h"
#include "server/methods/audit.h"
#include "server/methods/chtstatus.h"
#include "server/methods/lookups.h"
#include "server/methods/replywriter.h"
#include "server/methods/writekeys.h"
#include "server/rpc/rawrequest.h"
#include "server/rpc/requestfields.h"
#include "server/rpc/rolesnotice.h"
#include "server/sessions/auth.h"
#include "server/sessions/operators.h"
#include "server/storage/storage.h"
#include "service/policy.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <algorithm>
#include <cmath>
#include <optional>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// Whole numeric ids below this magnitude are exact in a double (2^53 is
// about 9.007e15) and go back as integers.
constexpr double kMaxExactId = 9e15;
// Significant digits that write any other double back as the same double.
constexpr int kRoundTripDigits = 17;
// A request key fits APH_REQUISICAO's DSCHAVE.
constexpr qsizetype kMaxRequestKeyChars = ColumnSize("APH_REQUISICAO", "DSCHAVE");

QByteArray IdJson(const QJsonValue& id)
{
    if (id.isString()) {
        QByteArray out;
        const QByteArray utf8 = id.toString().toUtf8();
        AppendJsonString(out,
                         std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
        return out;
    }
    if (id.isDouble()) {
        const double d = id.toDouble();
        if (d == std::floor(d) && std::fabs(d) < kMaxExactId)
            return QByteArray::number(static_cast<qint64>(d));
        return QByteArray::number(d, 'g', kRoundTripDigits);
    }
    return QByteArrayLiteral("null");
}

QByteArray ResultLine(const QByteArray& id, const QByteArray& result)
{
    return QByteArrayLiteral("{\"jsonrpc\":\"2.0\",\"id\":") + id +
           QByteArrayLiteral(",\"result\":") + result + '}';
}

QByteArray OkNull()
{
    return QByteArrayLiteral("{\"ok\":true,\"data\":null}");
}

QByteArray Refused(const QString& message)
{
    return QJsonDocument(QJsonObject{{u"ok"_s, false}, {u"message"_s, message}})
        .toJson(QJsonDocument::Compact);
}

// A protocol fault with its JSON-RPC code.
class ERpcFault : public Exception
{
public:
    ERpcFault(int code, QString message) : Exception(std::move(message)), m_code(code) {}
    int Code() const { return m_code; }

private:
    int m_code;
};

// What the JSON parser found wrong, in the user's language.
QString ParseErrorText(QJsonParseError::ParseError error)
{
    switch (error) {
    case QJsonParseError::UnterminatedObject:
        return u"objeto sem \"}\""_s;
    case QJsonParseError::MissingNameSeparator:
        return u"falta \":\" depois do nome"_s;
    case QJsonParseError::UnterminatedArray:
        return u"lista sem \"]\""_s;
    case QJsonParseError::MissingValueSeparator:
        return u"falta \",\" entre os valores"_s;
    case QJsonParseError::IllegalNumber:
    case QJsonParseError::TerminationByNumber:
        return u"número inválido"_s;
    case QJsonParseError::IllegalEscapeSequence:
        return u"sequência de escape inválida"_s;
    case QJsonParseError::IllegalUTF8String:
        return u"texto que não é UTF-8 válido"_s;
    case QJsonParseError::UnterminatedString:
        return u"texto sem aspas de fechamento"_s;
    case QJsonParseError::DeepNesting:
        return u"aninhamento profundo demais"_s;
    case QJsonParseError::GarbageAtEnd:
        return u"há mais de um valor na linha"_s;
    default:
        return u"valor inválido"_s;
    }
}

// An unexpected failure: its detail goes to the log, the client gets the
// incident id.
QByteArray InternalError(const QByteArray& id, const QString& method, const QString& detail)
{
    const QString incident = NewIncidentId();
    LogIncident(incident, u"%1: %2"_s.arg(method, detail));
    return TDispatcher::ErrorLine(id, rpc::kInternalError,
                                  u"Erro interno do servidor ao executar %1 (ocorrência %2); "
                                  "informe este código ao suporte."_s.arg(method, incident));
}

} // namespace

// One call being handled: its arguments, checked against the method's
// signature, and the connection's session.
struct TDispatcher::TCall
{
    QString Method;
    QJsonArray Params;
    TSession& Session;
    QString RequestKey; // empty when the client sent none
    TStorage& Storage;

    // The key of a write, with the digest of what it asks and the reply it
    // gets when applied; none when the client sent no key.
    std::optional<TWriteKey> WriteKey(const QByteArray& reply) const
    {
        if (RequestKey.isEmpty())
            return std::nullopt;
        QCryptographicHash hash(QCryptographicHash::Sha256);
        hash.addData((Method + u'\n' + Session.Operator + u'\n').toUtf8());
        hash.addData(QJsonDocument(Params).toJson(QJsonDocument::Compact));
        return TWriteKey{
            RequestKey, Method, Session.Operator, QString::fromLatin1(hash.result().toHex()),
            reply,      {}};
    }

    // The shape of a method decoded here rather than through a field list:
    // one letter an argument, S text, D date (OLE number), O object.
    void Expect(const char* signature) const
    {
        const std::string_view shape(signature);
        CheckParamShape(Method, Params, shape, static_cast<qsizetype>(shape.size()));
    }
    QString Str(int i) const { return Params.at(i).toString(); }
    // With a login, the operator a screen names must be the one logged in,
    // named in any case (as Login takes it); the code as the session holds
    // it.
    QString CheckOperator(const QString& code) const
    {
        if (!Session.LoggedIn() || code == Session.Operator)
            return Session.LoggedIn() ? Session.Operator : code;
        if (code.compare(Session.Operator, Qt::CaseInsensitive) != 0 ||
            StoredOperatorCode(Storage, code) != Session.Operator)
            throw ERpcFault(rpc::kWrongOperator,
                            u"O operador \"%1\" não é o operador desta conexão (%2)."_s.arg(
                                code, Session.Operator));
        return Session.Operator;
    }
    // The params decoded once into the method's request (see
    // requestfields.h).
    template <class R, std::size_t N> R Decode(const TParamField<R> (&fields)[N]) const
    {
        return DecodeRequest<R>({Method, Params,
                                 [this](const QString& code) {
                                     return CheckOperator(code);
                                 }},
                                std::span<const TParamField<R>>(fields));
    }
};

// The registry: every method the server answers, by its exact name. The
// order is that of the screens' calls; Login alone needs no login, and
// GetServPrest alone answers a refusal with an error. The role each call
// needs is the policy's (kMethodPolicies).
const TDispatcher::TMethod TDispatcher::kMethods[] = {
    {"Login", &TDispatcher::Login, false, TRefusals::AsResult},
    {"GetServPrest", &TDispatcher::GetServPrest, true, TRefusals::AsError},
    {"GetProp", &TDispatcher::GetProp, true, TRefusals::AsResult},
    {"GetFunc", &TDispatcher::GetFunc, true, TRefusals::AsResult},
    {"GetCHT", &TDispatcher::GetCHT, true, TRefusals::AsResult},
    {"GetCSA", &TDispatcher::GetCSA, true, TRefusals::AsResult},
    {"SetCSA", &TDispatcher::SetCSA, true, TRefusals::AsResult},
    {"SetCHT", &TDispatcher::SetCHT, true, TRefusals::AsResult},
    {"GetPrevCHT", &TDispatcher::GetPrevCHT, true, TRefusals::AsResult},
    {"GetHistCSA", &TDispatcher::GetHistCSA, true, TRefusals::AsResult},
    {"GetDemCHT", &TDispatcher::GetDemCHT, true, TRefusals::AsResult},
    {"GetPendencias", &TDispatcher::GetPendencias, true, TRefusals::AsResult},
    {"GetLookup", &TDispatcher::GetLookup, true, TRefusals::AsResult},
    {"SetStatusCHT", &TDispatcher::SetStatusCHT, true, TRefusals::AsResult},
    {"SetAceiteCHT", &TDispatcher::SetAceiteCHT, true, TRefusals::AsResult},
    {"Ping", &TDispatcher::Ping, false, TRefusals::AsResult},
    {"GetRoles", &TDispatcher::GetRoles, true, TRefusals::AsResult},
};

TDispatcher::TDispatcher(TStorage& storage, bool requireLogin, TAuditTrail* audit,
                         bool separateDuties, bool requireAcceptance, const QString& urlBase)
    : m_storage(storage), m_service(std::make_unique<TApprovalService>(storage)),
      m_ownAudit(audit ? nullptr : std::make_unique<TStorageAudit>(storage)),
      m_audit(audit ? *audit : *m_ownAudit), m_requireLogin(requireLogin),
      m_separateDuties(separateDuties), m_requireAcceptance(requireAcceptance), m_urlBase(urlBase)
{}

TDispatcher::~TDispatcher() = default;

QByteArray TDispatcher::ErrorLine(const QByteArray& id, int code, const QString& message)
{
    const QByteArray error = QJsonDocument(QJsonObject{{u"code"_s, code}, {u"message"_s, message}})
                                 .toJson(QJsonDocument::Compact);
    return QByteArrayLiteral("{\"jsonrpc\":\"2.0\",\"id\":") + id +
           QByteArrayLiteral(",\"error\":") + error + '}';
}

QByteArray TDispatcher::ErrorLine(const QJsonValue& id, int code, const QString& message)
{
    return ErrorLine(IdJson(id), code, message);
}

TDispatcher::TEnvelope TDispatcher::ReadEnvelope(const QByteArray& line)
{
    TEnvelope e;
    const auto refuse = [&e](const QByteArray& id, int code, const QString& message) {
        e.Reply = ErrorLine(id, code, message);
        e.Code = code;
        return e;
    };
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(line, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        // A lone number, string or literal is valid JSON but no request;
        // "1,2" is two values, which is no JSON text at all.
        QJsonParseError wrapped;
        const QJsonDocument values = QJsonDocument::fromJson('[' + line + ']', &wrapped);
        if (wrapped.error == QJsonParseError::NoError && values.array().size() == 1)
            return refuse(kNullId, rpc::kInvalidRequest,
                          u"A requisição deve ser um objeto JSON-RPC 2.0."_s);
        return refuse(kNullId, rpc::kParseError,
                      u"JSON malformado: %1 (posição %2)."_s.arg(ParseErrorText(parseError.error))
                          .arg(parseError.offset));
    }
    if (!doc.isObject())
        return refuse(kNullId, rpc::kInvalidRequest,
                      u"A requisição deve ser um objeto JSON-RPC 2.0; lotes não "
                      "são aceitos."_s);
    e.Request = doc.object();
    e.Notification = !e.Request.contains(u"id");
    const QJsonValue id = e.Request.value(u"id");
    if (!e.Notification && !(id.isString() || id.isDouble() || id.isNull()))
        return refuse(kNullId, rpc::kInvalidRequest,
                      u"O id da requisição deve ser um texto, um número ou null."_s);
    // The id goes back exactly as the client wrote it.
    const TRawRequest raw = ScanRequest(line);
    e.Id = e.Notification || id.isNull() || raw.Id.isEmpty() ? kNullId : raw.Id;
    e.ParamsBadText = raw.ParamsBadText;
    if (e.Request.value(u"jsonrpc").toString() != u"2.0" || !e.Request.value(u"method").isString())
        return refuse(e.Id, rpc::kInvalidRequest,
                      u"Requisição inválida: faltam \"jsonrpc\":\"2.0\" ou o nome "
                      "do método."_s);
    const QJsonValue params = e.Request.value(u"params");
    if (!params.isUndefined() && !params.isArray())
        return refuse(e.Id, rpc::kInvalidRequest,
                      u"Os argumentos (params) devem ser uma lista posicional."_s);
    const QJsonValue requestKey = e.Request.value(u"requestKey");
    if (!requestKey.isUndefined() && (!requestKey.isString() || requestKey.toString().isEmpty() ||
                                      requestKey.toString().size() > kMaxRequestKeyChars))
        return refuse(e.Id, rpc::kInvalidRequest,
                      u"A chave da requisição (requestKey) deve ser um texto de 1 a %1 "
                      "caracteres."_s.arg(kMaxRequestKeyChars));
    return e;
}

QByteArray TDispatcher::Unanswerable(const QByteArray& line, int code, const QString& message)
{
    const TEnvelope e = ReadEnvelope(line);
    if (!e.Reply.isEmpty())
        return e.Reply;
    return e.Notification ? QByteArray() : ErrorLine(e.Id, code, message);
}

QString TDispatcher::HeavyMethodOf(const QByteArray& line)
{
    // Most lines name no heavy method and escape nothing: no parse needed.
    if (!line.contains('\\') &&
        std::none_of(std::begin(kHeavyMethods), std::end(kHeavyMethods),
                     [&line](std::string_view name) {
                         return line.contains(QByteArrayView(name.data(), qsizetype(name.size())));
                     }))
        return QString();
    const QJsonDocument doc = QJsonDocument::fromJson(line);
    const QString method = doc.object().value(u"method").toString();
    return doc.isObject() && IsHeavyMethod(method) ? method : QString();
}

QByteArray TDispatcher::Handle(const QByteArray& line, TSession& session)
{
    const TEnvelope envelope = ReadEnvelope(line);
    m_last = {envelope.Id.isEmpty() ? kNullId : envelope.Id, QString(), envelope.Code, false};
    if (!envelope.Reply.isEmpty())
        return envelope.Reply;
    const QJsonObject& request = envelope.Request;
    const bool notification = envelope.Notification;
    const QByteArray& id = envelope.Id;
    const QString name = request.value(u"method").toString();
    m_last.Method = name;
    const TMethod* method = nullptr;
    for (const TMethod& m : kMethods)
        if (name == QLatin1String(m.Name))
            method = &m;
    if (!method) {
        m_last.Code = rpc::kMethodNotFound;
        return notification ? QByteArray()
                            : ErrorLine(id, rpc::kMethodNotFound,
                                        u"Método desconhecido: \"%1\"."_s.arg(name));
    }
    const QByteArray reply = Run(*method, envelope, session);
    return notification ? QByteArray() : reply;
}

QByteArray TDispatcher::Run(const TMethod& method, const TEnvelope& envelope, TSession& session)
{
    const QByteArray& id = envelope.Id;
    const QString& name = m_last.Method;
    const QJsonValue params = envelope.Request.value(u"params");
    const QJsonValue requestKey = envelope.Request.value(u"requestKey");
    const auto fault = [&](int code, const QString& message) {
        m_last.Code = code;
        return ErrorLine(id, code, message);
    };

    QByteArray reply;
    try {
        if (method.NeedsLogin && m_requireLogin && !session.LoggedIn())
            throw ERpcFault(rpc::kNotLoggedIn,
                            u"Conexão não autenticada: faça o Login antes de chamar "
                            "%1."_s.arg(name));
        m_storage.CheckFile();
        if (method.NeedsLogin && m_requireLogin) {
            CheckSession(session);
            // A method the policy does not name is open to nobody.
            const std::optional<TRoles> roles = FindMethodRoles(name);
            if (!roles)
                throw ERpcFault(rpc::kInternalError,
                                u"O método %1 não tem papel definido."_s.arg(name));
            RequireRole(session, name, *roles);
        }
        // Text the database would cut short or mangle never reaches a query.
        if (envelope.ParamsBadText)
            throw EInvalidArgument(u"Os argumentos contêm texto inválido (caractere nulo ou "
                                   "sequência Unicode incompleta)."_s);
        TCall call{name, params.toArray(), session, requestKey.toString(), m_storage};
        try {
            reply = ResultLine(id, (this->*(method.Handler))(call));
        } catch (const ERefusal& e) {
            // Refusals of the methods the screens check come back as their
            // result; a method whose result has no such wrapper answers
            // them as an error (see kMethods).
            if (method.Refusals == TRefusals::AsError)
                throw ERpcFault(rpc::kInvalidParams, e.Message());
            m_last.Refused = true;
            reply = ResultLine(id, Refused(e.Message()));
        }
    } catch (const ERpcFault& e) {
        reply = fault(e.Code(), e.Message());
    } catch (const EInvalidArgument& e) {
        reply = fault(rpc::kInvalidParams, e.Message());
    } catch (const EStorageError& e) {
        reply = fault(rpc::kDatabaseError, e.Message());
    } catch (const EKeyReused& e) {
        reply = fault(rpc::kKeyReused, e.Message());
    } catch (const Exception& e) {
        m_last.Code = rpc::kInternalError;
        reply = InternalError(id, name, e.Message());
    } catch (const std::exception& e) {
        m_last.Code = rpc::kInternalError;
        reply = InternalError(id, name, QString::fromUtf8(e.what()));
    }
    return m_requireLogin ? NoticeRoles(name, reply, session) : reply;
}

QByteArray TDispatcher::Login(TCall& call)
{
    // Any failed Login, a malformed one too, leaves the connection logged out.
    call.Session.Operator.clear();
    call.Session.TokenHash.clear();
    call.Session.LoginAttempt = TSession::TLogin::Failed;
    call.Session.LoginOperator.clear();
    call.Expect("SS");
    call.Session.LoginOperator = call.Str(0);
    // Codes are compared without case: the session holds the code as kept.
    const QString op = StoredOperatorCode(m_storage, call.Str(0));
    const QString hash = CheckLogin(m_storage, op, call.Str(1), m_requireLogin);
    if (hash.isEmpty())
        throw ERpcFault(rpc::kLoginRefused,
                        u"Login recusado: operador inativo ou desconhecido, ou token "
                        "inválido ou vencido."_s);
    call.Session.Operator = op;
    call.Session.TokenHash = hash;
    call.Session.LoginAttempt = TSession::TLogin::Succeeded;
    // Without login checks every role is open, as every method was before
    // roles.
    call.Session.Roles = m_requireLogin ? OperatorRoles(m_storage, op) : kAllRoles;
    // The roles go to the client, so that the screens disable what would
    // be refused; a client that knows only ok and data reads it as before.
    QByteArray reply = QByteArrayLiteral("{\"ok\":true,\"data\":null,\"roles\":[");
    const QStringList names = RoleNames(call.Session.Roles);
    for (qsizetype i = 0; i < names.size(); ++i)
        reply += (i ? ",\"" : "\"") + names[i].toLatin1() + '"';
    return reply + "]}";
}

// A session lasts while its operator stays active and its token valid: an
// operator deactivated or a token revoked or expired ends it at the next
// call.
void TDispatcher::CheckSession(TSession& session)
{
    if (const std::optional<TRoles> roles =
            SessionRoles(m_storage, session.Operator, session.TokenHash)) {
        session.Roles = *roles;
        return;
    }
    session.Operator.clear();
    session.TokenHash.clear();
    throw ERpcFault(rpc::kSessionEnded,
                    u"A sessão foi encerrada: o token venceu ou foi revogado, ou o operador "
                    "foi desativado. Peça um novo token ao administrador."_s);
}

void TDispatcher::RequireRole(const TSession& session, const QString& method, TRoles roles,
                              const QString& action) const
{
    if (roles == 0 || !m_requireLogin || (session.Roles & roles))
        return;
    const QString missing = RoleNames(roles).join(u" ou "_s);
    LogLine(TLogLevel::Warning,
            u"papel ausente: operador=%1 metodo=%2 papel=%3"_s.arg(
                LogValue(session.Operator), method, RoleNames(roles).join(u',')));
    throw ERpcFault(rpc::kRoleMissing,
                    u"O operador \"%1\" não pode %2: não tem o papel \"%3\". Peça-o ao "
                    "administrador."_s.arg(session.Operator, CallDoing(method, action), missing));
}

QByteArray TDispatcher::GetServPrest(TCall& call)
{
    const TGetServPrestRequest request = call.Decode(kServPrestFields);
    TPacketWriter packet({});
    m_service->GetServPrest(request, packet);
    const QString event = u"GetServPrest %1 a %2: %3 serviços"_s.arg(request.Start)
                              .arg(request.End)
                              .arg(packet.Rows());
    // No data leaves without its audit record.
    m_audit.Record(request.Operator, call.Session.Operator, event);
    return packet.Finish({});
}

QByteArray TDispatcher::GetProp(TCall& call)
{
    TPacketWriter reply("{\"ok\":true,\"data\":");
    m_service->GetProp(call.Decode(kPropFields), reply);
    return reply.Finish("}");
}

QByteArray TDispatcher::GetFunc(TCall& call)
{
    TPacketWriter reply("{\"ok\":true,\"data\":");
    m_service->GetFunc(call.Decode(kFuncFields), reply);
    return reply.Finish("}");
}

QByteArray TDispatcher::GetCHT(TCall& call)
{
    TPacketWriter reply("{\"ok\":true,\"data\":");
    m_service->GetCHT(call.Decode(kChtFields), reply);
    return reply.Finish("}");
}

QByteArray TDispatcher::GetCSA(TCall& call)
{
    TPacketWriter reply("{\"ok\":true,\"data\":");
    m_service->GetCSA(call.Decode(kCsaFields), reply);
    return reply.Finish("}");
}

QByteArray TDispatcher::SetCSA(TCall& call)
{
    call.Expect("O");
    TDelta delta;
    try {
        delta = DeltaFromJson(call.Params.at(0));
    } catch (const EDatabaseError& e) {
        // A delta of the wrong shape is the client's fault; the same error
        // from anywhere else is the server's.
        throw EInvalidArgument(e.Message());
    }
    std::optional<TWriteKey> key = call.WriteKey(OkNull());
    m_service->SetCSA(delta, key ? &*key : nullptr, call.Session.Operator);
    return key && !key->Replayed.isEmpty() ? key->Replayed : OkNull();
}

QByteArray TDispatcher::SetCHT(TCall& call)
{
    const TSetChtRequest request = call.Decode(kSetChtFields);
    std::optional<TWriteKey> key = call.WriteKey(OkNull());
    const TChtGeneration generated =
        m_service->SetCHT(request, key ? &*key : nullptr, call.Session.Operator);
    return key && !key->Replayed.isEmpty() ? key->Replayed : GenerationReply(generated);
}

// What SetCHT would generate with the same params; writes nothing.
QByteArray TDispatcher::GetPrevCHT(TCall& call)
{
    return PreviewReply(m_service->GetPrevCHT(call.Decode(kSetChtFields)));
}

QByteArray TDispatcher::GetHistCSA(TCall& call)
{
    TPacketWriter reply("{\"ok\":true,\"data\":");
    m_service->GetHistCSA(call.Decode(kHistCsaFields), reply);
    return reply.Finish("}");
}

// The filter's days that need a person: {"ok":true,"data":<packet>,
// "more":<rows left out>}.
QByteArray TDispatcher::GetPendencias(TCall& call)
{
    TPacketWriter reply("{\"ok\":true,\"data\":");
    const qint64 more = m_service->GetPendencias(call.Decode(kServPrestFields), reply);
    const QByteArray tail = ",\"more\":" + QByteArray::number(more) + '}';
    return reply.Finish(tail);
}

// A screen's lookup list, when it is one the server knows; anything else
// is refused, and the refusal logged with who sent what.
// The desktop's keep-alive: answers at once and reads nothing; the
// connection's idle timeout does not restart for it (see TRpcServer).
QByteArray TDispatcher::Ping(TCall& call)
{
    call.Expect("");
    return QByteArrayLiteral("{\"ok\":true,\"data\":null}");
}

QByteArray TDispatcher::GetRoles(TCall& call)
{
    call.Expect("");
    return "{\"ok\":true,\"data\":null,\"roles\":" +
           RolesJson(m_requireLogin ? call.Session.Roles : kAllRoles) + '}';
}

QByteArray TDispatcher::GetLookup(TCall& call)
{
    call.Expect("SS");
    const TLookup* lookup = nullptr;
    try {
        lookup = &FindLookup(call.Str(0), call.Str(1));
    } catch (const ERefusal&) {
        LogLine(TLogLevel::Warning, u"consulta de lista recusada: operador=%1 texto=%2"_s.arg(
                                        LogValue(call.Session.Operator), LogValue(call.Str(0))));
        throw;
    }
    TPacketWriter reply("{\"ok\":true,\"data\":");
    WriteLookup(m_storage, *lookup, reply);
    return reply.Finish("}");
}

int TDispatcher::PurgeRequestKeys(int batch)
{
    return aph::PurgeRequestKeys(m_storage, batch);
}

// The CHT's statement as a file: {"ok":true,"data":null,"file":{"name":..,
// "type":..,"base64":..}}. A third argument, "cliente" or "interno", picks
// the version; without it the internal one, as callers before the client's
// version got.
QByteArray TDispatcher::GetDemCHT(TCall& call)
{
    const bool versioned = call.Params.size() == 3;
    call.Expect(versioned ? "SSS" : "SS");
    RequireStatementWithinLimit(m_storage, call.Str(0));
    const TStatementFile file = StatementFile(m_storage, call.Str(0), call.Str(1),
                                              versioned ? StatementVersionArgument(call.Str(2))
                                                        : TStatementVersion::Internal);
    // The statement carries the amount to bill: like the services' data,
    // it does not leave without its audit record.
    m_audit.Record(
        QString(), call.Session.Operator,
        u"GetDemCHT %1 %2: %3 bytes"_s.arg(file.Name, call.Str(1)).arg(file.Data.size()));
    QByteArray reply = QByteArrayLiteral("{\"ok\":true,\"data\":null,\"file\":{\"name\":");
    const QByteArray name = file.Name.toUtf8();
    AppendJsonString(reply,
                     std::string_view(name.constData(), static_cast<std::size_t>(name.size())));
    reply += QByteArrayLiteral(",\"type\":\"") + file.Type.toLatin1() +
             QByteArrayLiteral("\",\"base64\":\"") + file.Data.toBase64() +
             QByteArrayLiteral("\"}}");
    return reply;
}

// One step of a CHT's life: the exact role for the step first, then the
// step itself, keyed like the other writes.
QByteArray TDispatcher::SetStatusCHT(TCall& call)
{
    const TChtStatusRequest request = call.Decode(kChtStatusFields);
    const TChtStepPolicy& step = ChtStepPolicy(request.Action);
    RequireRole(call.Session, call.Method, RoleBit(step.Role),
                QString::fromLatin1(step.Name.data(), qsizetype(step.Name.size())));
    std::optional<TWriteKey> key = call.WriteKey(OkNull());
    ChangeChtStatus(m_storage, request, key ? &*key : nullptr, call.Session.Operator,
                    m_separateDuties, m_requireAcceptance);
    return key && !key->Replayed.isEmpty() ? key->Replayed : OkNull();
}

// A new acceptance link of an approved CHT for the client's contact:
// {"ok":true,"data":null,"link":"URL-BASE/aceite/TOKEN"}, the only time the
// token leaves the server.
QByteArray TDispatcher::SetAceiteCHT(TCall& call)
{
    call.Expect("SS");
    if (m_urlBase.isEmpty())
        throw ERefusal(u"Este servidor não tem o endereço das páginas do cliente (url-base na "
                       "configuração): peça ao administrador."_s);
    const QString cht = ChtNumberOf(call.Str(0));
    const QString token =
        CreateAcceptanceLink(m_storage, cht, call.Str(1), kDefaultLinkDays, call.Session.Operator);
    QByteArray reply = QByteArrayLiteral("{\"ok\":true,\"data\":null,\"link\":");
    const QByteArray link = (m_urlBase + u"/aceite/"_s + token).toUtf8();
    AppendJsonString(reply,
                     std::string_view(link.constData(), static_cast<std::size_t>(link.size())));
    return reply + '}';
}

} // namespace aph
