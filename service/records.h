#pragma once

#include "host/data/datapacket.h"

namespace aph {

// The CSA record as the service sends it and the screens hold it: the
// eighteen fields in their order, with their sizes. The server builds its
// replies from this table and the screen its datasets, so the two cannot
// drift apart.
const TFieldDefs& CsaRecordFields();

// One field of a record table: a string of at most size characters, a
// number, a date.
TFieldDef StrField(const char* name, int size);
TFieldDef NumField(const char* name);
TFieldDef DateField(const char* name);

} // namespace aph
