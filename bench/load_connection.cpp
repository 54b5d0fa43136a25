#include "bench/load_connection.h"

#include "host/data/packetcodec.h"

#include <QDate>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

double Ole(int y, int m, int d)
{
    return static_cast<double>(QDate(1899, 12, 30).daysTo(QDate(y, m, d)));
}

// The server's notices that it is closing the connection (too many
// connections, a request line too slow, no Login in time, idle too long)
// or that it asks the client to go to another instance: the connection is
// over, the client connects again.
bool IsGoingAway(int code)
{
    return code == -32002 || code == -32003 || code == -32006 || code == -32007 || code == -32009;
}

// 127.0.1.0: the loopback addresses the connections come from.
constexpr quint32 kLoopbackClients = 0x7F000100;

// How long a connection keeps trying to get back in before it gives up.
constexpr qint64 kGiveUpMs = 60000;

} // namespace

TConnection::TConnection(TStats& stats, const TPair& pair, const QString& token,
                         const QString& branch, unsigned seed, int thinkMs, const TTarget& target,
                         int index)
    : m_stats(stats), m_pair(pair), m_token(token), m_branch(branch), m_random(seed),
      m_thinkMs(thinkMs), m_target(target), m_index(index)
{}

TConnection::~TConnection()
{
    if (m_socket) // closing is no drop
        QObject::disconnect(m_socket.get(), nullptr, this, nullptr);
}

void TConnection::Connect()
{
    DropSocket();
    m_socket = std::make_unique<QTcpSocket>();
    QTcpSocket* s = m_socket.get();
    connect(s, &QTcpSocket::connected, this, [this, s] {
        s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        SendLogin();
    });
    connect(s, &QTcpSocket::readyRead, this, [this] { OnReadyRead(); });
    connect(s, &QTcpSocket::errorOccurred, this, [this, s] {
        if (s->state() != QAbstractSocket::ConnectedState)
            Lost(u"no connection: "_s + s->errorString());
    });
    connect(s, &QTcpSocket::disconnected, this,
            [this] { Lost(u"connection closed by the server"_s); });
    // On loopback each connection comes from an address of its own, as
    // each clerk's desktop does from its machine: the server's limit per
    // address (and, behind a balancer, the addresses it is told) then
    // applies as it does in a firm.
    if (const QHostAddress host(m_target.Host);
        host.protocol() == QAbstractSocket::IPv4Protocol && host.isLoopback())
        s->bind(QHostAddress(kLoopbackClients + static_cast<quint32>(m_index % 250) + 1));
    s->connectToHost(m_target.Host, m_target.Port);
}

// Forgets the socket: its signals, its unread bytes; it is deleted later,
// as this may run inside one of its own signals.
void TConnection::DropSocket()
{
    ++m_generation;
    m_buffer.clear();
    m_loginId = 0;
    m_loggedIn = false;
    if (!m_socket)
        return;
    QObject::disconnect(m_socket.get(), nullptr, this, nullptr);
    m_socket->abort();
    m_socket.release()->deleteLater();
}

void TConnection::Lost(const QString& why)
{
    if (m_done)
        return;
    const bool wasIn = m_loggedIn;
    DropSocket();
    if (!m_target.Reconnect) {
        ++m_stats.Dropped;
        Error(why);
        m_done = true;
        return;
    }
    if (m_stopping && !m_pending) {
        m_done = true;
        return;
    }
    if (m_attempts == 0) {
        m_lostSince.start();
        if (wasIn)
            ++m_stats.Dropped;
    }
    if (m_lostSince.elapsed() > kGiveUpMs) {
        ++m_stats.GaveUp;
        Error(u"gave up getting back in: "_s + why);
        m_done = true;
        return;
    }
    Reconnect();
}

// At once the first time (the balancer sends it to a live instance), then
// backing off to a second between tries while no instance answers.
void TConnection::Reconnect()
{
    const int delay = m_attempts == 0 ? 0 : std::min(1000, 25 << std::min(m_attempts, 6));
    ++m_attempts;
    QTimer::singleShot(delay, this, [this] {
        if (!m_done)
            Connect();
    });
}

void TConnection::SendLogin()
{
    m_loginId = ++m_id;
    const QJsonObject request{{u"jsonrpc"_s, u"2.0"_s},
                              {u"id"_s, m_loginId},
                              {u"method"_s, u"Login"_s},
                              {u"params"_s, QJsonArray{u"ADMIN"_s, m_token}}};
    m_socket->write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
}

void TConnection::Send(TCall call)
{
    m_call = std::move(call);
    m_pending = true;
    m_timer.start();
    if (m_loggedIn)
        Write(); // otherwise the Login under way sends it
}

// The call in flight, under a new id: the first time, or again on a new
// connection with the same method, parameters and request key.
void TConnection::Write()
{
    QJsonObject request{{u"jsonrpc"_s, u"2.0"_s},
                        {u"id"_s, ++m_id},
                        {u"method"_s, m_call.Method},
                        {u"params"_s, m_call.Params}};
    if (!m_call.Key.isEmpty())
        request.insert(u"requestKey"_s, m_call.Key);
    m_callId = m_id;
    m_socket->write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
}

void TConnection::Error(const QString& what)
{
    ++m_stats.Errors;
    if (m_stats.FirstErrors.size() < 10)
        m_stats.FirstErrors << m_call.Method + u": " + what;
}

void TConnection::OnReadyRead()
{
    const int generation = m_generation;
    m_buffer += m_socket->readAll();
    for (;;) {
        const qsizetype newline = m_buffer.indexOf('\n');
        if (newline < 0)
            return;
        const QByteArray line = m_buffer.left(newline);
        m_buffer.remove(0, newline + 1);
        OnReply(line);
        if (generation != m_generation)
            return; // the connection was dropped: what follows is not read
    }
}

void TConnection::OnReply(const QByteArray& line)
{
    const QJsonObject reply = QJsonDocument::fromJson(line).object();
    if (OnNotice(reply))
        return;
    const qint64 id = reply.value(u"id").toInteger(-1);
    if (m_loginId != 0 && id == m_loginId)
        OnLoginReply(reply);
    else if (m_pending && id == m_callId)
        OnCallReply(reply);
    else
        Error(u"a reply to no call in flight: "_s + QString::fromUtf8(line.left(200)));
}

bool TConnection::OnNotice(const QJsonObject& reply)
{
    if (!reply.value(u"id").isNull() || !reply.contains(u"error"))
        return false;
    const QJsonObject error = reply.value(u"error").toObject();
    const int code = error.value(u"code").toInt();
    if (!IsGoingAway(code))
        return false;
    ++m_stats.Notices[code];
    Lost(u"server notice %1: %2"_s.arg(code).arg(error.value(u"message").toString()));
    return true;
}

void TConnection::OnLoginReply(const QJsonObject& reply)
{
    m_loginId = 0;
    const QJsonObject result = reply.value(u"result").toObject();
    if (reply.contains(u"error") || !result.value(u"ok").toBool()) {
        const QString message = reply.contains(u"error")
                                    ? reply.value(u"error").toObject().value(u"message").toString()
                                    : result.value(u"message").toString();
        Error(u"Login: "_s + message);
        m_done = true;
        DropSocket();
        return;
    }
    m_loggedIn = true;
    m_attempts = 0;
    if (m_everLoggedIn)
        ++m_stats.Reconnections;
    const bool first = !m_everLoggedIn;
    m_everLoggedIn = true;
    if (m_pending) {
        ++m_stats.Resent;
        Write();
    } else if (first) {
        Next();
    } else if (m_stopping) {
        m_done = true;
    }
    // Otherwise the next call is waiting for its think time.
}

void TConnection::OnCallReply(const QJsonObject& reply)
{
    const double ms = static_cast<double>(m_timer.nsecsElapsed()) / 1e6;
    m_pending = false;
    ++m_stats.Requests;
    ++m_stats.ByMethod[m_call.Method];
    m_stats.Ms[m_call.Kind].push_back(ms);
    if (reply.contains(u"error")) {
        const QJsonObject error = reply.value(u"error").toObject();
        Error(
            u"%1 (%2)"_s.arg(error.value(u"message").toString()).arg(error.value(u"code").toInt()));
    } else {
        const QJsonValue result = reply.value(u"result");
        const bool wrapped = m_call.Method != u"GetServPrest";
        const QJsonObject obj = result.toObject();
        if (wrapped && !obj.value(u"ok").toBool()) {
            const QString message = obj.value(u"message").toString();
            if (message.contains(u"outro usuário"_s))
                ++m_stats.Conflicts;
            Error(message);
        } else {
            Handled(obj, wrapped ? obj.value(u"data") : result);
        }
    }
    Next();
}

void TConnection::Handled(const QJsonObject& result, const QJsonValue& data)
{
    if (m_call.Method == u"GetCSA") {
        m_loaded = PacketFromJson(data);
    } else if (m_call.Method == u"SetCSA") {
        for (const auto& [key, value] : m_saving)
            m_stats.Saved[key] = value;
        // The saved values are now what the screen holds.
        const int fatu = m_loaded.FieldIndex(u"QTHRAPROFATU"_s);
        for (const auto& [row, value] : m_savingRows) {
            auto copy = std::make_shared<TRowValues>(*m_loaded.Rows[row]);
            (*copy)[static_cast<std::size_t>(fatu)] = Value::FromNumber(value);
            m_loaded.Rows[row] = copy;
        }
    } else if (m_call.Method == u"SetCHT") {
        m_stats.ChtsAcknowledged +=
            result.value(u"generated").toObject().value(u"chts").toInteger();
        m_loaded = TDataPacket(); // its rows may be in a CHT now: load again
    }
}

void TConnection::Next()
{
    if (m_stopping || s_budget <= 0) {
        m_stopping = true;
        return;
    }
    --s_budget;
    if (m_thinkMs > 0)
        QTimer::singleShot(m_thinkMs, this, [this] {
            if (!m_done)
                Act();
        });
    else
        Act();
}

void TConnection::Act()
{
    const int month = 4 + Pick(6); // April to September: CSAs without CHT
    const double start = Ole(2025, month, 1);
    const double end = Ole(2025, month, QDate(2025, month, 1).daysInMonth());
    const TPair& p = m_pair;
    const int roll = Pick(100);
    if (roll < 2) {
        // Generation of a week of its own employee's CSAs.
        const double from = start + Pick(21);
        Send({u"SetCHT"_s,
              {from, from + 6, u"ADMIN"_s, u"T"_s, u"T"_s, QString(u"[\"" + p.Employee + u"\"]"),
               QString(), QString(u"[\"" + p.Proposal + u'|' + p.Version + u"\"]"), QString()},
              kGenerate,
              u"%1-%2-%3"_s.arg(m_target.KeyPrefix).arg(m_index).arg(++m_keys)});
    } else if (roll < 25 && !m_loaded.Rows.empty()) {
        Save();
    } else if (roll < 60 || m_loaded.Rows.empty()) {
        Send({u"GetCSA"_s,
              {p.Client, p.Employee, start, end, p.Type, p.Proposal, p.Version, QString(), u"N"_s,
               p.Company},
              kRead,
              QString()});
    } else if (roll < 75) {
        Send({u"GetFunc"_s,
              {start, end, p.Client, p.Type, p.Proposal, p.Version, p.Service, u"T"_s, QString(),
               u"T"_s, u"T"_s},
              kRead,
              QString()});
    } else if (roll < 90) {
        Send({u"GetCHT"_s,
              {p.Type, p.Proposal, p.Version, Ole(2025, 1, 1), Ole(2025, 9, 30), p.Employee,
               p.Company, u"T"_s},
              kRead,
              QString()});
    } else if (roll < 99) {
        Send({u"GetProp"_s,
              {m_branch, QString(u"[\"" + p.Client + u"\"]"), QString()},
              kRead,
              QString()});
    } else {
        const QString clients =
            m_stats.ReportOwnClient ? QString(u"[\"" + p.Client + u"\"]") : u"T"_s;
        Send({u"GetServPrest"_s,
              {start, end, clients, u"T"_s, u"T"_s, u"S"_s, u"ADMIN"_s, QString()},
              kRead,
              QString()});
    }
}

// One day, sometimes two, of what the screen holds.
void TConnection::Save()
{
    const int fatu = m_loaded.FieldIndex(u"QTHRAPROFATU"_s);
    const int worked = m_loaded.FieldIndex(u"QTHRTRAB"_s);
    const int day = m_loaded.FieldIndex(u"DTSERVPREST"_s);
    TDelta delta;
    delta.Fields = m_loaded.Fields;
    m_saving.clear();
    m_savingRows.clear();
    const int days = 1 + (Pick(4) == 0);
    for (int i = 0; i < days; ++i) {
        const auto row = static_cast<std::size_t>(Pick(static_cast<int>(m_loaded.Rows.size())));
        if (std::any_of(m_savingRows.begin(), m_savingRows.end(),
                        [row](const auto& r) { return r.first == row; }))
            continue;
        const TRowValues& values = *m_loaded.Rows[row];
        // Unique values, so that the final check can tell saves apart.
        const double value = values[static_cast<std::size_t>(worked)].ToNumber() *
                             (1.0 - 1e-7 * static_cast<double>(m_stats.NextValue++ % 1000000));
        TDeltaRecord rec;
        rec.Original = values;
        rec.New.emplace_back(fatu, Value::FromNumber(value));
        delta.Records.push_back(std::move(rec));
        m_savingRows.emplace_back(row, value);
        m_saving.emplace_back(
            QStringList{m_pair.Proposal, m_pair.Version, m_pair.Service, m_pair.Employee,
                        QString::number(
                            static_cast<qint64>(values[static_cast<std::size_t>(day)].ToNumber()))}
                .join(u'|'),
            value);
    }
    Send({u"SetCSA"_s,
          {DeltaToJson(delta)},
          kSave,
          u"%1-%2-%3"_s.arg(m_target.KeyPrefix).arg(m_index).arg(++m_keys)});
}

} // namespace aph
