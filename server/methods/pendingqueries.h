#pragma once

#include "server/methods/requests.h"
#include "server/storage/querytext.h"

#include <QString>
#include <QVariantList>

namespace aph {

class TStorage;

// GetPendencias' SQL: the days of the filter (GetServPrest's arguments)
// that need a person before billing. Each kind of pending day is a part of
// its own that says which days of the filter it holds (PendingKinds in
// pendingqueries.cpp); the list merges the kinds in one place, service by
// service in the screen's order, so that it reads the days it returns and
// counts the rest from the kinds' indexes.
struct TPendingQueries
{
    bool MatchesNothing = false;
    // The filter's services in the screen's order (client name, client,
    // proposal, version, service): NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT.
    TQueryText Services;
    // The pending days of the filter by service: NRPROPOSFAS,
    // NRVERPROPFAS, NRSERVCONT and their number.
    TQueryText Counts;
    // One service's pending days (see Rows), the reply's columns:
    // CDCLIENTE, NMFANTCLIE, NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT,
    // CDTIPOSERV, NMTIPOSERV, CDFUNC, NMFUNC, CDEMPRESA, NRSEQUCHT,
    // DTSERVPREST, IDPENDENCIA, QTHRTRAB, QTHRAPROFATU, QTHRAPRCOMIS,
    // QTSERVCONT, DSCOMENTARIO (a contested day's); by employee name,
    // employee, company, CHT (none first),
    // day and kind.
    QString RowsSql;
    QList<QVariantList> RowsValues; // each kind's, after the service's key

    // The query of one service's days; service is its proposal, version
    // and number.
    TQueryText Rows(const QVariantList& service) const;
};

TPendingQueries PendingQueries(const TStorage& storage, const TGetServPrestRequest& request);

} // namespace aph
