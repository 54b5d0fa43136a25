#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace aph::test {

// A server started as an operator starts it, with any program and
// arguments: read up to its first line on standard output (where it says it
// listens), and stopped (SIGTERM, then SIGKILL) at the end.
class TStartedProcess
{
public:
    TStartedProcess(const QString& program, const QStringList& args,
                    const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());
    ~TStartedProcess();
    TStartedProcess(const TStartedProcess&) = delete;
    TStartedProcess& operator=(const TStartedProcess&) = delete;

    // The first line; empty when the program ended (or stayed silent for
    // 20 s) before writing one.
    const QString& FirstLine() const { return m_firstLine; }
    // The port at the end of "... escutando em ADDR:PORT"; 0 without it.
    quint16 Port() const;
    bool IsRunning() const { return m_process.state() == QProcess::Running; }
    // Standard error so far; once the program ended, all of it.
    QString Errors();
    // The exit code once it ended by itself (-1 while running or killed).
    int ExitCode();

private:
    QProcess m_process;
    QString m_firstLine;
    QString m_errors;
};

} // namespace aph::test
