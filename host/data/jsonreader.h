#pragma once

#include <string>
#include <string_view>

namespace aph {

// A strict pull reader over JSON text (RFC 8259), for the hot paths where
// building a whole document first would cost too much: data packets of
// hundreds of thousands of rows. Refuses anything malformed, invalid UTF-8
// and nesting deeper than a limit, with an EDatabaseError naming the offset.
class JsonReader
{
public:
    explicit JsonReader(std::string_view text, int maxDepth = 64)
        : m_text(text), m_maxDepth(maxDepth)
    {}

    enum class Token
    {
        ObjectBegin,
        ObjectEnd,
        ArrayBegin,
        ArrayEnd,
        String,
        Number,
        True,
        False,
        Null,
        End
    };

    // The kind of the next token, without consuming it.
    Token Peek();
    void ExpectObjectBegin();
    void ExpectArrayBegin();
    // Inside an object or array: true when the next token closes it (and
    // consumes the closing bracket); otherwise consumes the separating comma
    // if one is due and returns false.
    bool EndOfObject(bool& first);
    bool EndOfArray(bool& first);
    // An object member's key, including its colon.
    std::string ReadKey();
    std::string ReadString();
    // The same without a copy when the text has no escapes: a view into the
    // input, or into `scratch` when escapes had to be decoded.
    std::string_view ReadStringView(std::string& scratch);
    double ReadNumber();
    void ReadNull();
    bool ReadBool();
    // Skips one whole value of any kind and returns its text.
    std::string_view SkipValue();
    // After the top-level value: only whitespace may remain.
    void ExpectEnd();
    std::size_t Offset() const { return m_pos; }

    [[noreturn]] void Fail(const char* what) const;
    [[noreturn]] void Fail(const std::string& what) const;

private:
    void SkipWhitespace();
    void Expect(char c);
    void SkipValueAt(int depth);
    void DecodeEscape(std::string& out);
    unsigned ReadUnicodeEscape();
    unsigned ReadHex4();

    std::string_view m_text;
    std::size_t m_pos = 0;
    int m_maxDepth;
};

} // namespace aph
