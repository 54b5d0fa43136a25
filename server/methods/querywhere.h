#pragma once

#include "host/data/selection.h"
#include "server/storage/querytext.h"

#include <QString>
#include <QStringList>
#include <QVariantList>

namespace aph {

class TStorage;

// The pieces of the service's WHERE clauses that more than one file of
// SQL builds on: the filter's selections and situation codes, decoded.
namespace querywhere {

// The conditions of a WHERE clause and the values they bind, in order.
struct TWhere
{
    QStringList Conditions;
    QVariantList Values;

    void Add(const QString& condition, const QVariantList& values = {})
    {
        Conditions << condition;
        Values << values;
    }
    QString Sql() const { return Conditions.join(u" AND "); }
};

// The CSA and CHT situation codes of the filter.
struct TSituation
{
    bool WithoutCht = false;
    QStringList Statuses; // CHT situations wanted for CSAs in a CHT

    bool MatchesNothing() const { return !WithoutCht && Statuses.isEmpty(); }
};

// A selection as the service decodes it; EInvalidArgument when it does
// not parse.
TSelection Decode(const QString& text, const char* what);
TSituation ParseSituation(const QString& csaCode, const QString& chtCode);
// Adds the condition of one selection on a key column; false when the
// selection picks nothing, so that the caller can answer at once.
bool AddSelection(TWhere& where, const TStorage& storage, const TSelection& selection,
                  const QString& column);
// The proposal selection on the proposal and version columns of alias.
bool AddProposalSelection(TWhere& where, const TStorage& storage, const TSelection& selection,
                          const QString& alias);
// The situation condition on the CSA of alias A.
void AddSituation(TWhere& where, const TStorage& storage, const TSituation& s);

} // namespace querywhere

} // namespace aph
