#include "host/data/datapacket.h"

#include "host/data/exceptions.h"
#include "host/data/formatsettings.h"

#include <QSet>

#include <cmath>

using namespace Qt::StringLiterals;

namespace aph {

int TDataPacket::FieldIndex(const QString& name) const
{
    for (int i = 0; i < Fields.size(); ++i)
        if (Fields[i].Name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QString FieldTypeName(TFieldType type)
{
    switch (type) {
    case TFieldType::ftString:
        return u"string"_s;
    case TFieldType::ftFloat:
        return u"float"_s;
    case TFieldType::ftDateTime:
        return u"datetime"_s;
    }
    return {};
}

bool ParseFieldType(const QString& name, TFieldType& type)
{
    for (TFieldType t : {TFieldType::ftString, TFieldType::ftFloat, TFieldType::ftDateTime}) {
        if (name == FieldTypeName(t)) {
            type = t;
            return true;
        }
    }
    return false;
}

namespace {

void ValidateFields(const TFieldDefs& fields)
{
    if (fields.isEmpty())
        throw EDatabaseError(u"Pacote de dados inválido: não há campos."_s);
    QSet<QString> names;
    for (const TFieldDef& def : fields) {
        if (def.Name.isEmpty())
            throw EDatabaseError(u"Pacote de dados inválido: campo sem nome."_s);
        if (names.contains(def.Name.toUpper()))
            throw EDatabaseError(u"Pacote de dados inválido: campo %1 repetido."_s.arg(def.Name));
        names.insert(def.Name.toUpper());
        if (def.DataType == TFieldType::ftString && def.Size <= 0)
            throw EDatabaseError(
                u"Pacote de dados inválido: o campo %1 não tem tamanho."_s.arg(def.Name));
    }
}

} // namespace

QString CheckValue(const TFieldDef& def, const Value& value)
{
    if (value.IsNull())
        return {};
    switch (def.DataType) {
    case TFieldType::ftString:
        if (!value.IsString())
            return u"o campo %1 espera um texto"_s.arg(def.Name);
        if (value.StringLength() > def.Size)
            return u"o campo %1 aceita no máximo %2 caracteres"_s.arg(def.Name).arg(def.Size);
        return {};
    case TFieldType::ftFloat:
        if (!value.IsNumber() || !std::isfinite(value.ToNumber()))
            return u"o campo %1 espera um número"_s.arg(def.Name);
        return {};
    case TFieldType::ftDateTime: {
        if (!value.IsNumber())
            return u"o campo %1 espera uma data"_s.arg(def.Name);
        const double d = value.ToNumber();
        if (!std::isfinite(d) || d < kMinDateTime || d > kMaxDateTime)
            return u"o campo %1 tem uma data fora do intervalo aceito"_s.arg(def.Name);
        return {};
    }
    }
    return {};
}

void ValidatePacket(const TDataPacket& packet)
{
    ValidateFields(packet.Fields);
    const std::size_t width = static_cast<std::size_t>(packet.Fields.size());
    for (std::size_t r = 0; r < packet.Rows.size(); ++r) {
        const TRow& row = packet.Rows[r];
        if (!row || row->size() != width)
            throw EDatabaseError(u"Pacote de dados inválido: a linha %1 tem %2 valores; eram "
                                 "esperados %3."_s.arg(r + 1)
                                     .arg(row ? row->size() : 0)
                                     .arg(width));
        for (std::size_t f = 0; f < width; ++f) {
            const QString fault = CheckValue(packet.Fields[static_cast<int>(f)], (*row)[f]);
            if (!fault.isEmpty())
                throw EDatabaseError(
                    u"Pacote de dados inválido na linha %1: %2."_s.arg(r + 1).arg(fault));
        }
    }
}

void ValidateDelta(const TDelta& delta)
{
    ValidateFields(delta.Fields);
    const std::size_t width = static_cast<std::size_t>(delta.Fields.size());
    for (std::size_t r = 0; r < delta.Records.size(); ++r) {
        const TDeltaRecord& rec = delta.Records[r];
        const auto fail = [r](const QString& why) {
            throw EDatabaseError(u"Alterações inválidas no registro %1: %2."_s.arg(r + 1).arg(why));
        };
        if (rec.Op != TDeltaRecord::Kind::Insert && rec.Original.size() != width)
            fail(u"os valores originais não correspondem aos campos"_s);
        if (rec.Op == TDeltaRecord::Kind::Insert && !rec.Original.empty())
            fail(u"uma inclusão não tem valores originais"_s);
        if (rec.Op == TDeltaRecord::Kind::Delete && !rec.New.empty())
            fail(u"uma exclusão não tem valores novos"_s);
        for (std::size_t f = 0; f < rec.Original.size(); ++f) {
            const QString fault = CheckValue(delta.Fields[static_cast<int>(f)], rec.Original[f]);
            if (!fault.isEmpty())
                fail(fault);
        }
        QSet<int> seen;
        for (const auto& [index, value] : rec.New) {
            if (index < 0 || static_cast<std::size_t>(index) >= width || seen.contains(index))
                fail(u"campo alterado desconhecido ou repetido"_s);
            seen.insert(index);
            const QString fault = CheckValue(delta.Fields[index], value);
            if (!fault.isEmpty())
                fail(fault);
        }
    }
}

} // namespace aph
