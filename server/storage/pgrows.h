#pragma once

#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <string_view>
#include <vector>

typedef struct pg_result PGresult;
typedef struct pg_conn PGconn;

namespace aph {

// A read's rows from PostgreSQL through libpq, on the connection QtSql
// holds (in its transaction), without a QVariant per cell: the text of each
// cell as the server sent it. Only for results of text and numeric
// columns; any other column, or a failure, leaves it not Ok and the read
// goes through QtSql instead, which reports the failure as every query
// does.
// libpq's connection under the QtSql connection; nullptr when the driver
// gives none.
PGconn* PgConnection(QSqlDatabase& db);

class TPgRows
{
public:
    enum class TKind
    {
        Text,
        Integer,
        Real,
        Other
    };

    // The statements this connection has prepared, by their SQL: each is
    // parsed and planned once per connection, as QtSql's are.
    using TPrepared = QHash<QString, QByteArray>;

    TPgRows(QSqlDatabase& db, TPrepared& prepared, const QString& sql, const QVariantList& values);
    ~TPgRows();
    TPgRows(const TPgRows&) = delete;
    TPgRows& operator=(const TPgRows&) = delete;

    bool Ok() const { return m_result != nullptr; }
    bool Next() { return ++m_row < m_rows; }
    bool IsNull(int column) const;
    TKind Kind(int column) const { return m_kinds[static_cast<std::size_t>(column)]; }
    std::string_view Text(int column) const;
    // The cell as the QtSql driver gives it: QString, int, qlonglong or
    // double; null as a null QVariant.
    QVariant Variant(int column) const;

    // The query's "?" placeholders as "$1", "$2", ... (none sits inside a
    // quoted literal of the service's SQL, and literals are skipped).
    static QByteArray Numbered(const QString& sql);

private:
    PGresult* m_result = nullptr;
    int m_row = -1;
    int m_rows = 0;
    std::vector<TKind> m_kinds;
};

} // namespace aph
