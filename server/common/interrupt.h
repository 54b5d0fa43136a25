#pragma once

#include "host/data/exceptions.h"

#include <QString>

namespace aph {

// A command stopped by a signal: SIGTERM, SIGHUP or SIGINT, noted by a
// TInterruptGuard and raised between two of the command's steps. Its
// message says which signal; the scope guards on the way out undo what
// the command made.
class EInterrupted : public Exception
{
public:
    explicit EInterrupted(int signal);
    int Signal() const { return m_signal; }

private:
    int m_signal;
};

// While it lives, SIGTERM, SIGHUP and SIGINT do not end the process where
// it stands: each is noted, and the work asks RaiseIfInterrupted between
// its steps, so that it unwinds through its own clean-up (a half-written
// set of files taken away, a half-made database removed). The handlers
// there before come back when it goes. One at a time.
class TInterruptGuard
{
public:
    TInterruptGuard();
    ~TInterruptGuard();
    TInterruptGuard(const TInterruptGuard&) = delete;
    TInterruptGuard& operator=(const TInterruptGuard&) = delete;

    // The signal noted since the guard began, or 0.
    static int Noted();
};

// Throws EInterrupted when a guard has noted a signal; does nothing
// without a guard.
void RaiseIfInterrupted();

// "SIGTERM" for SIGTERM, and so on; the number for any other.
QString SignalName(int signal);

} // namespace aph
