#pragma once

namespace aph {

struct TFormatSettings;

// Now as an OLE Automation date-time, local time: how the database keeps
// every moment (audit, history, tokens, inclusions).
double NowOle();

// The screens' pt_BR formats, for the texts the server writes.
const TFormatSettings& BrazilFormat();

} // namespace aph
