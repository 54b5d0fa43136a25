#include "host/data/jsonreader.h"

#include "host/data/exceptions.h"
#include "host/data/utf8.h"

#include <charconv>
#include <cmath>

using namespace Qt::StringLiterals;

namespace aph {

void JsonReader::Fail(const char* what) const
{
    throw EDatabaseError(
        u"JSON malformado na posição %1: %2."_s.arg(m_pos).arg(QString::fromUtf8(what)));
}

void JsonReader::Fail(const std::string& what) const
{
    Fail(what.c_str());
}

void JsonReader::SkipWhitespace()
{
    while (m_pos < m_text.size()) {
        const char c = m_text[m_pos];
        if (c != ' ' && c != '\n' && c != '\r' && c != '\t')
            return;
        ++m_pos;
    }
}

JsonReader::Token JsonReader::Peek()
{
    SkipWhitespace();
    if (m_pos >= m_text.size())
        return Token::End;
    switch (m_text[m_pos]) {
    case '{':
        return Token::ObjectBegin;
    case '}':
        return Token::ObjectEnd;
    case '[':
        return Token::ArrayBegin;
    case ']':
        return Token::ArrayEnd;
    case '"':
        return Token::String;
    case 't':
        return Token::True;
    case 'f':
        return Token::False;
    case 'n':
        return Token::Null;
    default:
        return Token::Number;
    }
}

void JsonReader::Expect(char c)
{
    SkipWhitespace();
    if (m_pos >= m_text.size() || m_text[m_pos] != c)
        Fail(std::string("esperava-se '") + c + "'");
    ++m_pos;
}

void JsonReader::ExpectObjectBegin()
{
    Expect('{');
}

void JsonReader::ExpectArrayBegin()
{
    Expect('[');
}

bool JsonReader::EndOfObject(bool& first)
{
    SkipWhitespace();
    if (m_pos < m_text.size() && m_text[m_pos] == '}') {
        ++m_pos;
        return true;
    }
    if (!first)
        Expect(',');
    first = false;
    return false;
}

bool JsonReader::EndOfArray(bool& first)
{
    SkipWhitespace();
    if (m_pos < m_text.size() && m_text[m_pos] == ']') {
        ++m_pos;
        return true;
    }
    if (!first)
        Expect(',');
    first = false;
    return false;
}

std::string JsonReader::ReadKey()
{
    std::string key = ReadString();
    Expect(':');
    return key;
}

namespace {

void AppendUtf8(std::string& out, unsigned cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::string JsonReader::ReadString()
{
    std::string scratch;
    const std::string_view text = ReadStringView(scratch);
    return text.data() == scratch.data() ? std::move(scratch) : std::string(text);
}

std::string_view JsonReader::ReadStringView(std::string& out)
{
    Expect('"');
    out.clear();
    bool escaped = false;
    const auto* data = reinterpret_cast<const unsigned char*>(m_text.data());
    const std::size_t size = m_text.size();
    std::size_t start = m_pos;
    while (true) {
        if (m_pos >= size)
            Fail("texto sem aspas de fechamento");
        const unsigned char c = data[m_pos];
        if (c == '"') {
            ++m_pos;
            if (!escaped) // the common case: the text itself, no copy
                return m_text.substr(start, m_pos - 1 - start);
            out.append(m_text.data() + start, m_pos - 1 - start);
            return out;
        }
        if (c < 0x20)
            Fail("caractere de controle dentro de um texto");
        if (c >= 0x80) {
            const std::size_t n = Utf8Sequence(data + m_pos, size - m_pos);
            if (n == 0)
                Fail("UTF-8 inválido");
            m_pos += n;
            continue;
        }
        if (c != '\\') {
            ++m_pos;
            continue;
        }
        out.append(m_text.data() + start, m_pos - start);
        escaped = true;
        if (++m_pos >= size)
            Fail("escape incompleto");
        DecodeEscape(out);
        start = m_pos;
    }
}

// The escape after a backslash (already consumed), decoded onto `out`.
void JsonReader::DecodeEscape(std::string& out)
{
    const char e = m_text[m_pos++];
    switch (e) {
    case '"':
        out.push_back('"');
        break;
    case '\\':
        out.push_back('\\');
        break;
    case '/':
        out.push_back('/');
        break;
    case 'b':
        out.push_back('\b');
        break;
    case 'f':
        out.push_back('\f');
        break;
    case 'n':
        out.push_back('\n');
        break;
    case 'r':
        out.push_back('\r');
        break;
    case 't':
        out.push_back('\t');
        break;
    case 'u':
        AppendUtf8(out, ReadUnicodeEscape());
        break;
    default:
        Fail("escape desconhecido");
    }
}

// The code point of a Unicode escape whose backslash and "u" are consumed;
// a surrogate pair is joined, a lone or broken surrogate refused.
unsigned JsonReader::ReadUnicodeEscape()
{
    unsigned cp = ReadHex4();
    if (cp >= 0xD800 && cp <= 0xDBFF) {
        if (m_pos + 2 > m_text.size() || m_text[m_pos] != '\\' || m_text[m_pos + 1] != 'u')
            Fail("par substituto incompleto");
        m_pos += 2;
        const unsigned low = ReadHex4();
        if (low < 0xDC00 || low > 0xDFFF)
            Fail("par substituto inválido");
        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
        Fail("substituto isolado");
    }
    return cp;
}

unsigned JsonReader::ReadHex4()
{
    if (m_pos + 4 > m_text.size())
        Fail("escape \\u incompleto");
    unsigned v = 0;
    for (int i = 0; i < 4; ++i) {
        const int h = HexValue(m_text[m_pos++]);
        if (h < 0)
            Fail("escape \\u inválido");
        v = (v << 4) | static_cast<unsigned>(h);
    }
    return v;
}

double JsonReader::ReadNumber()
{
    SkipWhitespace();
    const std::size_t begin = m_pos;
    const std::size_t size = m_text.size();
    const auto digit = [this, size](std::size_t at) {
        return at < size && m_text[at] >= '0' && m_text[at] <= '9';
    };
    std::size_t p = m_pos;
    if (p < size && m_text[p] == '-')
        ++p;
    if (!digit(p))
        Fail("número esperado");
    if (m_text[p] == '0')
        ++p;
    else
        while (digit(p))
            ++p;
    if (p < size && m_text[p] == '.') {
        ++p;
        if (!digit(p))
            Fail("número com ponto sem casas decimais");
        while (digit(p))
            ++p;
    }
    if (p < size && (m_text[p] == 'e' || m_text[p] == 'E')) {
        ++p;
        if (p < size && (m_text[p] == '+' || m_text[p] == '-'))
            ++p;
        if (!digit(p))
            Fail("expoente sem dígitos");
        while (digit(p))
            ++p;
    }
    double value = 0;
    const auto [end, ec] = std::from_chars(m_text.data() + begin, m_text.data() + p, value);
    if (ec != std::errc() || end != m_text.data() + p || !std::isfinite(value))
        Fail("número fora do intervalo");
    m_pos = p;
    return value;
}

void JsonReader::ReadNull()
{
    SkipWhitespace();
    if (m_text.substr(m_pos, 4) != "null")
        Fail("null esperado");
    m_pos += 4;
}

bool JsonReader::ReadBool()
{
    SkipWhitespace();
    if (m_text.substr(m_pos, 4) == "true") {
        m_pos += 4;
        return true;
    }
    if (m_text.substr(m_pos, 5) == "false") {
        m_pos += 5;
        return false;
    }
    Fail("true ou false esperado");
}

void JsonReader::SkipValueAt(int depth)
{
    if (depth > m_maxDepth)
        Fail("aninhamento profundo demais");
    switch (Peek()) {
    case Token::ObjectBegin: {
        ExpectObjectBegin();
        bool first = true;
        while (!EndOfObject(first)) {
            ReadKey();
            SkipValueAt(depth + 1);
        }
        return;
    }
    case Token::ArrayBegin: {
        ExpectArrayBegin();
        bool first = true;
        while (!EndOfArray(first))
            SkipValueAt(depth + 1);
        return;
    }
    case Token::String:
        ReadString();
        return;
    case Token::True:
    case Token::False:
        ReadBool();
        return;
    case Token::Null:
        ReadNull();
        return;
    case Token::Number:
        ReadNumber();
        return;
    case Token::ObjectEnd:
    case Token::ArrayEnd:
    case Token::End:
        Fail("valor esperado");
    }
}

std::string_view JsonReader::SkipValue()
{
    SkipWhitespace();
    const std::size_t begin = m_pos;
    SkipValueAt(1);
    return m_text.substr(begin, m_pos - begin);
}

void JsonReader::ExpectEnd()
{
    SkipWhitespace();
    if (m_pos != m_text.size())
        Fail("texto após o fim do documento");
}

} // namespace aph
