#pragma once

#include <QByteArray>
#include <QSocketNotifier>

#include <functional>

namespace aph {

// The write side of a connection whose peer has finished sending (a
// request line followed at once by its FIN). The socket layer closes both
// directions on the peer's end of stream, so the replies still owed go out
// through a duplicate of the descriptor taken before it closed.
class TDrain
{
public:
    explicit TDrain(int fd);
    ~TDrain();
    TDrain(const TDrain&) = delete;
    TDrain& operator=(const TDrain&) = delete;

    void Write(const QByteArray& bytes);
    bool Empty() const { return m_pending.isEmpty() || m_failed; }
    std::function<void()> OnEmpty;

private:
    void Flush();

    int m_fd;
    QSocketNotifier m_notifier;
    QByteArray m_pending;
    bool m_failed = false;
};

} // namespace aph
