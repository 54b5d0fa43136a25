#include "server/net/drain.h"

#include <QTimer>

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace aph {

TDrain::TDrain(int fd) : m_fd(fd), m_notifier(fd, QSocketNotifier::Write)
{
    m_notifier.setEnabled(false);
    QObject::connect(&m_notifier, &QSocketNotifier::activated, [this] { Flush(); });
}

TDrain::~TDrain()
{
    m_notifier.setEnabled(false);
    ::close(m_fd);
}

void TDrain::Write(const QByteArray& bytes)
{
    m_pending += bytes;
    Flush();
}

void TDrain::Flush()
{
    while (!m_pending.isEmpty() && !m_failed) {
        const ssize_t n = ::send(m_fd, m_pending.constData(), static_cast<size_t>(m_pending.size()),
                                 MSG_NOSIGNAL);
        if (n > 0) {
            m_pending.remove(0, n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            break;
        } else {
            m_failed = true; // the peer is gone for good
        }
    }
    m_notifier.setEnabled(!Empty());
    if (Empty() && OnEmpty)
        QTimer::singleShot(0, OnEmpty); // not from inside a Write
}

} // namespace aph
