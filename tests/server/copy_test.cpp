// aph-server copy: every row of every table survives a copy to the other
// engine and back, and a copy serves on from the origin; a destination in
// use or a bad origin is refused; a failed copy leaves nothing behind.
#include "host/data/packetcodec.h"
#include "tests/support/serverfixture.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QUrl>

#include <algorithm>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

const QStringList kTables =
    u"PARAMGERAL CLIENTE FUNCIONARIO OPERADOR APH_PAPEL OCORRENCIA TIPOSERV PROPOSTA SERVCONT CHT "
    u"CSA "
    "APH_TOKEN APH_SEQUENCIA APH_REQUISICAO APH_HISTEVENTO APH_HISTGERACAO APH_HISTGERCSA "
    "APH_AUDITORIA"_s.split(u' ');

const double kMar1 = Day(2030, 3, 1), kMar31 = Day(2030, 3, 31);
const double kApr1 = Day(2030, 4, 1), kApr30 = Day(2030, 4, 30);

QString PgUri()
{
    return qEnvironmentVariable("APH_TEST_PG_URI");
}

int g_names = 0;

// A connection of the test's own to a database named as aph-server names
// it; on SQLite with the file of read audit records attached.
class TPeek
{
public:
    explicit TPeek(const QString& spec) : m_name(u"copia-%1"_s.arg(++g_names))
    {
        const bool sqlite = spec.startsWith(u"sqlite:");
        const QUrl url(spec);
        QSqlDatabase db = QSqlDatabase::addDatabase(sqlite ? u"QSQLITE"_s : u"QPSQL"_s, m_name);
        db.setDatabaseName(sqlite ? spec.mid(7) : url.path().mid(1));
        db.setHostName(url.host());
        db.setPort(url.port(5432));
        db.setUserName(url.userName());
        if (!db.open())
            throw std::runtime_error(db.lastError().text().toStdString());
        m_audit = sqlite && QFileInfo::exists(spec.mid(7) + u".audit"_s);
        if (m_audit)
            Rows(u"ATTACH DATABASE '%1.audit' AS AUD"_s.arg(spec.mid(7)));
    }
    ~TPeek() { QSqlDatabase::removeDatabase(m_name); }

    QList<QVariantList> Rows(const QString& sql)
    {
        QSqlQuery q(QSqlDatabase::database(m_name));
        if (!q.exec(sql))
            throw std::runtime_error(QString(sql + u": "_s + q.lastError().text()).toStdString());
        QList<QVariantList> rows;
        while (q.next()) {
            rows.append(QVariantList());
            for (int i = 0; i < q.record().count(); ++i)
                rows.last() << q.value(i);
        }
        return rows;
    }
    qint64 Number(const QString& sql) { return Rows(sql).value(0).value(0).toLongLong(); }
    // The table's rows as text, sorted: the same on both engines when the
    // values are. The audit trail includes the file of read records.
    std::string Dump(const QString& table)
    {
        QString sql = u"SELECT * FROM "_s + table;
        if (m_audit && table == u"APH_AUDITORIA")
            sql += u" UNION ALL SELECT * FROM AUD.APH_AUDITORIA"_s;
        QStringList lines;
        for (const QVariantList& row : Rows(sql)) {
            QStringList cells;
            for (const QVariant& v : row)
                cells << (v.isNull() ? u"NULL"_s
                          : v.typeId() == QMetaType::QString
                              ? u'"' + v.toString() + u'"'
                              : QString::number(v.toDouble(), 'g', 17));
            lines << cells.join(u'|');
        }
        lines.sort();
        return lines.join(u'\n').toStdString();
    }

private:
    QString m_name;
    bool m_audit = false;
};

// An empty PostgreSQL database of the test's own, dropped afterwards.
class TScratchPg
{
public:
    TScratchPg()
        : m_name(u"aph_copia_%1_%2"_s.arg(QCoreApplication::applicationPid()).arg(++g_names))
    {
        TPeek(PgUri()).Rows(u"CREATE DATABASE "_s + m_name);
    }
    ~TScratchPg() { TPeek(PgUri()).Rows(u"DROP DATABASE IF EXISTS %1 WITH (FORCE)"_s.arg(m_name)); }
    QString Spec() const
    {
        QUrl url(PgUri());
        url.setPath(u'/' + m_name);
        return url.toString();
    }

private:
    QString m_name;
};

class CopyTest : public ServerTest
{
protected:
    // A fresh database of the other engine (a new SQLite file when no
    // PostgreSQL cluster is there), or of the test database's engine.
    QString Fresh(bool other)
    {
        if (TTestDatabase::UsesPostgres() != other && !PgUri().isEmpty())
            return m_scratch.emplace_back(std::make_unique<TScratchPg>())->Spec();
        return u"sqlite:"_s + m_dir.filePath(u"copia-%1.db"_s.arg(++g_names));
    }
    static QJsonObject Approve(const TDataPacket& p, double hours)
    {
        TDelta delta;
        delta.Fields = p.Fields;
        TDeltaRecord rec;
        rec.Op = TDeltaRecord::Kind::Modify;
        rec.Original = *p.Rows.at(0);
        rec.New.emplace_back(p.FieldIndex(u"QTHRAPROFATU"_s), Value::FromNumber(hours));
        delta.Records.push_back(std::move(rec));
        return DeltaToJson(delta);
    }
    // A month's services read (a read audit record), TF1's CSAs still
    // without CHT: one approved, then all put into CHTs, each under a
    // request key.
    void SaveAndGenerate(TRpcClient& client, double first, double last, const QString& key)
    {
        PacketFromJson(client.Call(
            u"GetServPrest"_s, {first, last, u"T"_s, u"T"_s, u"T"_s, u"T"_s, u"ANA"_s, u"T"_s}));
        const TDataPacket free = Checked(client, u"GetCSA"_s,
                                         {u"TC1"_s, u"TF1"_s, first, last, u"DES"_s, u"TP1"_s,
                                          u"01"_s, QString(), u"N"_s, u"01"_s});
        CheckedPacket(client.Call(u"SetCSA"_s, {Approve(free, 6.5)}, key + u"-csa"_s));
        CheckedPacket(client.Call(
            u"SetCHT"_s, {first, last, u"ANA"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s},
            key + u"-cht"_s));
    }

    QTemporaryDir m_dir;
    std::vector<std::unique_ptr<TScratchPg>> m_scratch;
};

} // namespace

TEST_F(CopyTest, ACopyToTheOtherEngineAndBackKeepsEveryRowAndServesOnFromTheOrigin)
{
    AddTestWorld();
    for (int d = 1; d <= 3; ++d) {
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, d), 7.3);
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 4, d), 8);
    }
    SaveAndGenerate(*m_client, kMar1, kMar31, u"origem"_s);
    const QString cht = m_db->Scalar(u"SELECT MAX(NRSEQUCHT) FROM CHT"_s).toString();
    ASSERT_EQ(RunServerCommand({u"cht-status"_s, m_db->Spec(), cht, u"A"_s}), 0);
    m_client.reset();
    m_server.reset();

    const QString there = Fresh(true), back = Fresh(false);
    QString out, err;
    ASSERT_EQ(RunServerCommand({u"copy"_s, m_db->Spec(), there}, &out, &err), 0)
        << err.toStdString() << out.toStdString();
    EXPECT_TRUE(out.contains(u"A cópia passou na verificação."_s)) << out.toStdString();
    ASSERT_EQ(RunServerCommand({u"copy"_s, there, back}, &out, &err), 0)
        << err.toStdString() << out.toStdString();

    TPeek origin(m_db->Spec());
    const qint64 counter =
        origin.Number(u"SELECT NRVALOR FROM APH_SEQUENCIA WHERE NMSEQUENCIA = 'CHT'"_s);
    {
        TPeek copy(there), copyBack(back);
        for (const QString& table : kTables) {
            const std::string rows = origin.Dump(table);
            EXPECT_FALSE(rows.empty()) << table.toStdString();
            const auto count = std::count(rows.begin(), rows.end(), '\n') + 1;
            EXPECT_TRUE(out.contains(u"%1: %2 linha(s) copiada(s)"_s.arg(table).arg(count)))
                << table.toStdString() << out.toStdString();
            EXPECT_EQ(copy.Dump(table), rows) << table.toStdString();
            EXPECT_EQ(copyBack.Dump(table), rows) << table.toStdString();
        }
    }
    // The origin's token logs in; the next save takes a history row number
    // of its own and the next CHT the origin's next number.
    for (const QString& spec : {there, back}) {
        TServerProcess server(spec);
        auto client = NewClient(true, server.Port());
        SaveAndGenerate(*client, kApr1, kApr30, u"copia"_s);
        TPeek copy(spec);
        EXPECT_EQ(
            copy.Number(u"SELECT COUNT(*) FROM CHT WHERE CAST(NRSEQUCHT AS INTEGER) = %1"_s.arg(
                counter + 1)),
            1)
            << spec.toStdString();
        EXPECT_EQ(copy.Number(u"SELECT COUNT(*) FROM APH_HISTEVENTO"_s),
                  origin.Number(u"SELECT COUNT(*) FROM APH_HISTEVENTO"_s) + 1);
    }
}

TEST_F(CopyTest, RefusesADestinationInUseAnOriginWithoutSchemaAndABadName)
{
    const QString dir = m_dir.path();
    ASSERT_TRUE(QFile(dir + u"/vazio.db"_s).open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile(dir + u"/audit.db.audit"_s).open(QIODevice::WriteOnly));
    const QString inUse = TTestDatabase::UsesPostgres()
                              ? u"O banco de destino não está vazio: já tem tabelas. A cópia só "
                                "grava num banco vazio; crie um novo (createdb) e copie para ele."_s
                              : u"O arquivo de destino \"%1\" já existe; a cópia só grava num "
                                "arquivo novo."_s.arg(m_db->SqlitePath());
    const struct
    {
        QString From, To;
        int Code;
        QString Message;
    } cases[] = {
        {m_db->Spec(), m_db->Spec(), 1, u"aph-server: "_s + inUse},
        {m_db->Spec(), u"sqlite:"_s + dir + u"/audit.db"_s, 1,
         u"aph-server: O arquivo de destino \"%1/audit.db.audit\" já existe; a cópia só grava "
         "num arquivo novo."_s.arg(dir)},
        {u"sqlite:"_s + dir + u"/vazio.db"_s, u"sqlite:"_s + dir + u"/novo.db"_s, 1,
         u"aph-server: O banco de origem não tem o esquema do servidor; não há o que copiar."_s},
        {u"mysql://maquina/banco"_s, u"sqlite:"_s + dir + u"/novo.db"_s, 1,
         u"aph-server: Banco de dados inválido: \"mysql://maquina/banco\". Use sqlite:CAMINHO ou "
         "uma URI postgresql://."_s},
        {m_db->Spec(), u"sqlite:"_s, 1,
         u"aph-server: Banco de dados inválido: falta o caminho do arquivo SQLite em "
         "\"sqlite:CAMINHO\"."_s},
        {m_db->Spec(), QString(), 2, u"copy recebe o banco de origem e o banco de destino."_s},
    };
    const qint64 csas = m_db->Scalar(u"SELECT COUNT(*) FROM CSA"_s).toLongLong();
    for (const auto& c : cases) {
        QString out, err;
        const QStringList args = c.To.isEmpty() ? QStringList{c.From} : QStringList{c.From, c.To};
        EXPECT_EQ(RunServerCommand(QStringList{u"copy"_s} + args, &out, &err), c.Code)
            << c.To.toStdString();
        EXPECT_EQ(err.section(u'\n', 0, 0), c.Message) << c.To.toStdString();
    }
    // Nothing was made, and the database in use is as it was.
    EXPECT_FALSE(QFileInfo::exists(dir + u"/novo.db"_s));
    EXPECT_FALSE(QFileInfo::exists(dir + u"/audit.db"_s));
    m_db->Reconnect();
    EXPECT_EQ(m_db->Scalar(u"SELECT COUNT(*) FROM CSA"_s).toLongLong(), csas);
}

TEST_F(CopyTest, ACopyThatFailsLeavesNothingAtTheDestination)
{
    // A CSA in a CHT that does not exist: the destination refuses it when
    // the copy commits.
    if (TTestDatabase::UsesPostgres()) {
        for (const QVariantList& c :
             m_db->Rows(u"SELECT conname FROM pg_constraint WHERE conrelid = 'csa'::regclass AND "
                        "confrelid = 'cht'::regclass"_s))
            m_db->ExecDirect(u"ALTER TABLE CSA DROP CONSTRAINT \"%1\""_s.arg(c[0].toString()));
    } else {
        m_db->ExecDirect(u"PRAGMA foreign_keys=OFF"_s);
    }
    AddTestWorld();
    AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, kMar1, 8, u"99999"_s);
    m_server.reset();

    for (const QString& to : {Fresh(true), Fresh(false)}) {
        QString out, err;
        EXPECT_EQ(RunServerCommand({u"copy"_s, m_db->Spec(), to}, &out, &err), 1)
            << to.toStdString();
        EXPECT_TRUE(err.contains(u"violaria a integridade dos dados"_s)) << err.toStdString();
        if (to.startsWith(u"sqlite:")) {
            EXPECT_FALSE(QFileInfo::exists(to.mid(7)));
            EXPECT_FALSE(QFileInfo::exists(to.mid(7) + u"-wal"_s));
            continue;
        }
        TPeek copy(to);
        EXPECT_EQ(copy.Number(u"SELECT COUNT(*) FROM information_schema.tables WHERE "
                              "table_schema = current_schema()"_s),
                  0);
    }
}
