#include "server/sessions/operators.h"

#include "host/data/exceptions.h"
#include "server/common/clock.h"
#include "server/common/hiddentext.h"
#include "server/storage/storage.h"
#include "server/storage/tablelist.h"

#include <QSqlQuery>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// The sizes of OPERADOR's columns.
constexpr int kCodeChars = ColumnSize("OPERADOR", "CDOPERADOR");
constexpr int kNameChars = ColumnSize("OPERADOR", "NMOPERADOR");
constexpr int kEmployeeChars = ColumnSize("OPERADOR", "CDFUNC");

bool Exists(TStorage& storage, const QString& sql, const QVariantList& values)
{
    QSqlQuery& q = storage.Select(sql, values);
    const bool found = q.next();
    TStorage::Done(q);
    return found;
}

} // namespace

QString OperatorCode(const QString& typed)
{
    const bool plain = std::all_of(typed.cbegin(), typed.cend(), [](QChar c) {
        return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9');
    });
    if (typed.isEmpty() || typed.size() > kCodeChars || !plain)
        throw Exception(u"O código do operador deve ter de 1 a %1 letras (A a Z, sem acentos) e "
                        "algarismos, sem espaços nem outros sinais: \"%2\"."_s.arg(kCodeChars)
                            .arg(typed));
    return typed.toUpper();
}

QString StoredOperatorCode(TStorage& storage, const QString& typed)
{
    // An exact match first: codes kept before the rule may differ only in
    // case, and each still names its own operator.
    QSqlQuery& q = storage.Select(
        u"SELECT CDOPERADOR FROM OPERADOR WHERE UPPER(CDOPERADOR) = UPPER(?) ORDER BY "
        "CASE WHEN CDOPERADOR = ? THEN 0 ELSE 1 END, CDOPERADOR"_s,
        {typed, typed});
    const QString stored = q.next() ? q.value(0).toString() : typed;
    TStorage::Done(q);
    return stored;
}

QString AddOperator(TStorage& storage, const QString& typedCode, const QString& name,
                    const QString& employee)
{
    const QString code = OperatorCode(typedCode);
    const QString n = name.trimmed();
    if (n.isEmpty() || n.size() > kNameChars || HasHiddenCharacters(n))
        throw Exception(u"O nome do operador deve ter de 1 a %1 caracteres visíveis (sem "
                        "caracteres de controle, de direção do texto ou de largura "
                        "zero)."_s.arg(kNameChars));
    TTransaction tx(storage, TTransaction::Mode::Write);
    // Compared without case: "ana" is "ANA", whichever came first.
    if (Exists(storage, u"SELECT 1 FROM OPERADOR WHERE UPPER(CDOPERADOR) = ?"_s, {code}))
        throw Exception(u"O operador \"%1\" já existe; para reativá-lo use: aph-server operator "
                        "enable BANCO %1"_s.arg(StoredOperatorCode(storage, code)));
    if (!employee.isEmpty() &&
        (employee.size() > kEmployeeChars ||
         !Exists(storage, u"SELECT 1 FROM FUNCIONARIO WHERE CDFUNC = ?"_s, {employee})))
        throw Exception(u"O funcionário \"%1\" não está cadastrado; importe-o antes (aph-server "
                        "import) ou crie o operador sem --func."_s.arg(employee));
    storage.Exec(
        u"INSERT INTO OPERADOR (CDOPERADOR, NMOPERADOR, CDFUNC, IDOPERATIVO) "
        "VALUES (?, ?, ?, 'A')"_s,
        {code, n, employee.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : employee});
    InsertRoles(storage, code, kDefaultRoles);
    tx.Commit();
    return code;
}

void SetOperatorActive(TStorage& storage, const QString& typedCode, bool active)
{
    TTransaction tx(storage, TTransaction::Mode::Write);
    const QString code = StoredOperatorCode(storage, typedCode);
    const int changed = storage.Exec(u"UPDATE OPERADOR SET IDOPERATIVO = ? WHERE CDOPERADOR = ?"_s,
                                     {active ? u"A"_s : u"I"_s, code});
    if (changed == 0)
        throw Exception(u"O operador \"%1\" não está cadastrado."_s.arg(code));
    tx.Commit();
}

QList<TOperatorInfo> ListOperators(TStorage& storage)
{
    QSqlQuery& q =
        storage.Select(u"SELECT O.CDOPERADOR, O.NMOPERADOR, O.CDFUNC, O.IDOPERATIVO, "
                       "(SELECT COUNT(*) FROM APH_TOKEN T WHERE T.CDOPERADOR = O.CDOPERADOR AND "
                       "T.DTEXPIRA > ?) FROM OPERADOR O ORDER BY O.CDOPERADOR"_s,
                       {NowOle()});
    QList<TOperatorInfo> operators;
    while (q.next())
        operators.append({q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                          q.value(3).toString() == u"A", q.value(4).toInt()});
    TStorage::Done(q);
    for (TOperatorInfo& o : operators)
        o.Roles = OperatorRoles(storage, o.Code);
    return operators;
}

} // namespace aph
