// Request framing and dispatch, as a connection feeds them: the input is a
// byte stream cut into lines by the server's framer, and every line is
// handled by a dispatcher over the demo data in an in-memory SQLite
// database. Properties: the lines are exactly those of the stream whatever
// its chunking; every reply is one JSON-RPC 2.0 object for the request's id;
// and whatever the requests, the database keeps its rules.
#include "fuzz_target.h"
#include "server/admin/admin.h"
#include "server/net/lineframer.h"
#include "server/rpc/dispatcher.h"
#include "server/sessions/auth.h"
#include "server/storage/storage.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDriver>

#include <memory>
#include <sqlite3.h>
#include <string>
#include <vector>

using namespace Qt::StringLiterals;

using namespace aph;

namespace {

// Small enough that the fuzzer reaches it; a SetCSA line is under 2 KiB.
constexpr qint64 kMaxLine = 4096;
// The token of ANA in the fuzz database, so that inputs can log in.
const char* const kToken = "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff";

struct TWorld
{
    std::unique_ptr<QCoreApplication> App;
    std::unique_ptr<TStorage> Storage;
    std::unique_ptr<TDispatcher> WithLogin, WithoutLogin;
    sqlite3* Live = nullptr;
    sqlite3* Pristine = nullptr;
    std::string Frozen; // the CSAs of approved and billed CHTs
    long long EmptyChts = 0;
    long long Csas = 0;
};

TWorld* g_world = nullptr;

std::string Text(sqlite3* db, const char* sql)
{
    sqlite3_stmt* stmt = nullptr;
    APH_FUZZ_CHECK(sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK, sql);
    std::string out;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
            const unsigned char* v = sqlite3_column_text(stmt, i);
            out += v ? reinterpret_cast<const char*>(v) : "<null>";
            out += '|';
        }
        out += '\n';
    }
    sqlite3_finalize(stmt);
    return out;
}

long long Number(sqlite3* db, const char* sql)
{
    return std::atoll(Text(db, sql).c_str());
}

void Copy(sqlite3* from, sqlite3* to)
{
    sqlite3_backup* backup = sqlite3_backup_init(to, "main", from, "main");
    APH_FUZZ_CHECK(backup != nullptr, "backup of the database");
    sqlite3_backup_step(backup, -1);
    APH_FUZZ_CHECK(sqlite3_backup_finish(backup) == SQLITE_OK, "backup of the database");
}

const char* const kFrozenSql = "SELECT A.* FROM CSA A JOIN CHT H ON H.NRSEQUCHT = A.NRSEQUCHT "
                               "WHERE H.IDSTATUSCHT IN ('A', 'R') ORDER BY 1, 2, 3, 4, 5";
const char* const kEmptyChtsSql =
    "SELECT COUNT(*) FROM CHT H WHERE NOT EXISTS (SELECT 1 FROM CSA A WHERE A.NRSEQUCHT = "
    "H.NRSEQUCHT)";

// The rules of the data that no request may break.
void CheckDatabase(TWorld& w)
{
    APH_FUZZ_CHECK(Text(w.Live, "PRAGMA foreign_key_check").empty(), "foreign keys hold");
    APH_FUZZ_CHECK(Number(w.Live, "SELECT COUNT(*) FROM CSA") == w.Csas,
                   "no CSA is added or removed");
    APH_FUZZ_CHECK(Number(w.Live, kEmptyChtsSql) == w.EmptyChts, "no CHT without CSAs");
    APH_FUZZ_CHECK(Text(w.Live, kFrozenSql) == w.Frozen,
                   "CSAs of approved or billed CHTs do not change");
    APH_FUZZ_CHECK(Number(w.Live, "SELECT COUNT(*) FROM CSA WHERE QTHRAPROFATU < 0 OR "
                                  "QTHRAPRCOMIS < 0 OR QTHRAPROFATU > QTHRTRAB + 0.00001 OR "
                                  "QTHRAPRCOMIS > QTHRTRAB + 0.00001") == 0,
                   "approvals within the hours worked");
    APH_FUZZ_CHECK(Number(w.Live, "SELECT COUNT(*) FROM CHT WHERE NRSEQUCHT > (SELECT "
                                  "printf('%05d', NRVALOR) FROM APH_SEQUENCIA WHERE NMSEQUENCIA "
                                  "= 'CHT')") == 0,
                   "the CHT counter is past every CHT");
}

// What a reply must look like for the request line it answers.
void CheckReply(const QByteArray& line, const QByteArray& reply, const TSession& session)
{
    APH_FUZZ_CHECK(!reply.contains('\n'), "a reply is one line");
    const QJsonDocument request = QJsonDocument::fromJson(line);
    const bool notification = request.isObject() && !request.object().contains(u"id");
    if (reply.isEmpty()) {
        APH_FUZZ_CHECK(notification, "only a notification goes unanswered");
        return;
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(reply, &error);
    APH_FUZZ_CHECK(error.error == QJsonParseError::NoError && doc.isObject(),
                   "a reply is a JSON object");
    const QJsonObject obj = doc.object();
    APH_FUZZ_CHECK(obj.value(u"jsonrpc") == QJsonValue(u"2.0"_s), "jsonrpc 2.0");
    APH_FUZZ_CHECK(obj.contains(u"id"), "a reply has an id");
    APH_FUZZ_CHECK(obj.contains(u"result") != obj.contains(u"error"),
                   "a reply has a result or an error");
    if (obj.contains(u"error")) {
        const QJsonObject e = obj.value(u"error").toObject();
        const int code = e.value(u"code").toInt();
        APH_FUZZ_CHECK(code == -32700 || (code >= -32603 && code <= -32600) ||
                           (code >= -32099 && code <= -32000),
                       "a known error code");
        APH_FUZZ_CHECK(!e.value(u"message").toString().isEmpty(), "an error says why");
        APH_FUZZ_CHECK(code != -32603, "no internal error for any input");
    } else {
        const QJsonValue result = obj.value(u"result");
        APH_FUZZ_CHECK(result.isObject(), "a result is an object");
    }
    const QJsonObject req = request.object();
    const QJsonValue id = req.value(u"id");
    if (request.isObject() && (id.isString() || id.isDouble() || id.isNull()))
        APH_FUZZ_CHECK(obj.value(u"id") == id, "the reply carries the request's id");
    // A Login whose envelope was valid decides the session, failing or not.
    const int code = obj.value(u"error").toObject().value(u"code").toInt();
    if (req.value(u"method") == QJsonValue(u"Login"_s) && code != -32600 && code != -32700)
        APH_FUZZ_CHECK(session.LoggedIn() ==
                           (obj.value(u"result").toObject().value(u"ok") == QJsonValue(true)),
                       "logged in exactly after a Login that succeeded");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    auto* w = new TWorld;
    w->App = std::make_unique<QCoreApplication>(*argc, *argv);
    TDatabaseSpec spec;
    spec.Path = u":memory:"_s;
    w->Storage = TStorage::Open(spec, TStorage::TOpenMode::Create);
    InitDatabase(*w->Storage, TInitData::Demo, 0);
    w->Storage->Exec(u"INSERT INTO APH_TOKEN (DSHASH, CDOPERADOR, DTCRIACAO, DTEXPIRA) VALUES "
                     "(?, 'ANA', 0, 2958465)"_s,
                     {HashToken(QString::fromLatin1(kToken))});
    const QVariant handle = w->Storage->Database().driver()->handle();
    w->Live = *static_cast<sqlite3* const*>(handle.data());
    APH_FUZZ_CHECK(sqlite3_open(":memory:", &w->Pristine) == SQLITE_OK, "a second database");
    Copy(w->Live, w->Pristine);
    w->Frozen = Text(w->Live, kFrozenSql);
    APH_FUZZ_CHECK(!w->Frozen.empty(), "the demo has approved and billed CHTs");
    w->EmptyChts = Number(w->Live, kEmptyChtsSql);
    w->Csas = Number(w->Live, "SELECT COUNT(*) FROM CSA");
    w->WithLogin = std::make_unique<TDispatcher>(*w->Storage, true);
    w->WithoutLogin = std::make_unique<TDispatcher>(*w->Storage, false);
    g_world = w;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    TWorld& w = *g_world;
    // The first byte picks the server (with or without Login) and how the
    // stream arrives: byte by byte up to all at once.
    const std::uint8_t mode = data[0];
    static const std::size_t kChunks[] = {1, 2, 3, 7, 16, 100, 4096, 1 << 30};
    const std::size_t chunk = kChunks[(mode >> 1) & 7];
    TDispatcher& dispatcher = (mode & 1) ? *w.WithoutLogin : *w.WithLogin;
    const QByteArray stream(reinterpret_cast<const char*>(data + 1),
                            static_cast<qsizetype>(size - 1));

    // The lines the stream holds, cut all at once: what the framer must
    // give, whatever the chunking. Empty marks a line refused for its size.
    std::vector<QByteArray> expected;
    {
        const QList<QByteArray> pieces = stream.split('\n');
        for (qsizetype i = 0; i < pieces.size(); ++i) {
            QByteArray line = pieces[i];
            const bool complete = i + 1 < pieces.size();
            if (!complete) {
                if (line.size() > kMaxLine + 1) // the unfinished tail, once too long
                    expected.push_back(QByteArray());
                break;
            }
            if (line.endsWith('\r'))
                line.chop(1);
            if (line.size() > kMaxLine)
                expected.push_back(QByteArray());
            else if (!line.trimmed().isEmpty())
                expected.push_back(line);
        }
    }

    const int changesBefore = sqlite3_total_changes(w.Live);
    TLineFramer framer(kMaxLine);
    TSession session;
    std::vector<QByteArray> got;
    for (qsizetype at = 0; at < stream.size(); at += static_cast<qsizetype>(chunk)) {
        framer.Feed(stream.mid(at, static_cast<qsizetype>(chunk)));
        APH_FUZZ_CHECK(framer.Buffered() <= kMaxLine + static_cast<qint64>(chunk) + 1,
                       "the buffer stays bounded");
        for (;;) {
            QByteArray line;
            const TLineFramer::Event event = framer.Next(line);
            if (event == TLineFramer::Event::NeedMore)
                break;
            if (event != TLineFramer::Event::Line) {
                got.push_back(QByteArray());
                continue;
            }
            got.push_back(line);
            const QByteArray reply = dispatcher.Handle(line, session);
            CheckReply(line, reply, session);
        }
    }
    APH_FUZZ_CHECK(got == expected, "the framer gives the stream's lines whatever its chunking");

    if (sqlite3_total_changes(w.Live) != changesBefore) {
        CheckDatabase(w);
        Copy(w.Pristine, w.Live); // every input starts from the same data
    }
    return 0;
}
