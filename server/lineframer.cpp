#include "lineframer.h"

namespace aph {

TLineFramer::Event TLineFramer::Next(QByteArray& line)
{
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
        if (line.trimmed().isEmpty())
            continue;
        if (line.size() > m_maxLineBytes) {
            line.clear();
            return Event::TooLong;
        }
        return Event::Line;
    }
    line.clear();
    if (m_buffer.size() > m_maxLineBytes) {
        m_buffer.clear();
        if (!m_discarding) {
            m_discarding = true;
            return Event::Discarded;
        }
    }
    return Event::NeedMore;
}

} // namespace aph
