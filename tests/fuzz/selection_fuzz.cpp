// The selection strings of the pickers, as the server reads them from
// every filter. Properties: anything else than "T", "" or a non-empty JSON
// list of strings is refused with EDatabaseError; a list read is encoded
// back to a string that reads as the same keys.
#include "fuzz_target.h"
#include "host/data/exceptions.h"
#include "host/data/selection.h"

using namespace Qt::StringLiterals;

using namespace aph;

namespace {

void Check(const QString& text)
{
    TSelection selection;
    try {
        selection = DecodeSelection(text, u"clientes"_s);
    } catch (const EDatabaseError& e) {
        APH_FUZZ_CHECK(e.Message().contains(u"clientes"_s), "the refusal names the list");
        return;
    }
    APH_FUZZ_CHECK(selection.IsAll() == (text == u"T"), "only \"T\" is all");
    APH_FUZZ_CHECK(selection.IsNone() == text.isEmpty(), "only the empty string is none");
    if (selection.Scope != TSelection::Kind::List)
        return;
    APH_FUZZ_CHECK(!selection.Keys.isEmpty(), "a list has keys");
    const QString encoded = EncodeSelection(selection.Keys);
    const TSelection again = DecodeSelection(encoded);
    APH_FUZZ_CHECK(again.Scope == TSelection::Kind::List && again.Keys == selection.Keys,
                   "a list encodes and decodes to the same keys");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // As UTF-8 (what arrives from the wire) and as raw UTF-16 (any QString,
    // lone surrogates included).
    Check(QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    Check(QString(reinterpret_cast<const QChar*>(data), static_cast<qsizetype>(size / 2)));
    return 0;
}
