#pragma once

#include "service/rpcclient.h"

#include <QJsonArray>
#include <QProcess>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <gtest/gtest.h>

#include <memory>

namespace aph::test {

// The database one test runs against: a temporary SQLite file, or, when
// the test runs with APH_TEST_BACKEND=pg, a fresh database on the
// PostgreSQL server named by APH_TEST_PG_URI (dropped afterwards).
class TTestDatabase
{
public:
    TTestDatabase();
    ~TTestDatabase();
    TTestDatabase(const TTestDatabase&) = delete;
    TTestDatabase& operator=(const TTestDatabase&) = delete;

    static bool UsesPostgres();
    // False (with the reason) when the backend asked for is not available.
    static bool Available(QString* why);

    const QString& Spec() const { return m_spec; }
    // Direct SQL on the same database, for setting up and checking data.
    void Exec(const QString& sql, const QVariantList& values = {});
    // A statement run as it is, unprepared (BEGIN, LOCK TABLE, COMMIT).
    void ExecDirect(const QString& sql);
    QVariant Scalar(const QString& sql, const QVariantList& values = {});
    QList<QVariantList> Rows(const QString& sql, const QVariantList& values = {});
    // PostgreSQL: waits until some connection waits for a lock another
    // holds (one taken in a transaction of this one, say); false at the
    // deadline.
    bool AwaitLockWait(int timeoutMs = 10000);
    // PostgreSQL, in a transaction of this connection: locks the rows of
    // the SELECT (FOR UPDATE NOWAIT) and says whether they could be taken
    // at once; when another transaction holds one, this connection's
    // transaction is aborted: roll it back.
    bool LockedAtOnce(const QString& select, const QVariantList& values = {});
    // The SQLite file; empty on PostgreSQL.
    QString SqlitePath() const;
    // Closes the test's connection, so that the next statement opens the
    // file found at the path now.
    void Reconnect();
    // Where the server keeps the reads' audit records: the file beside the
    // SQLite database, or the PostgreSQL database itself.
    QSqlDatabase AuditDb();

private:
    QSqlDatabase Db();

    QTemporaryDir m_dir;
    QString m_spec;
    QString m_connection;
    QString m_pgName;
};

// Runs aph-server with the arguments and waits; returns its exit code and
// gives its standard output and error.
int RunServerCommand(const QStringList& args, QString* out = nullptr, QString* err = nullptr);
// The same, with its standard output and error together in text.
int RunServerCommand(const QStringList& args, QString& text);

// A file of these bytes under folder, replaced if there; its path.
QString WriteTestFile(const QString& folder, const QString& name, const QByteArray& text);

// A real aph-server process serving a database on a free loopback port.
class TServerProcess
{
public:
    // On a free port, or on the port given (a server restarted where the
    // clients knew it).
    TServerProcess(const QString& spec, const QStringList& extraArgs = {}, quint16 port = 0);
    ~TServerProcess();
    quint16 Port() const { return m_port; }
    bool IsRunning() const { return m_process.state() == QProcess::Running; }
    // Ends the server at once (SIGKILL), as a crash or a pulled plug would:
    // its connections drop without a word.
    void Kill();
    // What the server wrote on stderr so far, waiting up to timeoutMs for
    // a line holding the text.
    QString Log(const QString& text = QString(), int timeoutMs = 5000);

private:
    QProcess m_process;
    QString m_log;
    QString m_logFile; // the server's standard error
    quint16 m_port = 0;
};

// OLE day numbers of the days tests use; test data lives in 2030, apart
// from the demo data of 2025.
double Day(int year, int month, int day);

// The fixture of the server tests: a database initialised with --demo, a
// token for the operator ANA, a server that requires Login, and a client
// logged in as ANA. Helpers add test rows with their own keys.
class ServerTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the server (again) with extra options.
    void StartServer(const QStringList& extraArgs = {});
    // A client of the test's server, or of another server on the same port.
    std::unique_ptr<TRpcClient> NewClient(bool login = true, quint16 port = 0);

    // Calls a method through the result check; the packet, or EServerError.
    TDataPacket Checked(const QString& method, const QJsonArray& params);
    TDataPacket Checked(TRpcClient& client, const QString& method, const QJsonArray& params);

    void AddClient(const QString& code, const QString& name);
    void AddProposal(const QString& proposal, const QString& version, const QString& client,
                     const QString& branch = QStringLiteral("0001"));
    void AddService(const QString& proposal, const QString& version, const QString& number,
                    const QString& type, const QString& billing = QStringLiteral("H"));
    void AddEmployee(const QString& code, const QString& name, const QString& company,
                     bool activeOperator = true);
    void AddCht(const QString& number, const QString& proposal, const QString& version,
                const QString& service, const QString& employee, const QString& company,
                const QString& status);
    void AddCsa(const QString& proposal, const QString& version, const QString& service,
                const QString& employee, const QString& company, double day, double hours,
                const QVariant& cht = {}, const QVariant& billed = {},
                const QVariant& commission = {});
    // A small world of its own: client TC1 with proposal TP1/01 (services 001
    // DES by the hour and 002 SUP as a package), client TC2 with TP2/01
    // (001 CON fixed); employees TF1 (company 01) and TF2 (02); CSAs in
    // March 2030.
    void AddTestWorld();
    // Takes the database back to schema version 5, as a server before
    // operator roles left it (the server stopped first), for the tests of
    // the upgrades.
    void DowngradeToVersion5();

    std::unique_ptr<TTestDatabase> m_db;
    std::unique_ptr<TServerProcess> m_server;
    std::unique_ptr<TRpcClient> m_client;
    QString m_token;
};

// The incident id a server message quotes: "(ocorrência 3f2a9c01)";
// empty when it quotes none.
QString IncidentOf(const QString& message);
// Selection strings for a few keys.
QString Sel(std::initializer_list<const char*> keys);
// The values of one column of a packet, as text.
QStringList Column(const TDataPacket& packet, const char* field);

} // namespace aph::test
