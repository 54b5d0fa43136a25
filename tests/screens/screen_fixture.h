#pragma once

#include "approval/cli_aph31500.h"
#include "approval/previacht.h"
#include "filter/cli_aph31501.h"
#include "host/framework/dbquery.h"
#include "host/framework/environment.h"
#include "tests/support/scripted_desktop.h"
#include "tests/support/serverfixture.h"
#include "tests/support/text.h"

#include <QJsonArray>

namespace aph::test {

// One call the screens made to the server, as it went on the wire.
struct TRecordedCall
{
    QString Method;
    QJsonArray Params;
    QString Key; // the request key a write went with
};

// The real socket transport, with every open and call written down.
class RecordingTransport : public IAppServerTransport
{
public:
    RecordingTransport(QList<TRecordedCall>& calls, QList<int>& opens, QString& failing)
        : m_inner(MakeRpcTransport()), m_calls(calls), m_opens(opens), m_failing(failing)
    {}
    void Open(const QString& host, int port) override
    {
        m_inner->Open(host, port);
        m_opens << port;
    }
    void Close() override { m_inner->Close(); }
    bool IsOpen() const override { return m_inner->IsOpen(); }
    QJsonValue Call(const QString& method, const QJsonArray& params) override
    {
        m_calls << TRecordedCall{method, params, {}};
        if (method == m_failing)
            throw Exception(QStringLiteral("Falha de comunicação com o servidor de aplicação."));
        return m_inner->Call(method, params);
    }
    QJsonValue CallKeyed(const QString& method, const QJsonArray& params,
                         const QString& requestKey) override
    {
        m_calls << TRecordedCall{method, params, requestKey};
        if (method == m_failing)
            throw Exception(QStringLiteral("Falha de comunicação com o servidor de aplicação."));
        return m_inner->CallKeyed(method, params, requestKey);
    }
    bool Reachable(const QString& host, int port) override
    {
        return m_inner->Reachable(host, port);
    }
    std::optional<QStringList> Roles() const override { return m_inner->Roles(); }

private:
    std::unique_ptr<IAppServerTransport> m_inner;
    QList<TRecordedCall>& m_calls;
    QList<int>& m_opens;
    QString& m_failing;
};

// The screens against a real aph-server on loopback over the demo
// database, driven through the scripted desktop; the shared database
// connection reads the screens' lookups through the same server, as a
// desktop without database credentials does.
class ScreenTest : public ServerTest
{
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        SetFormatSettings(TFormatSettings::ForLocale(QStringLiteral("pt_BR.UTF-8")));
        SetHostEnvironment({QStringLiteral("ANA"), QStringLiteral("0001"),
                            QStringLiteral("127.0.0.1"), m_server->Port(), m_token, QString()});
        dtmDBGeral()->OpenServer();
        // The calls recorded are the screens'; the host's lookups go their
        // own way to the same server.
        SetTransportFactory([this](const QString& server) -> std::unique_ptr<IAppServerTransport> {
            if (server == u"dtmDBGeral")
                return MakeRpcTransport();
            return std::make_unique<RecordingTransport>(calls, opens, failing);
        });
        desktop = std::make_unique<ScriptedDesktop>();
        Filtro = TFILTRO{};
        Cli_aph31500_Initialization();
        Cli_aph31501_Initialization();
    }

    void TearDown() override
    {
        Cli_aph31501_Finalization();
        Cli_aph31500_Finalization();
        desktop.reset();
        SetTransportFactory(nullptr);
        dtmDBGeral()->Close();
        ServerTest::TearDown();
    }

    QList<TRecordedCall> CallsOf(const char* method) const
    {
        QList<TRecordedCall> found;
        for (const TRecordedCall& c : calls)
            if (c.Method == QString::fromLatin1(method))
                found << c;
        return found;
    }

    // The user's part in the filter dialog the next time it shows.
    void OnFilter(std::function<void(TfrmFiltroCsa&)> play)
    {
        desktop->modal.push_back([play](TForm& form) { play(static_cast<TfrmFiltroCsa&>(form)); });
    }
    // At the next billing preview, "Gerar mesmo assim" (or "Continuar")
    // pressed on purpose, as with days never approved it must be.
    void GoOnAtThePreview()
    {
        desktop->modal.push_back(
            [](TForm& form) { UserClick(dynamic_cast<TfrmPreviaCHT&>(form).btnContinuar); });
    }
    // Confirms the filter dialog as it stands.
    void ConfirmFilter()
    {
        OnFilter([](TfrmFiltroCsa& d) { UserClick(d.sbtConfirma); });
    }

    QList<TRecordedCall> calls;
    QList<int> opens;
    QString failing; // a method whose calls fail on the way, as a lost line would
    std::unique_ptr<ScriptedDesktop> desktop;
};

} // namespace aph::test
