#include "host/data/value.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

namespace aph {

struct Value::HeapString
{
    std::atomic<int> ref;
    std::uint32_t size;
    char data[1];
};

Value::HeapString* Value::Heap() const noexcept
{
    HeapString* heap;
    std::memcpy(&heap, m_bytes, sizeof heap);
    return heap;
}

Value Value::FromNumber(double number) noexcept
{
    Value v;
    std::memcpy(v.m_bytes, &number, sizeof number);
    v.SetTag(kNumberTag);
    return v;
}

Value Value::FromString(QStringView text)
{
    const QByteArray utf8 = text.toUtf8();
    return FromUtf8(utf8.constData(), static_cast<std::size_t>(utf8.size()));
}

Value Value::FromUtf8(const char* data, std::size_t size)
{
    Value v;
    if (size <= kInlineMax) {
        if (size > 0)
            std::memcpy(v.m_bytes, data, size);
        v.SetTag(static_cast<std::uint8_t>(size));
        return v;
    }
    void* mem = std::malloc(offsetof(HeapString, data) + size);
    if (!mem)
        throw std::bad_alloc();
    auto* heap = new (mem) HeapString{{1}, static_cast<std::uint32_t>(size), {0}};
    std::memcpy(heap->data, data, size);
    std::memcpy(v.m_bytes, &heap, sizeof heap);
    v.SetTag(kHeapTag);
    return v;
}

Value::Value(const Value& other) noexcept
{
    std::memcpy(m_bytes, other.m_bytes, sizeof m_bytes);
    Retain();
}

Value::Value(Value&& other) noexcept
{
    std::memcpy(m_bytes, other.m_bytes, sizeof m_bytes);
    other.SetTag(kNullTag);
}

Value& Value::operator=(const Value& other) noexcept
{
    if (this != &other) {
        Release();
        std::memcpy(m_bytes, other.m_bytes, sizeof m_bytes);
        Retain();
    }
    return *this;
}

Value& Value::operator=(Value&& other) noexcept
{
    if (this != &other) {
        Release();
        std::memcpy(m_bytes, other.m_bytes, sizeof m_bytes);
        other.SetTag(kNullTag);
    }
    return *this;
}

Value::~Value()
{
    Release();
}

void Value::Retain() noexcept
{
    if (Tag() == kHeapTag)
        Heap()->ref.fetch_add(1, std::memory_order_relaxed);
}

void Value::Release() noexcept
{
    if (Tag() == kHeapTag) {
        HeapString* heap = Heap();
        if (heap->ref.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            heap->~HeapString();
            std::free(heap);
        }
    }
    SetTag(kNullTag);
}

Value::Kind Value::GetKind() const noexcept
{
    if (IsNull())
        return Kind::Null;
    if (IsNumber())
        return Kind::Number;
    return Kind::String;
}

double Value::ToNumber() const noexcept
{
    if (!IsNumber())
        return 0.0;
    double number;
    std::memcpy(&number, m_bytes, sizeof number);
    return number;
}

const char* Value::Utf8Data() const noexcept
{
    return Tag() == kHeapTag ? Heap()->data : reinterpret_cast<const char*>(m_bytes);
}

std::size_t Value::Utf8Size() const noexcept
{
    if (Tag() == kHeapTag)
        return Heap()->size;
    return Tag() <= kInlineMax ? Tag() : 0;
}

QString Value::ToString() const
{
    if (!IsString())
        return {};
    return QString::fromUtf8(Utf8Data(), static_cast<qsizetype>(Utf8Size()));
}

qsizetype Value::StringLength() const
{
    if (!IsString())
        return 0;
    // Count UTF-16 units as QString would, without building one.
    const auto* p = reinterpret_cast<const unsigned char*>(Utf8Data());
    const std::size_t n = Utf8Size();
    qsizetype length = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            length += (p[i] >= 0xF0) ? 2 : 1;
    }
    return length;
}

int Value::Compare(const Value& other) const
{
    const Kind a = GetKind();
    const Kind b = other.GetKind();
    if (a != b)
        return a < b ? -1 : 1;
    switch (a) {
    case Kind::Null:
        return 0;
    case Kind::Number: {
        const double x = ToNumber();
        const double y = other.ToNumber();
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    case Kind::String: {
        // UTF-8 byte order is code point order.
        const std::size_t n1 = Utf8Size();
        const std::size_t n2 = other.Utf8Size();
        const int c = std::memcmp(Utf8Data(), other.Utf8Data(), n1 < n2 ? n1 : n2);
        if (c != 0)
            return c < 0 ? -1 : 1;
        return n1 == n2 ? 0 : (n1 < n2 ? -1 : 1);
    }
    }
    return 0;
}

bool Value::operator==(const Value& other) const
{
    return Compare(other) == 0;
}

} // namespace aph
