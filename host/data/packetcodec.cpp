#include "host/data/packetcodec.h"

#include "host/data/exceptions.h"
#include "host/data/jsonreader.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <charconv>
#include <cmath>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

[[noreturn]] void Fail(const QString& why)
{
    throw EDatabaseError(u"Pacote de dados inválido: %1."_s.arg(why));
}

void AppendFields(QByteArray& out, const TFieldDefs& fields)
{
    out += "\"fields\":[";
    for (int i = 0; i < fields.size(); ++i) {
        const TFieldDef& def = fields[i];
        if (i)
            out += ',';
        out += "{\"name\":";
        const QByteArray name = def.Name.toUtf8();
        AppendJsonString(out,
                         std::string_view(name.constData(), static_cast<std::size_t>(name.size())));
        out += ",\"type\":\"";
        out += FieldTypeName(def.DataType).toLatin1();
        out += '"';
        if (def.DataType == TFieldType::ftString) {
            out += ",\"size\":";
            out += QByteArray::number(def.Size);
        }
        out += '}';
    }
    out += ']';
}

TFieldDefs FieldsFromJson(const QJsonValue& json)
{
    if (!json.isArray())
        Fail(u"a lista de campos falta ou não é uma lista"_s);
    TFieldDefs fields;
    for (const QJsonValue& item : json.toArray()) {
        if (!item.isObject())
            Fail(u"um campo não é um objeto"_s);
        const QJsonObject obj = item.toObject();
        TFieldDef def;
        if (!obj.value(u"name").isString())
            Fail(u"um campo não tem nome"_s);
        def.Name = obj.value(u"name").toString();
        if (!ParseFieldType(obj.value(u"type").toString(), def.DataType))
            Fail(u"o campo %1 tem um tipo desconhecido"_s.arg(def.Name));
        if (def.DataType == TFieldType::ftString) {
            const QJsonValue size = obj.value(u"size");
            const double s = size.toDouble(-1);
            if (!size.isDouble() || s < 1 || s > 1000000 || s != std::floor(s))
                Fail(u"o campo %1 tem um tamanho inválido"_s.arg(def.Name));
            def.Size = static_cast<int>(s);
        }
        fields << def;
    }
    return fields;
}

Value ValueFromJson(const QJsonValue& json, const TFieldDef& def)
{
    if (json.isNull())
        return {};
    if (def.DataType == TFieldType::ftString) {
        if (!json.isString())
            Fail(u"o campo %1 espera um texto"_s.arg(def.Name));
        return Value::FromString(json.toString());
    }
    if (!json.isDouble())
        Fail(u"o campo %1 espera um número"_s.arg(def.Name));
    return Value::FromNumber(json.toDouble());
}

TRowValues RowFromJson(const QJsonValue& json, const TFieldDefs& fields, const char* what)
{
    if (!json.isArray())
        Fail(u"%1 não é uma lista"_s.arg(QLatin1String(what)));
    const QJsonArray array = json.toArray();
    if (array.size() != fields.size())
        Fail(u"%1 tem %2 valores; eram esperados %3"_s.arg(QLatin1String(what))
                 .arg(array.size())
                 .arg(fields.size()));
    TRowValues values;
    values.reserve(static_cast<std::size_t>(array.size()));
    for (int i = 0; i < array.size(); ++i)
        values.push_back(ValueFromJson(array.at(i), fields[i]));
    return values;
}

QJsonValue ValueToJson(const Value& v)
{
    if (v.IsNull())
        return QJsonValue::Null;
    if (v.IsNumber())
        return v.ToNumber();
    return v.ToString();
}

const char* OpName(TDeltaRecord::Kind op)
{
    switch (op) {
    case TDeltaRecord::Kind::Modify:
        return "modify";
    case TDeltaRecord::Kind::Insert:
        return "insert";
    case TDeltaRecord::Kind::Delete:
        return "delete";
    }
    return "modify";
}

} // namespace

void AppendJsonString(QByteArray& out, std::string_view utf8)
{
    static const char hex[] = "0123456789abcdef";
    out += '"';
    std::size_t start = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c >= 0x20 && c != '"' && c != '\\')
            continue;
        out.append(utf8.data() + start, static_cast<qsizetype>(i - start));
        start = i + 1;
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default: {
            const char esc[] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 15]};
            out.append(esc, 6);
        }
        }
    }
    out.append(utf8.data() + start, static_cast<qsizetype>(utf8.size() - start));
    out += '"';
}

void AppendJsonValue(QByteArray& out, const Value& value)
{
    if (value.IsNull()) {
        out += "null";
    } else if (value.IsNumber()) {
        const double d = value.ToNumber();
        if (!std::isfinite(d)) {
            out += "null";
            return;
        }
        char buf[32];
        const auto res = std::to_chars(buf, buf + sizeof buf, d);
        out.append(buf, res.ptr - buf);
    } else {
        AppendJsonString(out, value.Utf8());
    }
}

QByteArray EncodePacket(const TDataPacket& packet)
{
    QByteArray out;
    out.reserve(64 + static_cast<qsizetype>(packet.Rows.size()) * 16 * packet.Fields.size());
    out += '{';
    AppendFields(out, packet.Fields);
    out += ",\"rows\":[";
    bool firstRow = true;
    for (const TRow& row : packet.Rows) {
        if (!firstRow)
            out += ',';
        firstRow = false;
        out += '[';
        for (std::size_t i = 0; i < row->size(); ++i) {
            if (i)
                out += ',';
            AppendJsonValue(out, (*row)[i]);
        }
        out += ']';
    }
    out += "]}";
    return out;
}

TDataPacket PacketFromJson(const QJsonValue& json)
{
    if (!json.isObject())
        Fail(u"o pacote não é um objeto"_s);
    const QJsonObject obj = json.toObject();
    TDataPacket packet;
    packet.Fields = FieldsFromJson(obj.value(u"fields"));
    const QJsonValue rows = obj.value(u"rows");
    if (!rows.isArray())
        Fail(u"a lista de linhas falta ou não é uma lista"_s);
    const QJsonArray array = rows.toArray();
    packet.Rows.reserve(static_cast<std::size_t>(array.size()));
    for (const QJsonValue& row : array)
        packet.Rows.push_back(
            std::make_shared<const TRowValues>(RowFromJson(row, packet.Fields, "uma linha")));
    ValidatePacket(packet);
    return packet;
}

namespace {

TFieldDefs ReadFields(JsonReader& r)
{
    TFieldDefs fields;
    r.ExpectArrayBegin();
    bool first = true;
    while (!r.EndOfArray(first)) {
        r.ExpectObjectBegin();
        TFieldDef def;
        bool haveName = false, haveType = false, haveSize = false, firstKey = true;
        while (!r.EndOfObject(firstKey)) {
            const std::string key = r.ReadKey();
            if (key == "name" && !haveName) {
                if (r.Peek() != JsonReader::Token::String)
                    Fail(u"um campo não tem nome"_s);
                def.Name = QString::fromStdString(r.ReadString());
                haveName = true;
            } else if (key == "type" && !haveType) {
                if (r.Peek() != JsonReader::Token::String ||
                    !ParseFieldType(QString::fromStdString(r.ReadString()), def.DataType))
                    Fail(u"o campo %1 tem um tipo desconhecido"_s.arg(def.Name));
                haveType = true;
            } else if (key == "size" && !haveSize) {
                if (r.Peek() != JsonReader::Token::Number)
                    Fail(u"o campo %1 tem um tamanho inválido"_s.arg(def.Name));
                const double s = r.ReadNumber();
                if (s < 1 || s > 1000000 || s != std::floor(s))
                    Fail(u"o campo %1 tem um tamanho inválido"_s.arg(def.Name));
                def.Size = static_cast<int>(s);
                haveSize = true;
            } else if (key == "name" || key == "type" || key == "size") {
                Fail(u"atributo repetido num campo"_s);
            } else {
                r.SkipValue();
            }
        }
        if (!haveName)
            Fail(u"um campo não tem nome"_s);
        if (!haveType)
            Fail(u"o campo %1 tem um tipo desconhecido"_s.arg(def.Name));
        if (def.DataType == TFieldType::ftString && !haveSize)
            Fail(u"o campo %1 tem um tamanho inválido"_s.arg(def.Name));
        if (def.DataType != TFieldType::ftString)
            def.Size = 0;
        fields << def;
    }
    return fields;
}

Value ReadCell(JsonReader& r)
{
    switch (r.Peek()) {
    case JsonReader::Token::Null:
        r.ReadNull();
        return {};
    case JsonReader::Token::String: {
        thread_local std::string scratch;
        const std::string_view text = r.ReadStringView(scratch);
        return Value::FromUtf8(text.data(), text.size());
    }
    case JsonReader::Token::Number:
        return Value::FromNumber(r.ReadNumber());
    default:
        Fail(u"um valor não é texto, número nem null"_s);
    }
}

std::vector<TRow> ReadRows(JsonReader& r)
{
    std::vector<TRow> rows;
    r.ExpectArrayBegin();
    bool first = true;
    while (!r.EndOfArray(first)) {
        if (r.Peek() != JsonReader::Token::ArrayBegin)
            Fail(u"a linha %1 não é uma lista"_s.arg(rows.size() + 1));
        r.ExpectArrayBegin();
        auto row = std::make_shared<TRowValues>();
        if (!rows.empty())
            row->reserve(rows.front()->size());
        bool firstCell = true;
        while (!r.EndOfArray(firstCell))
            row->push_back(ReadCell(r));
        rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace

TDataPacket DecodePacket(const QByteArray& json)
{
    // A pull reader straight into rows: a reply of a hundred thousand rows
    // does not build a JSON document first.
    JsonReader r(std::string_view(json.constData(), static_cast<std::size_t>(json.size())));
    TDataPacket packet;
    bool haveFields = false, haveRows = false;
    if (r.Peek() != JsonReader::Token::ObjectBegin)
        Fail(u"o pacote não é um objeto"_s);
    r.ExpectObjectBegin();
    bool first = true;
    while (!r.EndOfObject(first)) {
        const std::string key = r.ReadKey();
        if (key == "fields") {
            if (haveFields)
                Fail(u"lista de campos repetida"_s);
            if (r.Peek() != JsonReader::Token::ArrayBegin)
                Fail(u"a lista de campos falta ou não é uma lista"_s);
            packet.Fields = ReadFields(r);
            haveFields = true;
        } else if (key == "rows") {
            if (haveRows)
                Fail(u"lista de linhas repetida"_s);
            if (r.Peek() != JsonReader::Token::ArrayBegin)
                Fail(u"a lista de linhas falta ou não é uma lista"_s);
            packet.Rows = ReadRows(r);
            haveRows = true;
        } else {
            r.SkipValue();
        }
    }
    r.ExpectEnd();
    if (!haveFields)
        Fail(u"a lista de campos falta ou não é uma lista"_s);
    if (!haveRows)
        Fail(u"a lista de linhas falta ou não é uma lista"_s);
    ValidatePacket(packet);
    return packet;
}

QJsonObject DeltaToJson(const TDelta& delta)
{
    QJsonArray fields;
    for (const TFieldDef& def : delta.Fields) {
        QJsonObject f{{u"name"_s, def.Name}, {u"type"_s, FieldTypeName(def.DataType)}};
        if (def.DataType == TFieldType::ftString)
            f.insert(u"size"_s, def.Size);
        fields.append(f);
    }
    QJsonArray records;
    for (const TDeltaRecord& rec : delta.Records) {
        QJsonObject r{{u"op"_s, QString::fromLatin1(OpName(rec.Op))}};
        if (rec.Op != TDeltaRecord::Kind::Insert) {
            QJsonArray old;
            for (const Value& v : rec.Original)
                old.append(ValueToJson(v));
            r.insert(u"old"_s, old);
        }
        if (rec.Op != TDeltaRecord::Kind::Delete) {
            QJsonObject changed;
            for (const auto& [index, value] : rec.New)
                changed.insert(delta.Fields[index].Name, ValueToJson(value));
            r.insert(u"new"_s, changed);
        }
        records.append(r);
    }
    return QJsonObject{{u"fields"_s, fields}, {u"records"_s, records}};
}

TDelta DeltaFromJson(const QJsonValue& json)
{
    if (!json.isObject())
        Fail(u"as alterações não são um objeto"_s);
    const QJsonObject obj = json.toObject();
    TDelta delta;
    delta.Fields = FieldsFromJson(obj.value(u"fields"));
    const QJsonValue records = obj.value(u"records");
    if (!records.isArray())
        Fail(u"a lista de registros alterados falta ou não é uma lista"_s);
    for (const QJsonValue& item : records.toArray()) {
        if (!item.isObject())
            Fail(u"um registro alterado não é um objeto"_s);
        const QJsonObject r = item.toObject();
        TDeltaRecord rec;
        const QString op = r.value(u"op").toString();
        if (op == u"modify")
            rec.Op = TDeltaRecord::Kind::Modify;
        else if (op == u"insert")
            rec.Op = TDeltaRecord::Kind::Insert;
        else if (op == u"delete")
            rec.Op = TDeltaRecord::Kind::Delete;
        else
            Fail(u"operação desconhecida '%1'"_s.arg(op));
        if (rec.Op != TDeltaRecord::Kind::Insert)
            rec.Original = RowFromJson(r.value(u"old"), delta.Fields, "os valores originais");
        else if (r.contains(u"old"))
            Fail(u"uma inclusão não tem valores originais"_s);
        const QJsonValue changed = r.value(u"new");
        if (rec.Op != TDeltaRecord::Kind::Delete) {
            if (!changed.isObject())
                Fail(u"os valores novos não são um objeto"_s);
            const QJsonObject values = changed.toObject();
            for (auto it = values.begin(); it != values.end(); ++it) {
                int index = -1;
                for (int i = 0; i < delta.Fields.size(); ++i)
                    if (delta.Fields[i].Name == it.key())
                        index = i;
                if (index < 0)
                    Fail(u"campo alterado desconhecido '%1'"_s.arg(it.key()));
                rec.New.emplace_back(index, ValueFromJson(it.value(), delta.Fields[index]));
            }
        } else if (r.contains(u"new")) {
            Fail(u"uma exclusão não tem valores novos"_s);
        }
        delta.Records.push_back(std::move(rec));
    }
    ValidateDelta(delta);
    return delta;
}

} // namespace aph
