#include "base/core/out_buf.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

COutBuf::~COutBuf() { std::free(m_data); }

void COutBuf::Clear()
{
    std::free(m_data);
    m_data = nullptr;
    m_length = 0;
    m_capacity = 0;
}

bool COutBuf::PutInt(int value)
{
    // Memory order, as the integer is stored on this machine.
    return Write(&value, static_cast<int>(sizeof value));
}

char* COutBuf::GetString()
{
    if (m_length == m_capacity) {
        if (!PutByte('\0'))
            return m_data;
        --m_length;
    } else {
        m_data[m_length] = '\0';
    }
    return m_data;
}

bool COutBuf::PutString(const char* text)
{
    if (!text)
        return true;
    size_t n = std::strlen(text);
    if (n > static_cast<size_t>(INT_MAX))
        return false;
    return Write(text, static_cast<int>(n));
}

// Grows geometrically (doubling) but keeps the capacity a multiple of the
// growth step, so appending a large body in pieces copies it O(log n) times.
bool COutBuf::Reserve(long long needed)
{
    if (needed <= m_capacity)
        return true;
    const long long step = m_growBy;
    long long wanted = needed > 2LL * m_capacity ? needed : 2LL * m_capacity;
    wanted = (wanted + step - 1) / step * step;
    if (wanted > INT_MAX) {
        wanted = INT_MAX / step * step;
        if (wanted < needed)
            wanted = INT_MAX;
    }
    char* grown = static_cast<char*>(std::realloc(m_data, static_cast<size_t>(wanted)));
    if (!grown)
        return false;
    m_data = grown;
    m_capacity = static_cast<int>(wanted);
    return true;
}

bool COutBuf::Write(const void* bytes, int n)
{
    if (n == 0)
        return true;
    if (n < 0 || !bytes)
        return false;
    const long long needed = static_cast<long long>(m_length) + n;
    if (needed > INT_MAX || !Reserve(needed))
        return false;
    std::memcpy(m_data + m_length, bytes, static_cast<size_t>(n));
    m_length += n;
    return true;
}

char* COutBuf::Extend(int n)
{
    if (n < 0)
        return nullptr;
    const long long needed = static_cast<long long>(m_length) + n;
    if (needed > INT_MAX || !Reserve(needed))
        return nullptr;
    char* start = m_data + m_length;
    m_length += n;
    return start;
}

void COutBuf::Truncate(int length)
{
    if (length >= 0 && length < m_length)
        m_length = length;
}

bool COutBuf::Printf(const char* format, ...)
{
    char area[4096];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(area, sizeof area, format, args);
    va_end(args);
    bool ok = false;
    if (n < 0) {
        ok = false;
    } else if (n < static_cast<int>(sizeof area)) {
        ok = Write(area, n);
    } else {
        // Longer than the usual area: format again into one that fits.
        std::vector<char> big(static_cast<size_t>(n) + 1);
        std::vsnprintf(big.data(), big.size(), format, again);
        ok = Write(big.data(), n);
    }
    va_end(again);
    return ok;
}

bool COutBuf::LoadFile(const char* path)
{
    FILE* file = std::fopen(path, "rb");
    if (!file)
        return false;
    bool ok = false;
    int size = 0;
    if (StreamSizeForBuffer(file, size) && size == 0) {
        ok = true; // nothing to read: the buffer stays as it was
    } else if (size > 0) {
        char* storage = static_cast<char*>(std::malloc(static_cast<size_t>(size)));
        if (storage && std::fread(storage, 1, static_cast<size_t>(size), file) == static_cast<size_t>(size)) {
            std::free(m_data);
            m_data = storage;
            m_length = m_capacity = size;
            ok = true;
        } else {
            std::free(storage);
        }
    }
    std::fclose(file);
    return ok;
}

bool COutBuf::SaveFile(const char* path) const
{
    FILE* file = std::fopen(path, "wb");
    if (!file)
        return false;
    bool ok = m_length == 0 || std::fwrite(m_data, 1, static_cast<size_t>(m_length), file) == static_cast<size_t>(m_length);
    if (std::fclose(file) != 0)
        ok = false;
    return ok;
}

bool COutBuf::Append(const COutBuf* other)
{
    return other ? Write(other->GetData(), other->GetLength()) : true;
}

COutBuf* COutBuf::SetGrowBy(int step)
{
    if (step > 0)
        m_growBy = step;
    return this;
}

void COutBuf::Align(int n)
{
    if (n <= 0)
        return;
    while (m_length % n != 0)
        if (!PutByte('\0'))
            return;
}

bool StreamSizeForBuffer(FILE* stream, int& size)
{
    if (std::fseek(stream, 0, SEEK_END) != 0)
        return false;
    const long end = std::ftell(stream);
    if (end < 0 || end > INT_MAX || std::fseek(stream, 0, SEEK_SET) != 0)
        return false;
    size = static_cast<int>(end);
    return true;
}
