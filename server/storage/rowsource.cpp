#include "server/storage/rowsource.h"

#include "host/data/packetcodec.h"
#include "server/storage/engines.h"
#include "server/storage/storage.h"

#include <QSqlQuery>

namespace aph {

Value CellOf(const QVariant& v, const TFieldDef& def)
{
    if (v.isNull())
        return {};
    if (def.DataType == TFieldType::ftString)
        return Value::FromString(v.toString().left(def.Size));
    return Value::FromNumber(v.toDouble());
}

namespace {

// Through the driver: whatever the engine, every cell as a QVariant.
class TQtSqlRows final : public TRowSource
{
public:
    TQtSqlRows(TStorage& storage, const TQueryText& query)
        : m_query(storage.Select(query.Sql, query.Values))
    {}
    ~TQtSqlRows() override { TStorage::Done(m_query); }
    bool Next() override { return m_query.next(); }
    void AppendCell(QByteArray& out, int column, const TFieldDef& def) const override
    {
        AppendJsonValue(out, CellOf(m_query.value(column), def));
    }
    std::string_view Utf8(int column, QByteArray& scratch) const override
    {
        scratch = m_query.value(column).toString().toUtf8();
        return {scratch.constData(), static_cast<std::size_t>(scratch.size())};
    }
    QVariant Variant(int column) const override { return m_query.value(column); }
    bool IsNull(int column) const override { return m_query.isNull(column); }

private:
    QSqlQuery& m_query;
};

} // namespace

std::unique_ptr<TRowSource> QtSqlRows(TStorage& storage, const TQueryText& query)
{
    return std::make_unique<TQtSqlRows>(storage, query);
}

} // namespace aph
