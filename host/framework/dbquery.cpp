#include "host/framework/dbquery.h"

#include "host/data/exceptions.h"
#include "host/data/formatsettings.h"
#include "host/framework/environment.h"
#include "host/framework/netconnection.h"
#include "service/rpcclient.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>
#include <QUrlQuery>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// TO_DATE('dd/mm/yyyy') for SQLite, so that query texts written for the
// other dialect run here: gives the ISO date, or NULL for text that is no
// date.
void SqliteToDate(sqlite3_context* context, int argc, sqlite3_value** argv)
{
    if (argc < 1 || sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const QDate date = QDate::fromString(QString::fromUtf8(text), u"dd/MM/yyyy"_s);
    if (!date.isValid()) {
        sqlite3_result_null(context);
        return;
    }
    const QByteArray iso = date.toString(Qt::ISODate).toLatin1();
    sqlite3_result_text(context, iso.constData(), static_cast<int>(iso.size()), SQLITE_TRANSIENT);
}

void RegisterSqliteFunctions(QSqlDatabase& db)
{
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return;
    sqlite3* sqlite = *static_cast<sqlite3* const*>(handle.data());
    if (!sqlite)
        return;
    sqlite3_create_function(sqlite, "TO_DATE", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                            SqliteToDate, nullptr, nullptr);
}

Value ToValue(const QVariant& v, TFieldType type)
{
    if (!v.isValid() || v.isNull())
        return {};
    switch (type) {
    case TFieldType::ftString:
        return Value::FromString(v.toString());
    case TFieldType::ftFloat: {
        bool ok = false;
        const double d = v.toDouble(&ok);
        return ok ? Value::FromNumber(d) : Value();
    }
    case TFieldType::ftDateTime: {
        const int id = v.typeId();
        if (id == QMetaType::QDate)
            return Value::FromNumber(DateToOle(v.toDate()));
        if (id == QMetaType::QDateTime) {
            const QDateTime dt = v.toDateTime();
            return Value::FromNumber(DateToOle(dt.date()) +
                                     dt.time().msecsSinceStartOfDay() / 86400000.0);
        }
        if (id == QMetaType::QString) {
            const QString s = v.toString();
            const QDateTime dt = QDateTime::fromString(s, Qt::ISODate);
            if (dt.isValid())
                return Value::FromNumber(DateToOle(dt.date()) +
                                         dt.time().msecsSinceStartOfDay() / 86400000.0);
            const QDate d = QDate::fromString(s.left(10), Qt::ISODate);
            if (d.isValid())
                return Value::FromNumber(DateToOle(d));
            TDateTime parsed = 0;
            return TryStrToDate(s, parsed) ? Value::FromNumber(parsed) : Value();
        }
        bool ok = false;
        const double d = v.toDouble(&ok);
        return ok ? Value::FromNumber(d) : Value();
    }
    }
    return {};
}

TFieldType TypeOf(int metaType)
{
    switch (metaType) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        return TFieldType::ftFloat;
    case QMetaType::QDate:
    case QMetaType::QDateTime:
        return TFieldType::ftDateTime;
    default:
        return TFieldType::ftString;
    }
}

} // namespace

void TDtmDBGeral::Open(const QString& uri)
{
    Close();
    static int counter = 0;
    m_connectionName = u"dtmDBGeral%1"_s.arg(++counter);
    QSqlDatabase db;
    if (uri.startsWith(u"sqlite:")) {
        m_dialect = TSqlDialect::SQLite;
        db = QSqlDatabase::addDatabase(u"QSQLITE"_s, m_connectionName);
        db.setDatabaseName(uri.mid(7));
        db.setConnectOptions(u"QSQLITE_BUSY_TIMEOUT=5000"_s);
    } else if (uri.startsWith(u"postgres://") || uri.startsWith(u"postgresql://")) {
        m_dialect = TSqlDialect::PostgreSQL;
        const QUrl url(uri);
        db = QSqlDatabase::addDatabase(u"QPSQL"_s, m_connectionName);
        db.setHostName(url.host().isEmpty() ? QUrlQuery(url).queryItemValue(u"host"_s)
                                            : url.host());
        if (url.port() > 0)
            db.setPort(url.port());
        db.setUserName(url.userName());
        db.setPassword(url.password());
        db.setDatabaseName(url.path().mid(1));
    } else {
        throw EDatabaseError(u"Banco de dados não reconhecido: '%1'. Use sqlite:CAMINHO ou "
                             "postgresql://usuario@servidor:porta/banco."_s.arg(uri));
    }
    if (m_dialect == TSqlDialect::SQLite) {
        // The driver would create a missing file, or fail in its own words.
        const QString path = uri.mid(7);
        if (!QFileInfo(path).isFile() || !QFileInfo(path).isReadable()) {
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_connectionName);
            m_connectionName.clear();
            throw EDatabaseError(u"O arquivo do banco de dados \"%1\" não existe ou não pode "
                                 "ser lido."_s.arg(path));
        }
    }
    if (!db.open()) {
        qWarning("dtmDBGeral: %s", qUtf8Printable(db.lastError().text()));
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connectionName);
        m_connectionName.clear();
        throw EDatabaseError(u"Não foi possível abrir o banco de dados; confira o endereço, o "
                             "usuário e a senha em 'database'."_s);
    }
    if (m_dialect == TSqlDialect::SQLite)
        RegisterSqliteFunctions(db);
}

TDtmDBGeral::TDtmDBGeral() = default;
TDtmDBGeral::~TDtmDBGeral() = default;

void TDtmDBGeral::OpenServer()
{
    Close();
    m_server = std::make_unique<TNetConnection>(u"dtmDBGeral"_s);
    m_server->SetServerName(u"dtmDBGeral"_s);
    m_server->BeforeConnect = [this](TObject*) {
        m_server->SetHost(WebURL());
        m_server->SetPort(WebPort());
    };
}

TDataPacket TDtmDBGeral::Lookup(const QString& sql, const QString& sqlIb)
{
    if (!m_server)
        throw EDatabaseError(u"Não há conexão com o banco de dados."_s);
    if (!m_server->Connected())
        m_server->SetConnected(true);
    return CheckedPacket(m_server->AppServer().Call(u"GetLookup"_s, {sql, sqlIb}));
}

void TDtmDBGeral::Close()
{
    if (m_server) {
        m_server->SetConnected(false);
        m_server.reset();
    }
    if (m_connectionName.isEmpty())
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
    m_connectionName.clear();
}

bool TDtmDBGeral::Connected() const
{
    if (m_server)
        return true;
    return !m_connectionName.isEmpty() && QSqlDatabase::database(m_connectionName, false).isOpen();
}

QSqlDatabase TDtmDBGeral::Database() const
{
    return QSqlDatabase::database(m_connectionName, false);
}

TDtmDBGeral* dtmDBGeral()
{
    static TDtmDBGeral module;
    return &module;
}

TADOIBQuery::TADOIBQuery(QString name) : TClientDataSet(std::move(name))
{
    SetReadOnly(true);
}

QString TADOIBQuery::ActiveText() const
{
    const bool ib = dtmDBGeral()->Dialect() == TSqlDialect::PostgreSQL && !SQL_IB.isEmpty();
    return (ib ? SQL_IB : SQL).join(u'\n');
}

void TADOIBQuery::Open()
{
    TDataPacket packet = dtmDBGeral()->ThroughServer()
                             ? dtmDBGeral()->Lookup(SQL.join(u'\n'), SQL_IB.join(u'\n'))
                             : ReadDirect();
    Shape(packet);
    SetData(packet);
}

TDataPacket TADOIBQuery::ReadDirect() const
{
    if (!dtmDBGeral()->Connected())
        throw EDatabaseError(u"Não há conexão com o banco de dados."_s);
    QSqlQuery query(dtmDBGeral()->Database());
    query.setForwardOnly(true);
    if (!query.exec(ActiveText())) {
        // The driver's own text is for the log, not for the clerk.
        qWarning("%s: %s", qUtf8Printable(Name()), qUtf8Printable(query.lastError().text()));
        throw EDatabaseError(
            u"Não foi possível ler a lista %1 do banco de dados; avise o suporte."_s.arg(Name()));
    }
    const QSqlRecord record = query.record();
    TDataPacket packet;
    for (int i = 0; i < record.count(); ++i) {
        TFieldDef def{record.fieldName(i).toUpper(), TypeOf(record.field(i).metaType().id()), 0};
        if (const TField* persistent = FindField(def.Name))
            def = persistent->Def();
        packet.Fields << def;
    }
    while (query.next()) {
        auto values = std::make_shared<TRowValues>();
        values->reserve(static_cast<std::size_t>(record.count()));
        for (int i = 0; i < record.count(); ++i)
            values->push_back(ToValue(query.value(i), packet.Fields[i].DataType));
        packet.Rows.push_back(std::move(values));
    }
    return packet;
}

void TADOIBQuery::Shape(TDataPacket& packet) const
{
    for (int i = 0; i < packet.Fields.size(); ++i) {
        TFieldDef& def = packet.Fields[i];
        if (const TField* persistent = FindField(def.Name))
            def = persistent->Def();
        if (def.DataType != TFieldType::ftString || def.Size != 0)
            continue;
        int longest = 1;
        for (const auto& row : packet.Rows)
            longest = std::max(
                longest, static_cast<int>((*row)[static_cast<std::size_t>(i)].ToString().size()));
        def.Size = longest;
    }
}

} // namespace aph
