#pragma once

namespace aph::rpc {

// JSON-RPC error codes, as the server sends them and the client reads
// them. The standard ones, then the server's own (docs/protocol.md).
constexpr int kParseError = -32700;
constexpr int kInvalidRequest = -32600;
constexpr int kMethodNotFound = -32601;
constexpr int kInvalidParams = -32602;
constexpr int kInternalError = -32603;
constexpr int kNotLoggedIn = -32000;
constexpr int kLoginRefused = -32001;
constexpr int kTooManyConnections = -32002;
constexpr int kRequestTimeout = -32003;
constexpr int kWrongOperator = -32004;
constexpr int kKeyReused = -32005;
constexpr int kLoginTimeout = -32006;
constexpr int kIdleTimeout = -32007;
constexpr int kSessionEnded = -32008;
constexpr int kReconnect = -32009;
constexpr int kDatabaseError = -32010;
constexpr int kRoleMissing = -32011;
// The operator already has as many heavy reads running and waiting as the
// server takes from one operator (see kHeavyMethods); nothing was run.
constexpr int kHeavyBusy = -32012;

// Every code above, for the documentation's table to be held to.
inline constexpr int kCodes[] = {
    kParseError,    kInvalidRequest, kMethodNotFound,     kInvalidParams,  kInternalError,
    kNotLoggedIn,   kLoginRefused,   kTooManyConnections, kRequestTimeout, kWrongOperator,
    kKeyReused,     kLoginTimeout,   kIdleTimeout,        kSessionEnded,   kReconnect,
    kDatabaseError, kRoleMissing,    kHeavyBusy,
};

// The codes the server sends just before it closes the connection: the
// client takes them as a lost connection and connects again.
constexpr bool ClosesConnection(int code)
{
    return code == kTooManyConnections || code == kRequestTimeout || code == kLoginTimeout ||
           code == kIdleTimeout || code == kReconnect;
}

} // namespace aph::rpc
