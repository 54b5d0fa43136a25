// GetPendencias: the days of the filter that need a person before billing.
#include "server/methods/approvalservice.h"
#include "server/methods/pendingqueries.h"
#include "server/methods/replywriter.h"
#include "server/storage/rowsource.h"
#include "server/storage/storage.h"
#include "service/records.h"

#include <QHash>

#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace aph {

const TFieldDefs& TApprovalService::PendenciaFields()
{
    static const TFieldDefs fields = {
        StrField("CDCLIENTE", 21),   StrField("NMFANTCLIE", 50), StrField("NRPROPOSFAS", 20),
        StrField("NRVERPROPFAS", 2), StrField("NRSERVCONT", 3),  StrField("CDTIPOSERV", 3),
        StrField("NMTIPOSERV", 80),  StrField("CDFUNC", 10),     StrField("NMFUNC", 40),
        StrField("CDEMPRESA", 2),    StrField("NRSEQUCHT", 5),   DateField("DTSERVPREST"),
        StrField("IDPENDENCIA", 1),  NumField("QTHRTRAB"),       NumField("QTHRAPROFATU"),
        NumField("QTHRAPRCOMIS"),    NumField("QTSERVCONT"),     StrField("DSCOMENTARIO", 300)};
    return fields;
}

namespace {

// A service as the counts and the list of services both name it.
QString ServiceKey(const TRowSource& row)
{
    return row.Variant(0).toString() + u'\x1f' + row.Variant(1).toString() + u'\x1f' +
           row.Variant(2).toString();
}

// The pending days of each service, keyed by proposal, version and
// service.
QHash<QString, qint64> CountsByService(TStorage& storage, const TQueryText& counts, qint64& total)
{
    QHash<QString, qint64> byService;
    const std::unique_ptr<TRowSource> rows = storage.Rows(counts);
    while (rows->Next()) {
        const qint64 n = rows->Variant(3).toLongLong();
        byService[ServiceKey(*rows)] += n;
        total += n;
    }
    return byService;
}

} // namespace

qint64 TApprovalService::GetPendencias(const TGetServPrestRequest& request, TPacketWriter& out)
{
    const TPendingQueries queries = PendingQueries(m_storage, request);
    const TFieldDefs& fields = PendenciaFields();
    out.Begin(fields);
    if (queries.MatchesNothing)
        return 0;
    // The counts and the rows from one state of the database.
    TTransaction tx(m_storage, TTransaction::Mode::Snapshot);
    // PostgreSQL would compile the count over every pending day of the
    // period to machine code first, which costs more than the count.
    if (m_storage.IsPostgres())
        m_storage.ExecDirect(u"SET LOCAL jit = off"_s);
    qint64 total = 0;
    const QHash<QString, qint64> counts = CountsByService(m_storage, queries.Counts, total);
    // The services in the screen's order, each read only when it has
    // pending days, until the reply is full; the rest is counted.
    std::vector<QVariantList> services;
    {
        const std::unique_ptr<TRowSource> rows = m_storage.Rows(queries.Services);
        while (rows->Next() && !counts.isEmpty())
            if (counts.contains(ServiceKey(*rows)))
                services.push_back({rows->Variant(0), rows->Variant(1), rows->Variant(2)});
    }
    for (const QVariantList& service : services) {
        if (out.Rows() >= kPendenciasLimit)
            break;
        const std::unique_ptr<TRowSource> rows = m_storage.Rows(queries.Rows(service));
        while (out.Rows() < kPendenciasLimit && rows->Next())
            WriteRow(out, *rows, fields);
    }
    tx.Commit();
    return total - out.Rows();
}

} // namespace aph
