// GetPendencias: the days of the filter that need a person before billing.
#include "server/methods/approvalservice.h"
#include "server/methods/queries.h"
#include "server/methods/replywriter.h"
#include "server/storage/storage.h"
#include "service/records.h"

#include <QSqlQuery>

namespace aph {

const TFieldDefs& TApprovalService::PendenciaFields()
{
    static const TFieldDefs fields = {
        StrField("CDCLIENTE", 21),   StrField("NMFANTCLIE", 50), StrField("NRPROPOSFAS", 20),
        StrField("NRVERPROPFAS", 2), StrField("NRSERVCONT", 3),  StrField("CDTIPOSERV", 3),
        StrField("NMTIPOSERV", 80),  StrField("CDFUNC", 10),     StrField("NMFUNC", 40),
        StrField("CDEMPRESA", 2),    StrField("NRSEQUCHT", 5),   DateField("DTSERVPREST"),
        StrField("IDPENDENCIA", 1),  NumField("QTHRTRAB"),       NumField("QTHRAPROFATU"),
        NumField("QTHRAPRCOMIS"),    NumField("QTSERVCONT")};
    return fields;
}

qint64 TApprovalService::GetPendencias(const TGetServPrestRequest& request, TPacketWriter& out)
{
    const TPendenciasQueries queries = PendenciasQuery(m_storage, request, kPendenciasLimit);
    // The rows and their count from one state of the database.
    TTransaction tx(m_storage, TTransaction::Mode::Snapshot);
    WritePacket(m_storage, queries.Rows, PendenciaFields(), out);
    qint64 more = 0;
    if (out.Rows() >= kPendenciasLimit) {
        QSqlQuery& count = m_storage.Select(queries.Count.Sql, queries.Count.Values);
        if (count.next())
            more = count.value(0).toLongLong() - out.Rows();
        TStorage::Done(count);
    }
    tx.Commit();
    return more;
}

} // namespace aph
