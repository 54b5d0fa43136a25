#pragma once

#include "host/data/datapacket.h"

#include <QString>

namespace aph {

class TStorage;
class TPacketWriter;

// The short lookup lists the screens read through the host's shared
// connection (occurrences, clients, active operators with their employees,
// the period's first day). A desktop without database credentials sends
// the texts its query would run, in both dialects; the server runs its own
// statement for the list they name, and nothing else: no SQL from the
// network ever reaches the database.
struct TLookup
{
    const char* Name;  // for the log
    QStringList Texts; // what the screens send, either dialect, as written
    QString SqliteSql; // what this server runs, by its engine
    QString PostgresSql;
    TFieldDefs Fields; // the reply's fields, in the statement's column order
};

// The lists the server knows.
const std::vector<TLookup>& Lookups();

// The list whose texts are these, compared after whitespace is normalised
// (runs of spaces, tabs and line breaks are one space; none at either end).
// The second text may be empty (a query with one text for both dialects).
// Throws ERefusal, naming no table, for anything else.
const TLookup& FindLookup(const QString& text, const QString& otherText);

// Writes the list's rows into the reply, in a read transaction.
void WriteLookup(TStorage& storage, const TLookup& lookup, TPacketWriter& out);

} // namespace aph
