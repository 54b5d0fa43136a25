#include "serverfixture.h"

#include "host/data/formatsettings.h"
#include "host/data/selection.h"
#include "server/storage/pendingdays.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QDate>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QThread>
#include <QUrl>
#include <QUuid>

using namespace Qt::StringLiterals;

namespace aph::test {

namespace {

QAtomicInt g_counter;

QString PgUri()
{
    return qEnvironmentVariable("APH_TEST_PG_URI");
}

} // namespace

bool TTestDatabase::UsesPostgres()
{
    return qEnvironmentVariable("APH_TEST_BACKEND") == u"pg";
}

bool TTestDatabase::Available(QString* why)
{
    if (UsesPostgres() && PgUri().isEmpty()) {
        *why = u"APH_TEST_PG_URI is not set; ./test sets it"_s;
        return false;
    }
    return true;
}

TTestDatabase::TTestDatabase()
{
    m_connection = u"test-%1"_s.arg(g_counter.fetchAndAddRelaxed(1));
    if (!UsesPostgres()) {
        m_spec = u"sqlite:"_s + m_dir.filePath(u"aph.db"_s);
        return;
    }
    // A database of its own, made on the shared test cluster.
    QUrl url(PgUri());
    m_pgName = u"aph_t%1_%2"_s.arg(QCoreApplication::applicationPid())
                   .arg(g_counter.fetchAndAddRelaxed(1));
    {
        QSqlDatabase admin = QSqlDatabase::addDatabase(u"QPSQL"_s, m_connection + u"a");
        admin.setHostName(url.host());
        admin.setPort(url.port(5432));
        admin.setUserName(url.userName());
        admin.setPassword(url.password());
        admin.setDatabaseName(url.path().mid(1));
        if (!admin.open())
            throw std::runtime_error(admin.lastError().text().toStdString());
        QSqlQuery q(admin);
        if (!q.exec(u"CREATE DATABASE "_s + m_pgName))
            throw std::runtime_error(q.lastError().text().toStdString());
        admin.close();
    }
    QSqlDatabase::removeDatabase(m_connection + u"a");
    url.setPath(u'/' + m_pgName);
    m_spec = url.toString();
}

TTestDatabase::~TTestDatabase()
{
    Reconnect();
    if (QSqlDatabase::contains(m_connection + u"-audit")) {
        QSqlDatabase::database(m_connection + u"-audit").close();
        QSqlDatabase::removeDatabase(m_connection + u"-audit");
    }
    if (m_pgName.isEmpty())
        return;
    const QUrl url(PgUri());
    {
        QSqlDatabase admin = QSqlDatabase::addDatabase(u"QPSQL"_s, m_connection + u"d");
        admin.setHostName(url.host());
        admin.setPort(url.port(5432));
        admin.setUserName(url.userName());
        admin.setPassword(url.password());
        admin.setDatabaseName(url.path().mid(1));
        if (admin.open()) {
            QSqlQuery q(admin);
            q.exec(u"DROP DATABASE IF EXISTS %1 WITH (FORCE)"_s.arg(m_pgName));
        }
        admin.close();
    }
    QSqlDatabase::removeDatabase(m_connection + u"d");
}

QString TTestDatabase::SqlitePath() const
{
    return UsesPostgres() ? QString() : m_spec.mid(7);
}

void TTestDatabase::Reconnect()
{
    if (QSqlDatabase::contains(m_connection)) {
        QSqlDatabase::database(m_connection).close();
        QSqlDatabase::removeDatabase(m_connection);
    }
}

QSqlDatabase TTestDatabase::AuditDb()
{
    if (UsesPostgres())
        return Db();
    const QString name = m_connection + u"-audit";
    if (QSqlDatabase::contains(name))
        return QSqlDatabase::database(name);
    QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
    db.setDatabaseName(SqlitePath() + u".audit"_s);
    db.setConnectOptions(u"QSQLITE_BUSY_TIMEOUT=10000"_s);
    if (!db.open())
        throw std::runtime_error(db.lastError().text().toStdString());
    return db;
}

QSqlDatabase TTestDatabase::Db()
{
    if (QSqlDatabase::contains(m_connection))
        return QSqlDatabase::database(m_connection);
    QSqlDatabase db;
    if (UsesPostgres()) {
        const QUrl url(m_spec);
        db = QSqlDatabase::addDatabase(u"QPSQL"_s, m_connection);
        db.setHostName(url.host());
        db.setPort(url.port(5432));
        db.setUserName(url.userName());
        db.setPassword(url.password());
        db.setDatabaseName(m_pgName);
    } else {
        db = QSqlDatabase::addDatabase(u"QSQLITE"_s, m_connection);
        db.setDatabaseName(m_spec.mid(7));
        db.setConnectOptions(u"QSQLITE_BUSY_TIMEOUT=10000"_s);
    }
    if (!db.open())
        throw std::runtime_error(db.lastError().text().toStdString());
    if (!UsesPostgres()) // SQLite checks foreign keys only where asked to
        QSqlQuery(db).exec(u"PRAGMA foreign_keys=ON"_s);
    return db;
}

void TTestDatabase::Exec(const QString& sql, const QVariantList& values)
{
    Rows(sql, values);
}

bool TTestDatabase::LockedAtOnce(const QString& select, const QVariantList& values)
{
    try {
        Exec(select + u" FOR UPDATE NOWAIT"_s, values);
        return true;
    } catch (const std::exception&) {
        return false; // held by another transaction
    }
}

bool TTestDatabase::AwaitLockWait(int timeoutMs)
{
    // pg_locks is read live, even inside this connection's transaction.
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (Scalar(u"SELECT COUNT(*) FROM pg_locks WHERE NOT granted"_s).toInt() > 0)
            return true;
        QThread::msleep(10);
    }
    return false;
}

void TTestDatabase::ExecDirect(const QString& sql)
{
    QSqlQuery q(Db());
    if (!q.exec(sql))
        throw std::runtime_error(QString(sql + u": " + q.lastError().text()).toStdString());
}

QVariant TTestDatabase::Scalar(const QString& sql, const QVariantList& values)
{
    const QList<QVariantList> rows = Rows(sql, values);
    return rows.isEmpty() || rows[0].isEmpty() ? QVariant() : rows[0][0];
}

QList<QVariantList> TTestDatabase::Rows(const QString& sql, const QVariantList& values)
{
    QSqlQuery q(Db());
    if (!q.prepare(sql))
        throw std::runtime_error(QString(sql + u": " + q.lastError().text()).toStdString());
    for (int i = 0; i < values.size(); ++i)
        q.bindValue(i, values[i]);
    if (!q.exec())
        throw std::runtime_error(QString(sql + u": " + q.lastError().text()).toStdString());
    QList<QVariantList> rows;
    while (q.next()) {
        QVariantList row;
        for (int i = 0; i < q.record().count(); ++i)
            row << q.value(i);
        rows << row;
    }
    return rows;
}

int RunServerCommand(const QStringList& args, QString& text)
{
    QString out, err;
    const int code = RunServerCommand(args, &out, &err);
    text = out + err;
    return code;
}

QString WriteTestFile(const QString& folder, const QString& name, const QByteArray& text)
{
    const QString path = QDir(folder).filePath(name);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(text);
    return path;
}

int RunServerCommand(const QStringList& args, QString* out, QString* err)
{
    QProcess p;
    p.start(QStringLiteral(APH_SERVER_BIN), args);
    if (!p.waitForFinished(300000))
        throw std::runtime_error("aph-server did not finish");
    if (out)
        *out = QString::fromUtf8(p.readAllStandardOutput());
    if (err)
        *err = QString::fromUtf8(p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

TServerProcess::TServerProcess(const QString& spec, const QStringList& extraArgs, quint16 port)
{
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.setReadChannel(QProcess::StandardOutput);
    // The log goes to a file: a pipe nobody reads between two looks would
    // fill and stop the server at its next line.
    m_logFile = QDir::temp().filePath(
        u"aph-server-%1.log"_s.arg(QUuid::createUuid().toString(QUuid::Id128)));
    m_process.setStandardErrorFile(m_logFile);
    m_process.start(QStringLiteral(APH_SERVER_BIN),
                    QStringList{u"serve"_s, spec, u"--port"_s, QString::number(port)} + extraArgs);
    if (!m_process.waitForStarted(10000))
        throw std::runtime_error("aph-server did not start");
    // The first line says where it listens: "... escutando em ADDR:PORT".
    while (!m_process.canReadLine()) {
        if (!m_process.waitForReadyRead(20000))
            throw std::runtime_error(
                QString(u"aph-server did not report its port: "_s + Log()).toStdString());
    }
    const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
    const QString tail = line.section(u':', -1).section(u' ', 0, 0);
    m_port = static_cast<quint16>(tail.toUInt());
    if (m_port == 0)
        throw std::runtime_error(QString(u"unexpected first line: " + line).toStdString());
}

TServerProcess::~TServerProcess()
{
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    QFile::remove(m_logFile);
}

void TServerProcess::Kill()
{
    m_process.kill();
    m_process.waitForFinished(5000);
}

QString TServerProcess::Log(const QString& text, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        QFile file(m_logFile);
        if (file.open(QIODevice::ReadOnly))
            m_log = QString::fromUtf8(file.readAll());
        if (text.isEmpty() || m_log.contains(text) || timer.elapsed() > timeoutMs)
            break;
        QThread::msleep(20);
    }
    return m_log;
}

QString IncidentOf(const QString& message)
{
    static const QRegularExpression id(u"ocorrência ([0-9a-f]{8})"_s);
    return id.match(message).captured(1);
}

double Day(int year, int month, int day)
{
    return DateToOle(QDate(year, month, day));
}

void ServerTest::SetUp()
{
    QString why;
    if (!TTestDatabase::Available(&why))
        GTEST_SKIP() << why.toStdString();
    m_db = std::make_unique<TTestDatabase>();
    QString out, err;
    ASSERT_EQ(RunServerCommand({u"init"_s, m_db->Spec(), u"--demo"_s}, &out, &err), 0)
        << err.toStdString();
    ASSERT_EQ(RunServerCommand({u"token"_s, m_db->Spec(), u"ANA"_s}, &out, &err), 0)
        << err.toStdString();
    m_token = out.trimmed();
    StartServer();
}

void ServerTest::TearDown()
{
    m_client.reset();
    m_server.reset();
    m_db.reset();
}

void ServerTest::StartServer(const QStringList& extraArgs)
{
    m_client.reset();
    m_server.reset();
    m_server = std::make_unique<TServerProcess>(m_db->Spec(), extraArgs);
    m_client = NewClient(!extraArgs.contains(u"--no-auth"_s));
}

std::unique_ptr<TRpcClient> ServerTest::NewClient(bool login, quint16 port)
{
    auto client = std::make_unique<TRpcClient>();
    client->CallTimeoutMs = 30000;
    client->Connect(u"127.0.0.1"_s, port ? port : m_server->Port());
    if (login)
        client->Login(u"ANA"_s, m_token);
    return client;
}

TDataPacket ServerTest::Checked(const QString& method, const QJsonArray& params)
{
    return Checked(*m_client, method, params);
}

TDataPacket ServerTest::Checked(TRpcClient& client, const QString& method, const QJsonArray& params)
{
    return CheckedPacket(client.Call(method, params));
}

void ServerTest::AddClient(const QString& code, const QString& name)
{
    m_db->Exec(u"INSERT INTO CLIENTE (CDCLIENTE, NMFANTCLIE, NMRAZSOCCLIE, "
               "NRINSJURCLIE, IDTPIJURCLIE) VALUES (?, ?, ?, ?, 'J')"_s,
               {code, name, name, u"11222333000181"_s});
}

void ServerTest::AddProposal(const QString& proposal, const QString& version, const QString& client,
                             const QString& branch)
{
    m_db->Exec(u"INSERT INTO PROPOSTA (NRPROPOSFAS, NRVERPROPFAS, CDCLIENTE, "
               "NRPROPOSTA, DSREFEPROPOSFAS, CDFILIAL) VALUES (?, ?, ?, ?, ?, ?)"_s,
               {proposal, version, client, QString(proposal + u'-' + version),
                QString(u"Referência "_s + proposal), branch});
}

void ServerTest::AddService(const QString& proposal, const QString& version, const QString& number,
                            const QString& type, const QString& billing)
{
    m_db->Exec(u"INSERT INTO SERVCONT (NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT, "
               "CDTIPOSERV, QTSERVCONT, DSLOCALCONT, IDTIPOCOBRCONT, VRHORACLIE, "
               "VRDEHORACLIE) VALUES (?, ?, ?, ?, 40, 'Local', ?, 100, 90)"_s,
               {proposal, version, number, type, billing});
}

void ServerTest::AddEmployee(const QString& code, const QString& name, const QString& company,
                             bool activeOperator)
{
    m_db->Exec(u"INSERT INTO FUNCIONARIO (CDFUNC, NMFUNC, CDEMPRESA) VALUES (?, ?, "
               "?)"_s,
               {code, name, company});
    m_db->Exec(u"INSERT INTO OPERADOR (CDOPERADOR, NMOPERADOR, CDFUNC, "
               "IDOPERATIVO) VALUES (?, ?, ?, ?)"_s,
               {QString(u"OP"_s + code), name, code, activeOperator ? u"A"_s : u"I"_s});
}

void ServerTest::AddCht(const QString& number, const QString& proposal, const QString& version,
                        const QString& service, const QString& employee, const QString& company,
                        const QString& status)
{
    m_db->Exec(u"INSERT INTO CHT (NRSEQUCHT, DSREFECHT, DTINCLCHT, CDOPERINCL, "
               "IDSTATUSCHT, NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT, CDFUNC, "
               "CDEMPRESA) VALUES (?, ?, ?, 'ADMIN', ?, ?, ?, ?, ?, ?)"_s,
               {number, QString(u"CHT "_s + number), Day(2030, 4, 2), status, proposal, version,
                service, employee, company});
}

void ServerTest::AddCsa(const QString& proposal, const QString& version, const QString& service,
                        const QString& employee, const QString& company, double day, double hours,
                        const QVariant& cht, const QVariant& billed, const QVariant& commission)
{
    const auto orNull = [](const QVariant& v, QMetaType type) {
        return v.isValid() ? v : QVariant(type);
    };
    m_db->Exec(u"INSERT INTO CSA (NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT, CDFUNC, "
               "DTSERVPREST, CDEMPRESA, QTHRTRAB, QTHRAPROFATU, QTHRAPRCOMIS, "
               "NRSEQUCHT) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s,
               {proposal, version, service, employee, static_cast<qint64>(day), company, hours,
                orNull(billed, QMetaType::fromType<double>()),
                orNull(commission, QMetaType::fromType<double>()),
                orNull(cht, QMetaType::fromType<QString>())});
    // The kept days of fixed-value services follow the CSA, as the
    // server's own writes keep them (a schema taken back to an older
    // version has no such table).
    const QVariantList pair{proposal, version, service, employee};
    try {
        m_db->Exec(u"DELETE FROM APH_PENDFIXO WHERE NRPROPOSFAS = ? AND NRVERPROPFAS = ? AND "
                   "NRSERVCONT = ? AND CDFUNC = ?"_s,
                   pair);
        m_db->Exec(u"INSERT INTO APH_PENDFIXO ("_s + kPendingFixedColumns + u") "_s +
                       PendingFixedSelect(u"A.NRPROPOSFAS = ? AND A.NRVERPROPFAS = ? AND "
                                          "A.NRSERVCONT = ? AND A.CDFUNC = ?"_s),
                   pair);
    } catch (const std::exception&) {
    }
}

void ServerTest::AddTestWorld()
{
    const auto s = [](const char* t) {
        return QString::fromUtf8(t);
    };
    AddClient(s("TC1"), s("Cliente Teste Um"));
    AddClient(s("TC2"), s("Cliente Teste Dois"));
    AddProposal(s("TP1"), s("01"), s("TC1"));
    AddProposal(s("TP2"), s("01"), s("TC2"));
    AddService(s("TP1"), s("01"), s("001"), s("DES"), s("H"));
    AddService(s("TP1"), s("01"), s("002"), s("SUP"), s("P"));
    AddService(s("TP2"), s("01"), s("001"), s("CON"), s("F"));
    AddEmployee(s("TF1"), s("Teste Funcionário Um"), s("01"));
    AddEmployee(s("TF2"), s("Teste Funcionário Dois"), s("02"));
    // The firm that issues the client's statements.
    m_db->Exec(u"UPDATE PARAMGERAL SET NMEMITENTE = 'Firma de Teste Ltda.', NRCNPJEMITENTE = "
               "'45781296000163' WHERE IDPARAMGERAL = 1"_s);
}

void ServerTest::DowngradeToVersion5()
{
    for (const char* sql :
         {"DROP VIEW APH_HISTCSA", "DROP TABLE APH_ACEITEDIA", "DROP TABLE APH_ACEITE",
          "DROP INDEX IX_CSA_PEND_HORAEXTRA", "DROP INDEX IX_CSA_PEND_OCORRENCIA",
          "DROP TABLE APH_PENDFIXO", "DROP TABLE APH_PAPEL", "DROP INDEX UX_CHT_NOTAFISCAL",
          "DROP INDEX IX_APH_HISTEVENTO_CHT", "ALTER TABLE CHT DROP COLUMN NRNOTAFISCAL",
          "ALTER TABLE APH_HISTEVENTO DROP COLUMN DSMOTIVO",
          "ALTER TABLE APH_HISTEVENTO DROP COLUMN NRNOTAFISCAL",
          "CREATE VIEW APH_HISTCSA AS SELECT NRHISTCSA, NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT, "
          "CDFUNC, DTSERVPREST, DTEVENTO, CDOPERADOR, IDEVENTO, QTHRAPROFATU_ANT, QTHRAPROFATU, "
          "QTHRAPRCOMIS_ANT, QTHRAPRCOMIS, CDGRPOCOR_ANT, CDOCORR_ANT, CDGRPOCOR, CDOCORR, "
          "NRSEQUCHT, IDSTATUSCHT_ANT, IDSTATUSCHT, DSCHAVE FROM APH_HISTEVENTO UNION ALL "
          "SELECT G.NRHISTCSA, H.NRPROPOSFAS, H.NRVERPROPFAS, H.NRSERVCONT, H.CDFUNC, "
          "D.DTSERVPREST, G.DTEVENTO, G.CDOPERADOR, CAST('G' AS VARCHAR(1)), "
          "D.QTHRAPROFATU_ANT, D.QTHRAPROFATU, D.QTHRAPRCOMIS_ANT, D.QTHRAPRCOMIS, "
          "D.CDGRPOCOR, D.CDOCORR, D.CDGRPOCOR, D.CDOCORR, D.NRSEQUCHT, "
          "CAST(NULL AS VARCHAR(1)), CAST('P' AS VARCHAR(1)), G.DSCHAVE "
          "FROM APH_HISTGERCSA D JOIN APH_HISTGERACAO G ON G.NRSEQUCHT = D.NRSEQUCHT "
          "JOIN CHT H ON H.NRSEQUCHT = D.NRSEQUCHT",
          "ALTER TABLE PARAMGERAL DROP COLUMN NMEMITENTE",
          "ALTER TABLE PARAMGERAL DROP COLUMN NRCNPJEMITENTE",
          "UPDATE APH_VERSAO SET NRVERSAO = 5"})
        m_db->ExecDirect(QString::fromLatin1(sql));
}

QString Sel(std::initializer_list<const char*> keys)
{
    QStringList list;
    for (const char* k : keys)
        list << QString::fromUtf8(k);
    return EncodeSelection(list);
}

QStringList Column(const TDataPacket& packet, const char* field)
{
    const int index = packet.FieldIndex(QString::fromLatin1(field));
    QStringList values;
    for (const TRow& row : packet.Rows) {
        const Value& v = (*row)[static_cast<std::size_t>(index)];
        values << (v.IsNumber() ? QString::number(v.ToNumber()) : v.ToString());
    }
    return values;
}

} // namespace aph::test
