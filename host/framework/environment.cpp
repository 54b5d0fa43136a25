#include "host/framework/environment.h"

using namespace Qt::StringLiterals;

namespace aph {

QString TServerAddress::Text() const
{
    return (Host.contains(u':') ? u"[%1]:%2"_s : u"%1:%2"_s).arg(Host).arg(Port);
}

namespace {

THostEnvironment& Current()
{
    static THostEnvironment environment;
    return environment;
}

TServerAddress& Last()
{
    static TServerAddress server;
    return server;
}

} // namespace

void SetHostEnvironment(const THostEnvironment& environment)
{
    Current() = environment;
    Last() = {};
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

QList<TServerAddress> WebServers()
{
    if (!Current().Servers.isEmpty())
        return Current().Servers;
    return {{Current().WebURL, Current().WebPort}};
}

void SetLastServer(const TServerAddress& server)
{
    Last() = server;
}

const TServerAddress& LastServer()
{
    return Last();
}

} // namespace aph
