#include "server/rpc/rawrequest.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace aph {

namespace {

// An escaped UTF-16 unit, "\uXXXX", is six characters long.
constexpr qsizetype kEscapedUnitChars = 6;

// A cursor over text already known to be valid JSON: it only has to find
// where things end, never to report errors.
class TScanner
{
public:
    explicit TScanner(QByteArrayView text) : m_text(text) {}

    bool AtEnd() const { return m_pos >= m_text.size(); }
    char Peek() const { return AtEnd() ? '\0' : m_text[m_pos]; }
    qsizetype Pos() const { return m_pos; }
    void Skip(qsizetype n = 1) { m_pos += n; }
    void SkipSpace()
    {
        while (!AtEnd() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\r' || Peek() == '\n'))
            ++m_pos;
    }

    // Moves past one value; badText is set when a string in it carries
    // U+0000 or a surrogate without its pair.
    void SkipValue(bool& badText)
    {
        if (Peek() == '"') {
            SkipString(badText);
            return;
        }
        if (Peek() != '{' && Peek() != '[') {
            while (!AtEnd() && !IsDelimiter(Peek()))
                ++m_pos;
            return;
        }
        int depth = 0;
        do {
            const char c = Peek();
            if (c == '"') {
                SkipString(badText);
                continue;
            }
            if (c == '{' || c == '[')
                ++depth;
            else if (c == '}' || c == ']')
                --depth;
            ++m_pos;
        } while (depth > 0 && !AtEnd());
    }

    void SkipString(bool& badText)
    {
        ++m_pos; // the opening quote
        while (!AtEnd() && Peek() != '"') {
            if (Peek() != '\\') {
                ++m_pos;
                continue;
            }
            if (m_text.size() > m_pos + 1 && m_text[m_pos + 1] == 'u')
                SkipEscapedUnit(badText);
            else
                m_pos += 2;
        }
        ++m_pos; // the closing quote
    }

private:
    static bool IsDelimiter(char c)
    {
        return c == ',' || c == '}' || c == ']' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
    }

    int Unit(qsizetype at) const
    {
        if (m_text.size() < at + kEscapedUnitChars || m_text[at] != '\\' || m_text[at + 1] != 'u')
            return -1;
        int unit = 0;
        for (qsizetype i = at + 2; i < at + kEscapedUnitChars; ++i) {
            const char c = m_text[i];
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
            if (digit < 0)
                return -1;
            unit = unit * 16 + digit;
        }
        return unit;
    }

    // "\uXXXX", and the low half after a high surrogate.
    void SkipEscapedUnit(bool& badText)
    {
        const int unit = Unit(m_pos);
        m_pos += kEscapedUnitChars;
        if (unit == 0 || (unit >= 0xDC00 && unit <= 0xDFFF)) {
            badText = true;
        } else if (unit >= 0xD800 && unit <= 0xDBFF) {
            const int low = Unit(m_pos);
            if (low >= 0xDC00 && low <= 0xDFFF)
                m_pos += kEscapedUnitChars;
            else
                badText = true;
        }
    }

    QByteArrayView m_text;
    qsizetype m_pos = 0;
};

// A member name as text: most are written plainly, a few with escapes.
QByteArray MemberName(QByteArrayView quoted)
{
    if (!quoted.contains('\\'))
        return quoted.sliced(1, quoted.size() - 2).toByteArray();
    const QByteArray wrapped = '[' + quoted.toByteArray() + ']';
    return QJsonDocument::fromJson(wrapped).array().at(0).toString().toUtf8();
}

} // namespace

TRawRequest ScanRequest(QByteArrayView line)
{
    TRawRequest request;
    TScanner scan(line);
    scan.SkipSpace();
    if (scan.Peek() != '{')
        return request;
    scan.Skip();
    for (;;) {
        scan.SkipSpace();
        if (scan.Peek() != '"')
            return request; // "}" or the end
        bool ignored = false;
        const qsizetype nameStart = scan.Pos();
        scan.SkipString(ignored);
        const QByteArray name = MemberName(line.sliced(nameStart, scan.Pos() - nameStart));
        scan.SkipSpace();
        scan.Skip(); // ":"
        scan.SkipSpace();
        const qsizetype valueStart = scan.Pos();
        bool badText = false;
        scan.SkipValue(badText);
        if (name == "id")
            request.Id = line.sliced(valueStart, scan.Pos() - valueStart).toByteArray();
        else if (name == "params")
            request.ParamsBadText = badText;
        scan.SkipSpace();
        if (scan.Peek() == ',')
            scan.Skip();
    }
}

} // namespace aph
