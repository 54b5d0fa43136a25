#pragma once

#include <QByteArray>

namespace aph {

// Cuts a connection's byte stream into request lines and enforces the size
// limit, apart from any socket, so that the framing alone can be tested and
// fuzzed. The buffer never holds more than the limit plus one fed chunk: a
// line that outgrows the limit is dropped as it arrives, up to its "\n".
class TLineFramer
{
public:
    explicit TLineFramer(qint64 maxLineBytes) : m_maxLineBytes(maxLineBytes) {}

    enum class Event
    {
        NeedMore,  // no complete line yet: feed more bytes
        Line,      // a request line, without its "\r\n" or "\n"; never blank
        TooLong,   // a complete line over the limit was skipped
        Discarded, // a line outgrew the limit before its end; the rest is skipped
    };

    void Feed(const QByteArray& bytes) { m_buffer += bytes; }
    Event Next(QByteArray& line);
    // True while a line has begun and not ended (the stall timer runs).
    bool InLine() const { return !m_buffer.isEmpty() || m_discarding; }
    qint64 Buffered() const { return m_buffer.size(); }
    qint64 MaxLineBytes() const { return m_maxLineBytes; }

private:
    qint64 m_maxLineBytes;
    QByteArray m_buffer;
    bool m_discarding = false;
};

} // namespace aph
