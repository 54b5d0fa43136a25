#include "server/storage/rowsource.h"

#include "host/data/packetcodec.h"
#include "server/storage/engines.h"
#include "server/storage/storage.h"

#include <QSqlQuery>

namespace aph {

bool CutUtf8(std::string_view text, int units, std::string_view& cut)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    int count = 0;
    while (i < n) {
        const unsigned char c = p[i];
        std::size_t len = 1;
        char32_t cp = c;
        if (c >= 0x80) {
            if (c >= 0xC2 && c < 0xE0)
                len = 2, cp = c & 0x1F;
            else if (c >= 0xE0 && c < 0xF0)
                len = 3, cp = c & 0x0F;
            else if (c >= 0xF0 && c < 0xF5)
                len = 4, cp = c & 0x07;
            else
                return false;
            if (i + len > n)
                return false;
            for (std::size_t k = 1; k < len; ++k) {
                if ((p[i + k] & 0xC0) != 0x80)
                    return false;
                cp = (cp << 6) | (p[i + k] & 0x3F);
            }
            if ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
                (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
                return false;
        }
        const int width = len == 4 ? 2 : 1;
        if (count + width > units) {
            if (count < units)
                return false;
            break;
        }
        count += width;
        i += len;
    }
    cut = text.substr(0, i);
    return true;
}

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
