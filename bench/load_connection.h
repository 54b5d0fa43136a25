#pragma once

// One simulated approval screen of the load driver: a connection that
// logs in and works on its own employee, and, when told to, survives its
// server going away by connecting again and resending the call it was
// waiting for (writes with the same request key, so that a write applied
// before the drop is answered from its stored reply, not applied again).
#include "host/data/datapacket.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <map>
#include <memory>
#include <random>
#include <vector>

class QTcpSocket;

namespace aph {

// One employee on one contracted service: a connection works on it alone,
// so that its saves meet no other connection's.
struct TPair
{
    QString Proposal, Version, Service, Employee, Company, Client, Type;
};

enum TKind
{
    kRead,
    kSave,
    kGenerate,
    kKinds
};

struct TStats
{
    std::vector<double> Ms[kKinds];
    std::map<QString, long long> ByMethod;
    long long Requests = 0, Errors = 0, Conflicts = 0, Dropped = 0;
    // Connections lost and made again, calls sent again after that, server
    // notices (error replies with id null) by code, connections that could
    // not get back in.
    long long Reconnections = 0, Resent = 0, GaveUp = 0;
    std::map<int, long long> Notices;
    QStringList FirstErrors;
    // The last acknowledged approval of every CSA saved, by key.
    std::map<QString, double> Saved;
    // CHTs the acknowledged generations report having made.
    long long ChtsAcknowledged = 0;
    long long NextValue = 1;
    // The run's choice (--report own): the month's GetServPrest asks for
    // the connection's own client, whose services do not grow with the
    // database, rather than for all clients, which grow with it.
    bool ReportOwnClient = false;
};

// Where the connections go and how they behave when it goes away.
struct TTarget
{
    QString Host = QStringLiteral("127.0.0.1");
    quint16 Port = 0;
    bool Reconnect = false; // otherwise a drop is an error and ends it
    QString KeyPrefix;      // of the request keys, unique to the run
};

class TConnection : public QObject
{
public:
    TConnection(TStats& stats, const TPair& pair, const QString& token, const QString& branch,
                unsigned seed, int thinkMs, const TTarget& target, int index);
    ~TConnection() override;

    void Start() { Connect(); }
    bool LoggedIn() const { return m_loggedIn; }
    // Stops after the reply in flight (a resent one included).
    void Stop() { m_stopping = true; }
    bool Idle() const { return m_done || (!m_pending && m_stopping); }
    static inline long long s_budget = 0; // requests left to send, shared

private:
    struct TCall
    {
        QString Method;
        QJsonArray Params;
        TKind Kind = kRead;
        QString Key; // writes only
    };

    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_random); }
    void Connect();
    void DropSocket();
    void Lost(const QString& why);
    void Reconnect();
    void SendLogin();
    void Send(TCall call);
    void Write();
    void Error(const QString& what);
    void OnReadyRead();
    void OnReply(const QByteArray& line);
    bool OnNotice(const QJsonObject& reply);
    void OnLoginReply(const QJsonObject& reply);
    void OnCallReply(const QJsonObject& reply);
    void Handled(const QJsonObject& result, const QJsonValue& data);
    void Next();
    void Act();
    void Save();

    TStats& m_stats;
    TPair m_pair;
    QString m_token, m_branch;
    std::mt19937 m_random;
    int m_thinkMs;
    TTarget m_target;
    int m_index;
    std::unique_ptr<QTcpSocket> m_socket;
    int m_generation = 0; // of the socket, so that a dropped one's signals are ignored
    QByteArray m_buffer;
    QElapsedTimer m_timer;     // since the call was first sent
    QElapsedTimer m_lostSince; // since the connection was lost, while getting back
    int m_attempts = 0;        // to connect again since the loss
    TCall m_call;
    qint64 m_id = 0, m_callId = 0, m_loginId = 0, m_keys = 0;
    bool m_loggedIn = false, m_everLoggedIn = false, m_pending = false, m_stopping = false,
         m_done = false;
    TDataPacket m_loaded;
    std::vector<std::pair<QString, double>> m_saving;
    std::vector<std::pair<std::size_t, double>> m_savingRows;
};

} // namespace aph
