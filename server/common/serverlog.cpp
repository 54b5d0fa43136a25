#include "server/common/serverlog.h"

#include "host/data/exceptions.h"
#include "server/common/hiddentext.h"

#include <QByteArray>

#include <atomic>
#include <cstdlib>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

std::atomic<int> g_level{static_cast<int>(TLogLevel::Info)};

bool UnderJournal()
{
    static const bool journal = std::getenv("JOURNAL_STREAM") != nullptr;
    return journal;
}

const char* Priority(TLogLevel level)
{
    switch (level) {
    case TLogLevel::Error:
        return "<3>";
    case TLogLevel::Warning:
        return "<4>";
    case TLogLevel::Info:
        return "<6>";
    case TLogLevel::Debug:
        break;
    }
    return "<7>";
}

} // namespace

TLogLevel ParseLogLevel(const QString& text)
{
    const QString t = text.toLower();
    if (t == u"error" || t == u"erro")
        return TLogLevel::Error;
    if (t == u"warning" || t == u"aviso")
        return TLogLevel::Warning;
    if (t == u"info")
        return TLogLevel::Info;
    if (t == u"debug" || t == u"depuracao" || t == u"depuração")
        return TLogLevel::Debug;
    throw Exception(u"Nível de registro inválido: '%1' (use error, warning, info ou "
                    "debug)."_s.arg(text));
}

void SetLogLevel(TLogLevel level)
{
    g_level.store(static_cast<int>(level), std::memory_order_relaxed);
}

bool Logs(TLogLevel level)
{
    return static_cast<int>(level) <= g_level.load(std::memory_order_relaxed);
}

void LogLine(TLogLevel level, const QString& text)
{
    if (!Logs(level))
        return;
    QByteArray line;
    line.reserve(text.size() + 16);
    if (UnderJournal())
        line += Priority(level);
    line += "aph-server: ";
    // Whatever a message carries (a client's text inside an error, a
    // file's line), the log line stays one line of visible characters.
    line += EscapeHidden(text, false).toUtf8();
    line += '\n';
    // One write(2) per line: stderr may be shared by every thread.
    const char* data = line.constData();
    qsizetype left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(STDERR_FILENO, data, static_cast<size_t>(left));
        if (n <= 0)
            return;
        data += n;
        left -= n;
    }
}

QString LogValue(const QString& text)
{
    if (text.isEmpty())
        return u"-"_s;
    QString value;
    const QString cut = text.left(80);
    value.reserve(cut.size());
    for (const QChar c : cut) {
        const char16_t u = c.unicode();
        // Printable ASCII stands as it is; a backslash is escaped so that
        // the client cannot write an escape of its own.
        if (u > 0x20 && u < 0x7f && u != u'\\')
            value += c;
        else if (u <= 0x7f)
            value += u"\\x%1"_s.arg(u, 2, 16, QLatin1Char('0'));
        else
            value += u"\\u%1"_s.arg(u, 4, 16, QLatin1Char('0'));
    }
    if (text.size() > cut.size())
        value += u"…"_s;
    return value;
}

} // namespace aph
