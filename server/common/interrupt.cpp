#include "server/common/interrupt.h"

#include <array>
#include <csignal>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

constexpr std::array kSignals{SIGTERM, SIGHUP, SIGINT};

volatile std::sig_atomic_t g_noted = 0;

extern "C" void NoteSignal(int signal)
{
    // The first signal is the one the message names.
    if (g_noted == 0)
        g_noted = signal;
}

std::array<struct sigaction, kSignals.size()> g_previous{};

} // namespace

EInterrupted::EInterrupted(int signal)
    : Exception(u"interrompido pelo sinal %1"_s.arg(SignalName(signal))), m_signal(signal)
{}

TInterruptGuard::TInterruptGuard()
{
    g_noted = 0;
    struct sigaction action
    {};
    action.sa_handler = NoteSignal;
    sigemptyset(&action.sa_mask);
    // Reads and writes under way go on; the work asks between its steps.
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &action, &g_previous[i]);
}

TInterruptGuard::~TInterruptGuard()
{
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &g_previous[i], nullptr);
    g_noted = 0;
}

int TInterruptGuard::Noted()
{
    return g_noted;
}

void RaiseIfInterrupted()
{
    if (const int signal = g_noted)
        throw EInterrupted(signal);
}

QString SignalName(int signal)
{
    switch (signal) {
    case SIGTERM:
        return u"SIGTERM"_s;
    case SIGHUP:
        return u"SIGHUP"_s;
    case SIGINT:
        return u"SIGINT"_s;
    default:
        return QString::number(signal);
    }
}

} // namespace aph
