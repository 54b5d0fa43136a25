#include "tests/support/startedprocess.h"

#include <QDeadlineTimer>

using namespace Qt::StringLiterals;

namespace aph::test {

TStartedProcess::TStartedProcess(const QString& program, const QStringList& args,
                                 const QProcessEnvironment& env)
{
    m_process.setProcessEnvironment(env);
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.setReadChannel(QProcess::StandardOutput);
    m_process.start(program, args);
    if (!m_process.waitForStarted(10000))
        return;
    const QDeadlineTimer deadline(20000);
    while (!m_process.canReadLine() && m_process.state() == QProcess::Running &&
           !deadline.hasExpired())
        m_process.waitForReadyRead(static_cast<int>(qMin<qint64>(deadline.remainingTime(), 500)));
    if (m_process.canReadLine())
        m_firstLine = QString::fromUtf8(m_process.readLine()).trimmed();
}

TStartedProcess::~TStartedProcess()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

quint16 TStartedProcess::Port() const
{
    if (!m_firstLine.contains(u" escutando em "_s))
        return 0;
    return static_cast<quint16>(m_firstLine.section(u':', -1).section(u' ', 0, 0).toUInt());
}

QString TStartedProcess::Errors()
{
    if (m_process.state() == QProcess::Running)
        m_process.waitForReadyRead(0);
    m_errors += QString::fromUtf8(m_process.readAllStandardError());
    return m_errors;
}

int TStartedProcess::ExitCode()
{
    if (m_process.state() == QProcess::Running)
        m_process.waitForFinished(20000);
    if (m_process.state() != QProcess::NotRunning || m_process.exitStatus() != QProcess::NormalExit)
        return -1;
    return m_process.exitCode();
}

} // namespace aph::test
