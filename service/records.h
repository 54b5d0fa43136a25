#pragma once

#include "host/data/datapacket.h"

namespace aph {

// The CSA record as the service sends it and the screens hold it: the
// eighteen fields in their order, with their sizes. The server builds its
// replies from this table and the screen its datasets, so the two cannot
// drift apart.
const TFieldDefs& CsaRecordFields();

} // namespace aph
