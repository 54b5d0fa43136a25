#pragma once

#include <QList>
#include <QString>

namespace aph {

// One application server: a host name or address, and its port.
struct TServerAddress
{
    QString Host;
    int Port = 0;
    bool operator==(const TServerAddress&) const = default;
    // host:port, an IPv6 address in brackets.
    QString Text() const;
};

// What the host knows of its surroundings: who works, in which branch,
// where the application server and the shared database are.
struct THostEnvironment
{
    QString Operador;    // operator code
    QString FiliProc;    // branch code
    QString WebURL;      // application server host
    int WebPort = 8090;  // application server port
    QString Token;       // the operator's access token for the server
    QString Database;    // shared database: "sqlite:PATH" or a PostgreSQL URI
    bool Tls = false;    // TLS to the application server
    QString CaFile = {}; // the authority of the server's certificate (PEM); empty: the system's
    // Every application server, in the order to try them; the first is
    // WebURL:WebPort. Empty: that one alone.
    QList<TServerAddress> Servers = {};
};

void SetHostEnvironment(const THostEnvironment& environment);
const THostEnvironment& HostEnvironment();

QString Operador();
QString FiliProc();
QString WebURL();
int WebPort();
// The application servers the host may use, in order: Servers, or
// WebURL:WebPort alone.
QList<TServerAddress> WebServers();
// The application server the process last connected to, where the next
// connect starts; a new environment forgets it.
void SetLastServer(const TServerAddress& server);
const TServerAddress& LastServer();

} // namespace aph
