#include "server/net/lineframer.h"

namespace aph {

TLineFramer::Event TLineFramer::Next(QByteArray& line)
{
    // The same stream gives the same lines and refusals however TCP cuts
    // it: a complete line is judged by its length without "\r" before it is
    // judged blank, and an unfinished one is dropped only once it is
    // certainly too long, past the limit plus room for its "\r".
    for (;;) {
        const qsizetype newline = m_buffer.indexOf('\n');
        if (newline < 0)
            break;
        line = m_buffer.left(newline);
        m_buffer.remove(0, newline + 1);
        if (m_discarding) { // the end of a line already refused
            m_discarding = false;
            continue;
        }
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.size() > m_maxLineBytes) {
            line.clear();
            return Event::TooLong;
        }
        if (line.trimmed().isEmpty())
            continue;
        return Event::Line;
    }
    line.clear();
    if (m_buffer.size() > m_maxLineBytes + 1) {
        m_buffer.clear();
        if (!m_discarding) {
            m_discarding = true;
            return Event::Discarded;
        }
    }
    return Event::NeedMore;
}

} // namespace aph
