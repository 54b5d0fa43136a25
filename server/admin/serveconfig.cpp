#include "server/admin/serveconfig.h"

#include "host/data/exceptions.h"

#include <QFile>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// A flag's value in any of the spellings of yes and no.
QString FlagValue(const QString& text, const QString& key, const QString& where)
{
    static const QStringList yes{u"1"_s, u"sim"_s, u"s"_s, u"true"_s, u"yes"_s, u"on"_s};
    static const QStringList no{u"0"_s, u"não"_s, u"nao"_s, u"n"_s, u"false"_s, u"no"_s, u"off"_s};
    const QString lower = text.toLower();
    if (yes.contains(lower))
        return u"1"_s;
    if (no.contains(lower))
        return u"0"_s;
    throw Exception(u"%1: valor inválido para '%2' (use sim ou não)."_s.arg(where, key));
}

} // namespace

QHash<QString, TConfigValue> ReadServerConfig(const QString& file, const QStringList& valued,
                                              const QStringList& flags)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        throw Exception(
            u"Não foi possível ler o arquivo de configuração %1: %2"_s.arg(file, f.errorString()));
    QHash<QString, TConfigValue> values;
    int number = 0;
    while (!f.atEnd()) {
        ++number;
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const QString where = u"%1, linha %2"_s.arg(file).arg(number);
        const qsizetype equals = line.indexOf(u'=');
        // The messages name the line and the key, never the text: a line
        // may hold a password (the database's URI).
        if (equals < 0)
            throw Exception(u"%1: esperava \"chave = valor\"."_s.arg(where));
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        const bool isFlag = flags.contains(key);
        if (!isFlag && !valued.contains(key)) {
            static const QRegularExpression plainKey(u"^[A-Za-z0-9_-]{1,40}$"_s);
            throw Exception(plainKey.match(key).hasMatch()
                                ? u"%1: chave desconhecida: '%2'."_s.arg(where, key)
                                : u"%1: chave desconhecida."_s.arg(where));
        }
        if (values.contains(key))
            throw Exception(u"%1: a chave '%2' já foi dada na %3."_s.arg(
                where, key, values.value(key).Where.section(u", "_s, -1)));
        if (value.isEmpty())
            throw Exception(u"%1: a chave '%2' está sem valor."_s.arg(where, key));
        values.insert(key, {isFlag ? FlagValue(value, key, where) : value, where});
    }
    return values;
}

} // namespace aph
