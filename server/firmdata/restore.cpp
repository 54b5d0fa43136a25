#include "server/firmdata/restore.h"

#include "server/firmdata/tables.h"
#include "server/storage/storage.h"
#include "server/storage/tablelist.h"

#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

bool Holds(TStorage& storage, const QString& select)
{
    QSqlQuery& q = storage.Select(u"SELECT 1 WHERE EXISTS (%1)"_s.arg(select));
    const bool found = q.next();
    TStorage::Done(q);
    return found;
}

} // namespace

bool IsRestoreTarget(TStorage& storage)
{
    for (const TTableSpec& spec : kSchemaTables)
        if (spec.RestoreOnly &&
            Holds(storage, u"SELECT 1 FROM "_s + QUtf8StringView(spec.Name).toString()))
            return false;
    return !Holds(storage, u"SELECT 1 FROM APH_SEQUENCIA WHERE NMSEQUENCIA = 'CHT' AND "
                           "NRVALOR > 0"_s) &&
           !Holds(storage, u"SELECT 1 FROM APH_AUDITORIA"_s);
}

bool IsRestoreOnly(const TFirmTable& table)
{
    const TTableSpec* spec = FindTableSpec(table.Name.toStdString());
    return spec && spec->RestoreOnly;
}

QString RestoreOnlyRefusal(const TFirmTable& table)
{
    return u"%1 faz parte da vida das CHTs e do histórico, que só os seus próprios passos "
           "gravam; a importação só a aceita num banco sem CHTs, sem histórico e sem "
           "auditoria (uma restauração), e este banco já tem. Para levar um banco inteiro a "
           "outro, use: aph-server copy ORIGEM DESTINO"_s.arg(table.Name);
}

QString ChtPlacementRefusal(const QString& cht)
{
    return u"a importação não põe uma CSA na CHT %1: só a geração de CHTs o faz (ou uma "
           "restauração num banco sem CHTs; para levar um banco inteiro, use aph-server "
           "copy)"_s.arg(cht);
}

} // namespace aph
