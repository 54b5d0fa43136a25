#pragma once

#include <QString>
#include <QVariantList>

namespace aph {

// The SQL of a statement and the values it binds, in order. MatchesNothing
// when the arguments pick nothing, so that no query needs to run.
struct TQueryText
{
    QString Sql;
    QVariantList Values;
    bool MatchesNothing = false;

    static TQueryText Nothing() { return {QString(), {}, true}; }
};

} // namespace aph
