// GetPendencias: the days of the filter that need a person before billing.
#include "server/methods/approvalservice.h"
#include "server/methods/queries.h"
#include "server/methods/replywriter.h"
#include "server/storage/rowsource.h"
#include "server/storage/storage.h"
#include "service/records.h"

#include <memory>

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

qint64 TApprovalService::GetPendencias(const TGetServPrestRequest& request, TPacketWriter& out)
{
    const TQueryText query = PendenciasQuery(m_storage, request);
    const TFieldDefs& fields = PendenciaFields();
    out.Begin(fields);
    if (query.MatchesNothing)
        return 0;
    TTransaction tx(m_storage, TTransaction::Mode::Read);
    // PostgreSQL compiles a query it costs this high (three reads of the
    // period's CSAs) to machine code first: 3.2 of 4.2 s measured on a
    // million CSAs, where the rows take under one.
    if (m_storage.IsPostgres())
        m_storage.ExecDirect(u"SET LOCAL jit = off"_s);
    // The first rows into the reply, the rest only counted: one read gives
    // both, where a LIMIT and a count would run the query twice.
    const std::unique_ptr<TRowSource> rows = m_storage.Rows(query);
    qint64 more = 0;
    while (rows->Next()) {
        if (out.Rows() >= kPendenciasLimit)
            ++more;
        else
            WriteRow(out, *rows, fields);
    }
    tx.Commit();
    return more;
}

} // namespace aph
