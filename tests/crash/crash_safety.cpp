// Crash safety of aph-server on SQLite: several clients save approvals
// (SetCSA) and generate CHTs (SetCHT) while the server is killed with
// SIGKILL at random moments and started again. After every kill the
// database must hold every save and generation a client saw succeed, no
// save that was refused, no delta half applied, no CHT without its CSAs, no
// CSA outside its CHT's service and employee, and pass integrity_check.
//
//   crash_safety [--kills N] [--clients N] [--max-run-ms N] [--seed N]
//
// Exits 0 when every check held after every kill; prints the figures.
#include "host/data/packetcodec.h"
#include "service/rpcclient.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QHash>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

using namespace aph;

namespace {

double Ole(const QDate& d)
{
    return static_cast<double>(QDate(1899, 12, 30).daysTo(d));
}

// One employee on one contracted service, as the screens name it.
struct TPair
{
    QString Proposal, Version, Service, Employee, Company, Client, Type;
};

// A CSA's key: proposal, version, service, employee and day.
QString Key(const QString& proposal, const QString& version, const QString& service,
            const QString& employee, qint64 day)
{
    return QStringList{proposal, version, service, employee, QString::number(day)}.join(u'|');
}

enum class TOutcome
{
    Acked,   // the client saw it succeed
    Refused, // the server refused it (a conflict): nothing of it may be stored
    InDoubt  // the connection died before the reply
};

struct TRecordWrite
{
    QString Key;
    std::optional<double> Old; // the approval the client had loaded
    double New = 0;
};

struct TWrite
{
    TOutcome Outcome = TOutcome::InDoubt;
    std::vector<TRecordWrite> Records;
};

struct TGeneration
{
    TOutcome Outcome = TOutcome::InDoubt;
    qint64 From = 0, To = 0;
};

// What the clients did, for the checks.
struct TLog
{
    std::mutex Mutex;
    std::vector<TWrite> Writes;
    std::vector<TGeneration> Generations;
    long long Refusals = 0, OtherRefusals = 0, RpcErrors = 0;
    QStringList Unexpected;
    // Values saved are unique, so that a stored value names its save.
    std::atomic<long long> NextValue{1};
};

class TServer
{
public:
    bool Start(const QString& spec)
    {
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        // Only warnings and errors: nobody reads the log pipe here.
        m_process.start(QStringLiteral(APH_SERVER_BIN),
                        {u"serve"_s, spec, u"--port"_s, u"0"_s, u"--log-level"_s, u"warning"_s});
        if (!m_process.waitForStarted(10000))
            return false;
        while (!m_process.canReadLine())
            if (!m_process.waitForReadyRead(20000))
                return false;
        m_port = static_cast<quint16>(QString::fromUtf8(m_process.readLine())
                                          .trimmed()
                                          .section(u':', -1)
                                          .section(u' ', 0, 0)
                                          .toUInt());
        return m_port != 0;
    }
    void Kill()
    {
        m_process.kill(); // SIGKILL: no handler, no clean shutdown
        m_process.waitForFinished(10000);
    }
    quint16 Port() const { return m_port; }
    QString Errors() { return QString::fromUtf8(m_process.readAllStandardError()); }

private:
    QProcess m_process;
    quint16 m_port = 0;
};

int RunCommand(const QStringList& args, QString* out = nullptr)
{
    QProcess p;
    p.start(QStringLiteral(APH_SERVER_BIN), args);
    p.waitForFinished(120000);
    if (out)
        *out = QString::fromUtf8(p.readAllStandardOutput());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

// One client's work until its connection dies or the round ends.
class TClientLoop
{
public:
    TClientLoop(TLog& log, const std::vector<TPair>& pairs, quint16 port, const QString& token,
                unsigned seed, qint64 lastDay)
        : m_log(log), m_pairs(pairs), m_port(port), m_token(token), m_random(seed),
          m_lastDay(lastDay)
    {}

    void Run(const std::atomic<bool>& stop)
    {
        TRpcClient client;
        client.CallTimeoutMs = 20000;
        try {
            client.Connect(u"127.0.0.1"_s, m_port);
            client.Login(u"ANA"_s, m_token);
        } catch (const std::exception&) {
            return; // killed before this client got in
        }
        while (!stop) {
            try {
                if (Pick(100) < 15)
                    Generate(client);
                else
                    Edit(client);
            } catch (const EConnectionError&) {
                return; // the server is gone; whatever was in flight is in doubt
            } catch (const ERpcError& e) {
                std::lock_guard lock(m_log.Mutex);
                ++m_log.RpcErrors;
                m_log.Unexpected << u"error %1: %2"_s.arg(e.Code()).arg(e.Message());
            } catch (const Exception& e) { // a read refused or malformed
                std::lock_guard lock(m_log.Mutex);
                m_log.Unexpected << e.Message();
            }
        }
    }

private:
    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_random); }

    void Generate(TRpcClient& client)
    {
        const qint64 first = static_cast<qint64>(Ole(QDate(2025, 2, 1)));
        const qint64 from = first + Pick(static_cast<int>(m_lastDay - first + 1));
        const qint64 to = std::min(m_lastDay, from + Pick(4));
        std::size_t index;
        {
            std::lock_guard lock(m_log.Mutex);
            m_log.Generations.push_back({TOutcome::InDoubt, from, to});
            index = m_log.Generations.size() - 1;
        }
        const QJsonValue reply =
            client.Call(u"SetCHT"_s, {static_cast<double>(from), static_cast<double>(to), u"ANA"_s,
                                      u"T"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s});
        std::lock_guard lock(m_log.Mutex);
        const bool ok = reply.toObject().value(u"ok").toBool();
        m_log.Generations[index].Outcome = ok ? TOutcome::Acked : TOutcome::Refused;
        if (!ok)
            m_log.Unexpected << reply.toObject().value(u"message").toString();
    }

    void Edit(TRpcClient& client)
    {
        const TPair& p = m_pairs[static_cast<std::size_t>(Pick(static_cast<int>(m_pairs.size())))];
        const double from = Ole(QDate(2025, 1, 1));
        const double to = static_cast<double>(m_lastDay + 60);
        TDataPacket rows;
        if (Pick(2) == 0) {
            rows = CheckedPacket(
                client.Call(u"GetCSA"_s, {p.Client, p.Employee, from, to, p.Type, p.Proposal,
                                          p.Version, QString(), u"N"_s, p.Company}));
        } else {
            const TDataPacket chts =
                CheckedPacket(client.Call(u"GetCHT"_s, {p.Type, p.Proposal, p.Version, from, to,
                                                        p.Employee, p.Company, u"_P"_s}));
            if (chts.Rows.empty())
                return;
            const TRow& cht =
                chts.Rows[static_cast<std::size_t>(Pick(static_cast<int>(chts.Rows.size())))];
            rows = CheckedPacket(
                client.Call(u"GetCSA"_s, {p.Client, p.Employee, from, to, p.Type, p.Proposal,
                                          p.Version, (*cht)[0].ToString(), u"S"_s, p.Company}));
        }
        const int fatu = rows.FieldIndex(u"QTHRAPROFATU"_s),
                  worked = rows.FieldIndex(u"QTHRTRAB"_s), day = rows.FieldIndex(u"DTSERVPREST"_s);
        std::vector<std::size_t> candidates;
        for (std::size_t i = 0; i < rows.Rows.size(); ++i)
            if ((*rows.Rows[i])[static_cast<std::size_t>(worked)].ToNumber() >= 0.5)
                candidates.push_back(i);
        if (candidates.empty())
            return;
        std::shuffle(candidates.begin(), candidates.end(), m_random);
        candidates.resize(std::min<std::size_t>(candidates.size(), 1 + Pick(3)));

        TDelta delta;
        delta.Fields = rows.Fields;
        TWrite write;
        for (std::size_t i : candidates) {
            const TRowValues& row = *rows.Rows[i];
            const double hours = row[static_cast<std::size_t>(worked)].ToNumber();
            const double value = hours * (1.0 - 1e-7 * static_cast<double>(m_log.NextValue++));
            TDeltaRecord rec;
            rec.Original = row;
            rec.New.emplace_back(fatu, Value::FromNumber(value));
            delta.Records.push_back(std::move(rec));
            const Value& old = row[static_cast<std::size_t>(fatu)];
            write.Records.push_back(
                {Key(p.Proposal, p.Version, p.Service, p.Employee,
                     static_cast<qint64>(row[static_cast<std::size_t>(day)].ToNumber())),
                 old.IsNull() ? std::nullopt : std::optional<double>(old.ToNumber()), value});
        }
        std::size_t index;
        {
            std::lock_guard lock(m_log.Mutex);
            m_log.Writes.push_back(std::move(write));
            index = m_log.Writes.size() - 1;
        }
        const QJsonObject reply = client.Call(u"SetCSA"_s, {DeltaToJson(delta)}).toObject();
        std::lock_guard lock(m_log.Mutex);
        if (reply.value(u"ok").toBool()) {
            m_log.Writes[index].Outcome = TOutcome::Acked;
            return;
        }
        m_log.Writes[index].Outcome = TOutcome::Refused;
        const QString message = reply.value(u"message").toString();
        if (message.contains(u"outro usuário"_s)) {
            ++m_log.Refusals;
        } else {
            ++m_log.OtherRefusals;
            m_log.Unexpected << message;
        }
    }

    TLog& m_log;
    const std::vector<TPair>& m_pairs;
    quint16 m_port;
    QString m_token;
    std::mt19937 m_random;
    qint64 m_lastDay;
};

struct TStored
{
    std::optional<double> Fatu;
    double Worked = 0;
    bool InCht = false;
    qint64 Day = 0;
};

class THarness
{
public:
    THarness(QString spec, QString path) : m_spec(std::move(spec)), m_path(std::move(path)) {}

    bool Setup()
    {
        if (RunCommand({u"init"_s, m_spec, u"--demo"_s}) != 0 ||
            RunCommand({u"token"_s, m_spec, u"ANA"_s}, &m_token) != 0)
            return false;
        m_token = m_token.trimmed();
        Open();
        QSqlQuery q(m_db);
        q.exec(u"SELECT DISTINCT A.NRPROPOSFAS, A.NRVERPROPFAS, A.NRSERVCONT, A.CDFUNC, "
               "A.CDEMPRESA, P.CDCLIENTE, SC.CDTIPOSERV FROM CSA A JOIN PROPOSTA P ON "
               "P.NRPROPOSFAS = A.NRPROPOSFAS AND P.NRVERPROPFAS = A.NRVERPROPFAS JOIN SERVCONT "
               "SC ON SC.NRPROPOSFAS = A.NRPROPOSFAS AND SC.NRVERPROPFAS = A.NRVERPROPFAS AND "
               "SC.NRSERVCONT = A.NRSERVCONT ORDER BY 1, 2, 3, 4"_s);
        while (q.next())
            m_pairs.push_back({q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                               q.value(3).toString(), q.value(4).toString(), q.value(5).toString(),
                               q.value(6).toString()});
        q.exec(u"SELECT MAX(DTSERVPREST) FROM CSA"_s);
        q.next();
        m_lastDay = q.value(0).toLongLong();
        for (const auto& [key, row] : Read())
            m_initial.insert(key, row.Fatu);
        Close();
        return !m_pairs.empty();
    }

    // One round: serve, let the clients work, kill at a random moment, check.
    bool Round(int clients, int maxRunMs, std::mt19937& random)
    {
        TServer server;
        if (!server.Start(m_spec)) {
            m_failures << u"the server did not start again after the kill: "_s + server.Errors();
            return false;
        }
        std::atomic<bool> stop{false};
        std::vector<std::thread> threads;
        for (int i = 0; i < clients; ++i) {
            const unsigned seed = static_cast<unsigned>(random());
            threads.emplace_back([this, &stop, seed, port = server.Port()] {
                TClientLoop(m_log, m_pairs, port, m_token, seed, m_lastDay).Run(stop);
            });
        }
        std::this_thread::sleep_for(
            std::chrono::milliseconds(std::uniform_int_distribution<int>(0, maxRunMs)(random)));
        server.Kill();
        stop = true;
        for (std::thread& t : threads)
            t.join();
        const bool ok = Check();
        ++m_kills;
        if (FreeCsas() < 150)
            AddDays(10);
        return ok;
    }

    void Report(double seconds)
    {
        long long acked = 0, refused = 0, doubt = 0, doubtApplied = 0, records = 0;
        for (const TWrite& w : m_log.Writes) {
            records += static_cast<long long>(w.Records.size());
            acked += w.Outcome == TOutcome::Acked;
            refused += w.Outcome == TOutcome::Refused;
            doubt += w.Outcome == TOutcome::InDoubt;
        }
        doubtApplied = m_doubtApplied;
        long long genAcked = 0, genDoubt = 0;
        for (const TGeneration& g : m_log.Generations) {
            genAcked += g.Outcome == TOutcome::Acked;
            genDoubt += g.Outcome == TOutcome::InDoubt;
        }
        std::printf("kills survived: %d in %.1f s\n", m_kills, seconds);
        std::printf("SetCSA: %zu sent (%lld CSA records); %lld acknowledged, all stored; %lld "
                    "refused as conflicts, none stored; %lld cut by a kill (%lld of them "
                    "committed, all whole)\n",
                    m_log.Writes.size(), records, acked, refused, doubt, doubtApplied);
        std::printf("SetCHT: %zu sent; %lld acknowledged, every CSA of their periods billed; %lld "
                    "cut by a kill; %lld CHTs in the database, none without CSAs\n",
                    m_log.Generations.size(), genAcked, genDoubt, m_chts);
        std::printf("CSAs: %lld (%lld added between kills); integrity_check ok after every kill\n",
                    m_csas, m_added);
        std::printf("failures: %lld\n", static_cast<long long>(m_failures.size()));
        for (const QString& f : m_failures.mid(0, 20))
            std::printf("  %s\n", f.toUtf8().constData());
    }

    bool Failed() const { return !m_failures.isEmpty(); }

private:
    void Open()
    {
        m_db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"check"_s);
        m_db.setDatabaseName(m_path);
        m_db.open();
    }
    void Close()
    {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(u"check"_s);
    }
    QStringList Column(const QString& sql)
    {
        QSqlQuery q(m_db);
        if (!q.exec(sql))
            m_failures << sql + u": " + q.lastError().text();
        QStringList out;
        while (q.next())
            out << q.value(0).toString();
        return out;
    }
    std::map<QString, TStored> Read()
    {
        std::map<QString, TStored> rows;
        QSqlQuery q(m_db);
        q.exec(u"SELECT NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT, CDFUNC, DTSERVPREST, "
               "QTHRAPROFATU, QTHRTRAB, NRSEQUCHT FROM CSA"_s);
        while (q.next()) {
            TStored s;
            if (!q.value(5).isNull())
                s.Fatu = q.value(5).toDouble();
            s.Worked = q.value(6).toDouble();
            s.InCht = !q.value(7).isNull();
            s.Day = q.value(4).toLongLong();
            rows[Key(q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                     q.value(3).toString(), s.Day)] = s;
        }
        return rows;
    }
    long long FreeCsas()
    {
        Open();
        const long long n =
            Column(u"SELECT COUNT(*) FROM CSA WHERE NRSEQUCHT IS NULL"_s).value(0).toLongLong();
        Close();
        return n;
    }
    // The next days' work arrives while the server is down.
    void AddDays(int days)
    {
        Open();
        QSqlQuery q(m_db);
        q.prepare(u"INSERT INTO CSA (NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT, CDFUNC, DTSERVPREST, "
                  "CDEMPRESA, QTHRTRAB, QTHRAPRCOMIS) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"_s);
        m_db.transaction();
        for (int d = 1; d <= days; ++d) {
            const qint64 day = m_lastDay + d;
            for (const TPair& p : m_pairs) {
                const double worked = 4 + static_cast<double>((day + p.Employee.size()) % 5);
                for (const QVariant& v : QVariantList{p.Proposal, p.Version, p.Service, p.Employee,
                                                      day, p.Company, worked, worked})
                    q.addBindValue(v);
                q.exec();
                m_initial.insert(Key(p.Proposal, p.Version, p.Service, p.Employee, day),
                                 std::nullopt);
                ++m_added;
            }
        }
        m_db.commit();
        m_lastDay += days;
        Close();
    }

    bool Check()
    {
        const qsizetype before = m_failures.size();
        Open();
        const auto fail = [this](const QString& what) {
            m_failures << u"kill %1: %2"_s.arg(m_kills + 1).arg(what);
        };
        if (Column(u"PRAGMA integrity_check"_s) != QStringList{u"ok"_s})
            fail(u"integrity_check failed"_s);
        if (!Column(u"PRAGMA foreign_key_check"_s).isEmpty())
            fail(u"a foreign key broken (a CSA outside its CHT's service or employee)"_s);
        if (Column(u"SELECT COUNT(*) FROM CHT H WHERE NOT EXISTS (SELECT 1 FROM CSA A WHERE "
                   "A.NRSEQUCHT = H.NRSEQUCHT)"_s) != QStringList{u"0"_s})
            fail(u"a CHT without CSAs"_s);
        if (Column(u"SELECT COUNT(*) FROM CHT WHERE NRSEQUCHT > (SELECT printf('%05d', NRVALOR) "
                   "FROM APH_SEQUENCIA WHERE NMSEQUENCIA = 'CHT')"_s) != QStringList{u"0"_s})
            fail(u"a CHT past the counter"_s);
        m_chts = Column(u"SELECT COUNT(*) FROM CHT"_s).value(0).toLongLong();
        const std::map<QString, TStored> rows = Read();
        m_csas = static_cast<long long>(rows.size());
        if (rows.size() != static_cast<std::size_t>(m_initial.size()))
            fail(u"%1 CSAs; expected %2"_s.arg(rows.size()).arg(m_initial.size()));

        std::lock_guard lock(m_log.Mutex);
        // Which saves each CSA's stored approval goes back through: the
        // values are unique, and each save names the value it replaced.
        for (; m_indexed < m_log.Writes.size(); ++m_indexed)
            for (std::size_t r = 0; r < m_log.Writes[m_indexed].Records.size(); ++r) {
                const TRecordWrite& rec = m_log.Writes[m_indexed].Records[r];
                m_byValue[rec.Key].insert(rec.New, {m_indexed, r});
            }
        std::vector<std::size_t> applied(m_log.Writes.size(), 0);
        std::set<qint64> freeDays;
        for (const auto& [key, row] : rows) {
            if (!row.InCht)
                freeDays.insert(row.Day);
            std::optional<double> value = row.Fatu;
            const auto found = m_byValue.constFind(key);
            for (int steps = 0; found != m_byValue.constEnd() && value && found->contains(*value) &&
                                steps < 1000000;
                 ++steps) {
                const auto at = found->value(*value);
                ++applied[at.first];
                value = m_log.Writes[at.first].Records[at.second].Old;
            }
            const std::optional<double> initial = m_initial.value(key);
            const bool filledByGeneration = row.InCht && !initial && value && *value == row.Worked;
            if (value != initial && !filledByGeneration)
                fail(u"CSA %1: the approval %2 comes from no save"_s.arg(key).arg(
                    value ? QString::number(*value, 'g', 17) : u"null"_s));
        }
        for (std::size_t w = 0; w < m_log.Writes.size(); ++w) {
            const TWrite& write = m_log.Writes[w];
            const std::size_t in = applied[w];
            if (write.Outcome == TOutcome::Acked && in != write.Records.size())
                fail(u"save %1 acknowledged and lost"_s.arg(w));
            if (write.Outcome == TOutcome::Refused && in != 0)
                fail(u"save %1 refused and stored"_s.arg(w));
            if (in != 0 && in != write.Records.size())
                fail(u"save %1 half applied"_s.arg(w));
            if (write.Outcome == TOutcome::InDoubt && in != 0 && !m_counted.contains(w)) {
                m_counted.insert(w);
                ++m_doubtApplied;
            }
        }
        for (const TGeneration& g : m_log.Generations) {
            if (g.Outcome != TOutcome::Acked)
                continue;
            const auto free = freeDays.lower_bound(g.From);
            if (free != freeDays.end() && *free <= g.To)
                fail(u"day %1 has a CSA without CHT after an acknowledged generation"_s.arg(*free));
        }
        for (const QString& u : m_log.Unexpected)
            fail(u"unexpected answer: "_s + u);
        m_log.Unexpected.clear();
        Close();
        return m_failures.size() == before;
    }

    QString m_spec, m_path, m_token;
    QSqlDatabase m_db;
    std::vector<TPair> m_pairs;
    qint64 m_lastDay = 0;
    QHash<QString, std::optional<double>> m_initial;
    TLog m_log;
    QStringList m_failures;
    std::set<std::size_t> m_counted;
    QHash<QString, QHash<double, std::pair<std::size_t, std::size_t>>> m_byValue;
    std::size_t m_indexed = 0;
    int m_kills = 0;
    long long m_doubtApplied = 0, m_chts = 0, m_csas = 0, m_added = 0;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int kills = 25, clients = 4, maxRunMs = 400;
    unsigned seed = static_cast<unsigned>(std::random_device()());
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        const QString& name = args[i];
        const int value = args[i + 1].toInt();
        if (name == u"--kills")
            kills = value;
        else if (name == u"--clients")
            clients = value;
        else if (name == u"--max-run-ms")
            maxRunMs = value;
        else if (name == u"--seed")
            seed = static_cast<unsigned>(value);
    }
    std::printf("crash_safety --kills %d --clients %d --max-run-ms %d --seed %u\n", kills, clients,
                maxRunMs, seed);
    std::fflush(stdout);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"aph.db"_s);
    THarness harness(u"sqlite:"_s + path, path);
    if (!harness.Setup()) {
        std::fprintf(stderr, "could not make the database\n");
        return 1;
    }
    std::mt19937 random(seed);
    QElapsedTimer timer;
    timer.start();
    for (int k = 0; k < kills; ++k)
        if (!harness.Round(clients, maxRunMs, random))
            break;
    harness.Report(static_cast<double>(timer.elapsed()) / 1000.0);
    return harness.Failed() ? 1 : 0;
}
