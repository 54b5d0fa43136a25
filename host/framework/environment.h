#pragma once

#include <QString>

namespace aph {

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
};

void SetHostEnvironment(const THostEnvironment& environment);
const THostEnvironment& HostEnvironment();

QString Operador();
QString FiliProc();
QString WebURL();
int WebPort();

} // namespace aph
