#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <string_view>

namespace aph {

// One stored cell of a dataset: null, a number (float and date-time fields)
// or a string. Sixteen bytes: strings of up to 15 UTF-8 bytes live inside
// the value, longer ones in a shared immutable buffer, so a dataset of
// hundreds of thousands of rows stays compact and copies cheaply.
class Value
{
public:
    enum class Kind : std::uint8_t
    {
        Null,
        Number,
        String
    };

    Value() noexcept { SetTag(kNullTag); }
    static Value FromNumber(double number) noexcept;
    static Value FromString(QStringView text);
    static Value FromUtf8(const char* data, std::size_t size);

    Value(const Value& other) noexcept;
    Value(Value&& other) noexcept;
    Value& operator=(const Value& other) noexcept;
    Value& operator=(Value&& other) noexcept;
    ~Value();

    Kind GetKind() const noexcept;
    bool IsNull() const noexcept { return Tag() == kNullTag; }
    bool IsNumber() const noexcept { return Tag() == kNumberTag; }
    bool IsString() const noexcept { return !IsNull() && !IsNumber(); }

    // The number; 0 for null or a string.
    double ToNumber() const noexcept;
    // The string; empty for null or a number.
    QString ToString() const;
    // The raw UTF-8 bytes of a string value (empty otherwise).
    std::string_view Utf8() const noexcept
    {
        return IsString() ? std::string_view(Utf8Data(), Utf8Size()) : std::string_view();
    }
    // Number of characters of a string value (0 otherwise).
    qsizetype StringLength() const;

    // Total order used by indexes: null first, then numbers, then strings
    // (strings compared by code point).
    int Compare(const Value& other) const;
    bool operator==(const Value& other) const;

private:
    static constexpr std::uint8_t kInlineMax = 15;
    static constexpr std::uint8_t kHeapTag = 0xFD;
    static constexpr std::uint8_t kNumberTag = 0xFE;
    static constexpr std::uint8_t kNullTag = 0xFF;

    struct HeapString;

    // Bytes 0..14 hold an inline string, or bytes 0..7 a double or the heap
    // pointer; byte 15 is the tag (0..15: inline string length).
    std::uint8_t Tag() const noexcept { return m_bytes[kInlineMax]; }
    void SetTag(std::uint8_t tag) noexcept { m_bytes[kInlineMax] = tag; }
    HeapString* Heap() const noexcept;
    const char* Utf8Data() const noexcept;
    std::size_t Utf8Size() const noexcept;
    void Release() noexcept;
    void Retain() noexcept;

    alignas(8) unsigned char m_bytes[16];
};

static_assert(sizeof(Value) == 16, "a cell must stay sixteen bytes");

} // namespace aph
