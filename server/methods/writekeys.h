#pragma once

#include "server/methods/requests.h"

namespace aph {

class TStorage;

// Claims a write's request key inside the write's transaction, storing the
// reply the write gets when it is applied. True when the key is new and the
// write must run; false when the key was already applied, with its stored
// reply in key.Replayed. A key stored for another request is refused with
// EKeyReused. A transaction still running with the same key (a client
// repeating a write the server is still applying) makes this wait for its
// end.
bool ClaimWriteKey(TStorage& storage, TWriteKey& key);
// Replaces the reply stored for a claimed key, in the same transaction, by
// one that only the write itself could tell (what it made).
void StoreWriteReply(TStorage& storage, TWriteKey& key, const QByteArray& reply);

// How many days a request key is kept (90 unless the process says
// otherwise): a key older than that is new again, and its row is purged.
void SetRequestKeyDays(int days);
// Deletes at most batch keys past their days, in a transaction of its
// own; how many it deleted.
int PurgeRequestKeys(TStorage& storage, int batch);

} // namespace aph
