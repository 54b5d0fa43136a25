// Load on aph-server: many authenticated connections on loopback, each an
// approval screen at work on its own employee: mostly reads (GetCSA,
// GetFunc, GetCHT, GetProp, now and then GetServPrest), one save (SetCSA)
// per few reads, and an occasional generation (SetCHT) of its own CSAs.
// Bounded in requests and in time. Reports connections, requests, errors,
// median and 99th percentile latency; at the end it checks the database
// for every save that was acknowledged (no lost update). It passes or
// fails on nothing but errors and lost updates.
//
//   bench_load [--connections N] [--requests N] [--seconds N] [--think-ms N]
//              [--scale N] [--db URI] [--workers N]
//
// Without --db it makes a temporary SQLite database with init --scale N
// (200,000 CSAs by default); with --db it uses that database, which must
// have been made with init --scale.
#include "host/data/packetcodec.h"
#include "server/auth.h"
#include "server/storage.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <vector>

using namespace Qt::StringLiterals;

using namespace aph;

namespace {

double Ole(int y, int m, int d)
{
    return static_cast<double>(QDate(1899, 12, 30).daysTo(QDate(y, m, d)));
}

// One employee on one contracted service: a connection works on it alone,
// so that its saves meet no other connection's.
struct TPair
{
    QString Proposal, Version, Service, Employee, Company, Client, Type;
};

enum TKind
{
    kRead,
    kSave,
    kGenerate,
    kKinds
};
const char* const kKindNames[] = {"reads", "SetCSA", "SetCHT"};

struct TStats
{
    std::vector<double> Ms[kKinds];
    std::map<QString, long long> ByMethod;
    long long Requests = 0, Errors = 0, Conflicts = 0, Dropped = 0;
    QStringList FirstErrors;
    // The last acknowledged approval of every CSA saved, by key.
    std::map<QString, double> Saved;
    long long NextValue = 1;
};

class TConnection : public QObject
{
public:
    TConnection(TStats& stats, const TPair& pair, const QString& token, const QString& branch,
                unsigned seed, int thinkMs)
        : m_stats(stats), m_pair(pair), m_token(token), m_branch(branch), m_random(seed),
          m_thinkMs(thinkMs)
    {
        connect(&m_socket, &QTcpSocket::connected, this, [this] {
            m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
            Send(u"Login"_s, {u"ADMIN"_s, m_token}, kRead);
        });
        connect(&m_socket, &QTcpSocket::readyRead, this, [this] { OnReadyRead(); });
        connect(&m_socket, &QTcpSocket::errorOccurred, this, [this] {
            if (m_socket.state() != QAbstractSocket::ConnectedState && !m_done) {
                Error(u"no connection: "_s + m_socket.errorString());
                m_done = true;
            }
        });
        connect(&m_socket, &QTcpSocket::disconnected, this, [this] {
            if (!m_done) {
                ++m_stats.Dropped;
                Error(u"connection closed by the server"_s);
            }
            m_done = true;
        });
    }

    ~TConnection() override { m_socket.disconnect(this); } // closing is no drop

    void Start(quint16 port) { m_socket.connectToHost(u"127.0.0.1"_s, port); }
    bool LoggedIn() const { return m_loggedIn; }
    // Stops after the reply in flight.
    void Stop() { m_stopping = true; }
    bool Idle() const { return m_done || (!m_inFlight && m_stopping); }
    static inline long long s_budget = 0; // requests left to send, shared

private:
    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_random); }

    void Send(const QString& method, const QJsonArray& params, TKind kind)
    {
        const QJsonObject request{{u"jsonrpc"_s, u"2.0"_s},
                                  {u"id"_s, ++m_id},
                                  {u"method"_s, method},
                                  {u"params"_s, params}};
        m_method = method;
        m_kind = kind;
        m_inFlight = true;
        m_timer.start();
        m_socket.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
    }

    void Error(const QString& what)
    {
        ++m_stats.Errors;
        if (m_stats.FirstErrors.size() < 10)
            m_stats.FirstErrors << m_method + u": " + what;
    }

    void OnReadyRead()
    {
        m_buffer += m_socket.readAll();
        for (;;) {
            const qsizetype newline = m_buffer.indexOf('\n');
            if (newline < 0)
                return;
            const QByteArray line = m_buffer.left(newline);
            m_buffer.remove(0, newline + 1);
            OnReply(line);
        }
    }

    void OnReply(const QByteArray& line)
    {
        const double ms = static_cast<double>(m_timer.nsecsElapsed()) / 1e6;
        m_inFlight = false;
        const QJsonObject reply = QJsonDocument::fromJson(line).object();
        const bool counted = m_method != u"Login";
        if (counted) {
            ++m_stats.Requests;
            ++m_stats.ByMethod[m_method];
            m_stats.Ms[m_kind].push_back(ms);
        }
        if (reply.contains(u"error")) {
            Error(reply.value(u"error").toObject().value(u"message").toString());
        } else {
            const QJsonValue result = reply.value(u"result");
            const bool wrapped = m_method != u"GetServPrest";
            const QJsonObject obj = result.toObject();
            if (wrapped && !obj.value(u"ok").toBool()) {
                const QString message = obj.value(u"message").toString();
                if (message.contains(u"outro usuário"_s))
                    ++m_stats.Conflicts;
                Error(message);
            } else {
                Handled(wrapped ? obj.value(u"data") : result);
            }
        }
        Next();
    }

    void Handled(const QJsonValue& data)
    {
        if (m_method == u"Login") {
            m_loggedIn = true;
        } else if (m_method == u"GetCSA") {
            m_loaded = PacketFromJson(data);
        } else if (m_method == u"SetCSA") {
            for (const auto& [key, value] : m_pending)
                m_stats.Saved[key] = value;
            // The saved values are now what the screen holds.
            const int fatu = m_loaded.FieldIndex(u"QTHRAPROFATU"_s);
            for (const auto& [row, value] : m_pendingRows) {
                auto copy = std::make_shared<TRowValues>(*m_loaded.Rows[row]);
                (*copy)[static_cast<std::size_t>(fatu)] = Value::FromNumber(value);
                m_loaded.Rows[row] = copy;
            }
        } else if (m_method == u"SetCHT") {
            m_loaded = TDataPacket(); // its rows may be in a CHT now: load again
        }
    }

    void Next()
    {
        if (m_stopping || s_budget <= 0) {
            m_stopping = true;
            return;
        }
        --s_budget;
        if (m_thinkMs > 0)
            QTimer::singleShot(m_thinkMs, this, [this] { Act(); });
        else
            Act();
    }

    void Act()
    {
        const int month = 4 + Pick(6); // April to September: CSAs without CHT
        const double start = Ole(2025, month, 1);
        const double end = Ole(2025, month, QDate(2025, month, 1).daysInMonth());
        const TPair& p = m_pair;
        const int roll = Pick(100);
        if (roll < 2) {
            // Generation of a week of its own employee's CSAs.
            const double from = start + Pick(21);
            Send(u"SetCHT"_s,
                 {from, from + 6, u"ADMIN"_s, u"T"_s, u"T"_s, QString(u"[\"" + p.Employee + u"\"]"),
                  QString(), QString(u"[\"" + p.Proposal + u'|' + p.Version + u"\"]"), QString()},
                 kGenerate);
        } else if (roll < 25 && !m_loaded.Rows.empty()) {
            Save();
        } else if (roll < 60 || m_loaded.Rows.empty()) {
            Send(u"GetCSA"_s,
                 {p.Client, p.Employee, start, end, p.Type, p.Proposal, p.Version, QString(),
                  u"N"_s, p.Company},
                 kRead);
        } else if (roll < 75) {
            Send(u"GetFunc"_s,
                 {start, end, p.Client, p.Type, p.Proposal, p.Version, p.Service, u"T"_s, QString(),
                  u"T"_s, u"T"_s},
                 kRead);
        } else if (roll < 90) {
            Send(u"GetCHT"_s,
                 {p.Type, p.Proposal, p.Version, Ole(2025, 1, 1), Ole(2025, 9, 30), p.Employee,
                  p.Company, u"T"_s},
                 kRead);
        } else if (roll < 99) {
            Send(u"GetProp"_s, {m_branch, QString(u"[\"" + p.Client + u"\"]"), QString()}, kRead);
        } else {
            Send(u"GetServPrest"_s,
                 {start, end, u"T"_s, u"T"_s, u"T"_s, u"S"_s, u"ADMIN"_s, QString()}, kRead);
        }
    }

    // One day, sometimes two, of what the screen holds.
    void Save()
    {
        const int fatu = m_loaded.FieldIndex(u"QTHRAPROFATU"_s);
        const int worked = m_loaded.FieldIndex(u"QTHRTRAB"_s);
        const int day = m_loaded.FieldIndex(u"DTSERVPREST"_s);
        TDelta delta;
        delta.Fields = m_loaded.Fields;
        m_pending.clear();
        m_pendingRows.clear();
        const int days = 1 + (Pick(4) == 0);
        for (int i = 0; i < days; ++i) {
            const auto row = static_cast<std::size_t>(Pick(static_cast<int>(m_loaded.Rows.size())));
            if (std::any_of(m_pendingRows.begin(), m_pendingRows.end(),
                            [row](const auto& r) { return r.first == row; }))
                continue;
            const TRowValues& values = *m_loaded.Rows[row];
            // Unique values, so that the final check can tell saves apart.
            const double value = values[static_cast<std::size_t>(worked)].ToNumber() *
                                 (1.0 - 1e-7 * static_cast<double>(m_stats.NextValue++ % 1000000));
            TDeltaRecord rec;
            rec.Original = values;
            rec.New.emplace_back(fatu, Value::FromNumber(value));
            delta.Records.push_back(std::move(rec));
            m_pendingRows.emplace_back(row, value);
            m_pending.emplace_back(
                QStringList{m_pair.Proposal, m_pair.Version, m_pair.Service, m_pair.Employee,
                            QString::number(static_cast<qint64>(
                                values[static_cast<std::size_t>(day)].ToNumber()))}
                    .join(u'|'),
                value);
        }
        Send(u"SetCSA"_s, {DeltaToJson(delta)}, kSave);
    }

    TStats& m_stats;
    TPair m_pair;
    QString m_token, m_branch;
    std::mt19937 m_random;
    int m_thinkMs;
    QTcpSocket m_socket;
    QByteArray m_buffer;
    QElapsedTimer m_timer;
    QString m_method;
    TKind m_kind = kRead;
    qint64 m_id = 0;
    bool m_loggedIn = false, m_inFlight = false, m_stopping = false, m_done = false;
    TDataPacket m_loaded;
    std::vector<std::pair<QString, double>> m_pending;
    std::vector<std::pair<std::size_t, double>> m_pendingRows;
};

double Percentile(std::vector<double> ms, double p)
{
    if (ms.empty())
        return 0;
    std::sort(ms.begin(), ms.end());
    const auto at = static_cast<std::size_t>(p * static_cast<double>(ms.size() - 1) + 0.5);
    return ms[std::min(at, ms.size() - 1)];
}

int Run(const QString& bin, const QStringList& args, QString* out = nullptr)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(bin, args);
    p.waitForFinished(-1);
    if (out)
        *out = QString::fromUtf8(p.readAllStandardOutput());
    return p.exitCode();
}

struct TOptions
{
    int Connections = 200, ThinkMs = 0, Workers = 4;
    long long Requests = 100000, Seconds = 600, Scale = 200000;
    QString Db; // empty for a temporary database made here
};

TOptions ParseOptions(const QStringList& args)
{
    TOptions o;
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        const QString& name = args[i];
        const QString& value = args[i + 1];
        if (name == u"--connections")
            o.Connections = value.toInt();
        else if (name == u"--requests")
            o.Requests = value.toLongLong();
        else if (name == u"--seconds")
            o.Seconds = value.toLongLong();
        else if (name == u"--think-ms")
            o.ThinkMs = value.toInt();
        else if (name == u"--scale")
            o.Scale = value.toLongLong();
        else if (name == u"--db")
            o.Db = value;
        else if (name == u"--workers")
            o.Workers = value.toInt();
    }
    return o;
}

// Makes the database in dir unless one was given, and a token for ADMIN;
// false when the server's commands fail.
bool PrepareDatabase(const QString& bin, const QTemporaryDir& dir, TOptions& options,
                     QString& token)
{
    if (options.Db.isEmpty()) {
        options.Db = u"sqlite:"_s + dir.filePath(u"load.db"_s);
        std::printf("init --scale %lld ...\n", options.Scale);
        std::fflush(stdout);
        if (Run(bin, {u"init"_s, options.Db, u"--scale"_s, QString::number(options.Scale)}) != 0)
            return false;
    }
    if (Run(bin, {u"token"_s, options.Db, u"ADMIN"_s}, &token) != 0)
        return false;
    token = token.trimmed();
    return true;
}

// One pair per connection, each of another employee, with CSAs to work on;
// and the branch of the proposals.
std::vector<TPair> FindPairs(const QString& db, int connections, QString& branch)
{
    std::vector<TPair> pairs;
    auto storage = TStorage::Open(TDatabaseSpec::Parse(db));
    QSqlQuery& q = storage->Select(
        u"SELECT A.NRPROPOSFAS, A.NRVERPROPFAS, A.NRSERVCONT, A.CDFUNC, A.CDEMPRESA, "
        "P.CDCLIENTE, SC.CDTIPOSERV FROM CSA A JOIN PROPOSTA P ON P.NRPROPOSFAS = "
        "A.NRPROPOSFAS AND P.NRVERPROPFAS = A.NRVERPROPFAS JOIN SERVCONT SC ON "
        "SC.NRPROPOSFAS = A.NRPROPOSFAS AND SC.NRVERPROPFAS = A.NRVERPROPFAS AND "
        "SC.NRSERVCONT = A.NRSERVCONT WHERE A.NRSEQUCHT IS NULL GROUP BY A.NRPROPOSFAS, "
        "A.NRVERPROPFAS, A.NRSERVCONT, A.CDFUNC, A.CDEMPRESA, P.CDCLIENTE, SC.CDTIPOSERV "
        "HAVING COUNT(*) >= 60 ORDER BY A.CDFUNC, A.NRPROPOSFAS, A.NRSERVCONT"_s);
    QSet<QString> employees;
    while (q.next() && static_cast<int>(pairs.size()) < connections) {
        const QString employee = q.value(3).toString();
        if (employees.contains(employee))
            continue;
        employees.insert(employee);
        pairs.push_back({q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                         employee, q.value(4).toString(), q.value(5).toString(),
                         q.value(6).toString()});
    }
    TStorage::Done(q);
    QSqlQuery& b = storage->Select(u"SELECT MIN(CDFILIAL) FROM PROPOSTA"_s);
    b.next();
    branch = b.value(0).toString();
    TStorage::Done(b);
    return pairs;
}

// Starts the server with room for every connection and returns the port
// it reports; 0 when it did not start.
quint16 StartServer(QProcess& server, const QString& bin, const TOptions& options)
{
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Every connection comes from loopback: the per-address cap is the
    // server's limit here.
    const QString room = QString::number(options.Connections + 16);
    server.start(bin, {u"serve"_s, options.Db, u"--port"_s, u"0"_s, u"--log-level"_s, u"warning"_s,
                       u"--max-connections"_s, room, u"--max-per-address"_s, room, u"--workers"_s,
                       QString::number(options.Workers)});
    if (!server.waitForStarted() || !server.waitForReadyRead(30000))
        return 0;
    return static_cast<quint16>(QString::fromUtf8(server.readLine())
                                    .trimmed()
                                    .section(u':', -1)
                                    .section(u' ', 0, 0)
                                    .toUInt());
}

struct TRunFigures
{
    double Seconds = 0;
    int Connected = 0; // the most logged in at once
};

// Every connection at work until the request budget is spent or the time
// is up; then each stops after the reply in flight.
TRunFigures RunConnections(QCoreApplication& app, TStats& stats, const std::vector<TPair>& pairs,
                           const QString& token, const QString& branch, const TOptions& options,
                           quint16 port)
{
    TConnection::s_budget = options.Requests;
    std::vector<std::unique_ptr<TConnection>> clients;
    for (int i = 0; i < options.Connections; ++i) {
        clients.push_back(
            std::make_unique<TConnection>(stats, pairs[static_cast<std::size_t>(i)], token, branch,
                                          1000u + static_cast<unsigned>(i), options.ThinkMs));
        clients.back()->Start(port);
    }
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    bool stopping = false;
    TRunFigures figures;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        figures.Connected = std::max<int>(
            figures.Connected,
            static_cast<int>(std::count_if(clients.begin(), clients.end(),
                                           [](const auto& c) { return c->LoggedIn(); })));
        if (!stopping && clock.elapsed() > options.Seconds * 1000) {
            stopping = true;
            for (auto& c : clients)
                c->Stop();
        }
        if (std::all_of(clients.begin(), clients.end(), [](const auto& c) { return c->Idle(); }))
            app.quit();
    });
    poll.start(20);
    app.exec();
    figures.Seconds = static_cast<double>(clock.elapsed()) / 1000.0;
    return figures;
}

// No lost update: every acknowledged save is what the database holds, as
// only its own connection wrote those CSAs.
long long CountLostUpdates(const QString& db, const TStats& stats)
{
    long long lost = 0;
    auto storage = TStorage::Open(TDatabaseSpec::Parse(db));
    for (const auto& [key, value] : stats.Saved) {
        const QStringList k = key.split(u'|');
        QSqlQuery& q = storage->Select(
            u"SELECT QTHRAPROFATU FROM CSA WHERE NRPROPOSFAS = ? AND NRVERPROPFAS = ? AND "
            "NRSERVCONT = ? AND CDFUNC = ? AND DTSERVPREST = ?"_s,
            {k[0], k[1], k[2], k[3], k[4].toLongLong()});
        if (!q.next() || q.value(0).toDouble() != value)
            ++lost;
        TStorage::Done(q);
    }
    return lost;
}

void Report(const TOptions& options, const TStats& stats, const TRunFigures& run, long long lost)
{
    std::vector<double> all;
    for (const auto& ms : stats.Ms)
        all.insert(all.end(), ms.begin(), ms.end());
    std::printf("connections: %d (%d logged in at once), workers %d, think time %d ms\n",
                options.Connections, run.Connected, options.Workers, options.ThinkMs);
    std::printf("requests: %lld in %.1f s (%.0f per second); errors: %lld (conflicts %lld, "
                "connections dropped %lld)\n",
                stats.Requests, run.Seconds, static_cast<double>(stats.Requests) / run.Seconds,
                stats.Errors, stats.Conflicts, stats.Dropped);
    std::printf("latency, all: median %.2f ms, p99 %.2f ms\n", Percentile(all, 0.5),
                Percentile(all, 0.99));
    for (int k = 0; k < kKinds; ++k)
        std::printf("latency, %s (%zu): median %.2f ms, p99 %.2f ms\n", kKindNames[k],
                    stats.Ms[k].size(), Percentile(stats.Ms[k], 0.5),
                    Percentile(stats.Ms[k], 0.99));
    for (const auto& [method, n] : stats.ByMethod)
        std::printf("  %s: %lld\n", method.toUtf8().constData(), n);
    std::printf("saves acknowledged on %zu CSAs; lost updates: %lld\n", stats.Saved.size(), lost);
    for (const QString& e : stats.FirstErrors)
        std::printf("  error: %s\n", e.toUtf8().constData());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    TOptions options = ParseOptions(app.arguments());
    const QString bin = QCoreApplication::applicationDirPath() + u"/aph-server"_s;
    QTemporaryDir dir;
    QString token;
    if (!PrepareDatabase(bin, dir, options, token))
        return 1;

    QString branch;
    const std::vector<TPair> pairs = FindPairs(options.Db, options.Connections, branch);
    if (static_cast<int>(pairs.size()) < options.Connections) {
        std::fprintf(stderr, "only %zu employees with CSAs to work on; use a larger --scale\n",
                     pairs.size());
        return 1;
    }

    QProcess server;
    const quint16 port = StartServer(server, bin, options);
    if (port == 0)
        return 1;
    TStats stats;
    const TRunFigures run = RunConnections(app, stats, pairs, token, branch, options, port);
    server.terminate();
    server.waitForFinished(30000);

    const long long lost = CountLostUpdates(options.Db, stats);
    Report(options, stats, run, lost);
    return stats.Errors == 0 && lost == 0 ? 0 : 1;
}
