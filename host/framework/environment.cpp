#include "host/framework/environment.h"

namespace aph {

namespace {

THostEnvironment& Current()
{
    static THostEnvironment environment;
    return environment;
}

} // namespace

void SetHostEnvironment(const THostEnvironment& environment)
{
    Current() = environment;
}

const THostEnvironment& HostEnvironment()
{
    return Current();
}

QString Operador()
{
    return Current().Operador;
}

QString FiliProc()
{
    return Current().FiliProc;
}

QString WebURL()
{
    return Current().WebURL;
}

int WebPort()
{
    return Current().WebPort;
}

} // namespace aph
