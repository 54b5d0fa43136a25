// StTimeToReal, the "HH:MM" text of the hour editors. Properties: it
// accepts exactly two hour digits (or a blank and one), a colon and two
// minute digits below 60, refusing everything else with an Exception; and
// what it accepts is the hours plus the minutes over 60.
#include "fuzz_target.h"
#include "host/framework/functions.h"

#include <cmath>

using namespace aph;

namespace {

bool Digit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

void Check(const QString& text)
{
    const bool shape = text.size() == 5 && (Digit(text[0]) || text[0] == u' ') && Digit(text[1]) &&
                       text[2] == u':' && Digit(text[3]) && text[3] <= u'5' && Digit(text[4]);
    long double hours = -1;
    try {
        hours = StTimeToReal(text);
    } catch (const Exception& e) {
        APH_FUZZ_CHECK(!shape, "a well-formed time is accepted");
        APH_FUZZ_CHECK(e.Message().contains(text), "the refusal shows the text");
        return;
    }
    APH_FUZZ_CHECK(shape, "only a well-formed time is accepted");
    const int h = (text[0] == u' ' ? 0 : text[0].unicode() - '0') * 10 + text[1].unicode() - '0';
    const int m = (text[3].unicode() - '0') * 10 + text[4].unicode() - '0';
    APH_FUZZ_CHECK(hours >= 0 && hours < 100, "hours in range");
    APH_FUZZ_CHECK(std::fabs(static_cast<double>(hours) - (h + m / 60.0)) < 1e-12,
                   "hours plus minutes over 60");
    APH_FUZZ_CHECK(std::lround(static_cast<double>(hours * 60)) == h * 60 + m,
                   "whole minutes back");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Check(QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    Check(QString(reinterpret_cast<const QChar*>(data), static_cast<qsizetype>(size / 2)));
    return 0;
}
