// COutBuf: the growable, append-only byte buffer used for responses, fetched
// bodies and file images. One thread at a time; it has no lock.
#pragma once

#include <cstdarg>
#include <cstdio>

class COutBuf {
public:
    COutBuf() = default;
    virtual ~COutBuf();
    COutBuf(const COutBuf&) = delete;
    COutBuf& operator=(const COutBuf&) = delete;

    virtual void Clear();
    virtual char* GetData() { return m_data; }
    virtual const char* GetData() const { return m_data; }
    virtual int GetLength() const { return m_length; }
    virtual bool IsEmpty() const { return m_length == 0; }
    virtual bool PutByte(char c) { return Write(&c, 1); }
    virtual bool PutInt(int value);
    // Zero-terminates the contents without counting the zero.
    virtual char* GetString();
    virtual bool PutString(const char* text);
    // Appends n bytes; false (contents unchanged) when memory runs out or the
    // length would leave the 32-bit range.
    virtual bool Write(const void* bytes, int n);
    virtual bool Printf(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    // Reads a whole file into an empty buffer; false if it cannot be opened or reads short.
    virtual bool LoadFile(const char* path);
    // Writes the contents to a file (created or truncated); false unless every byte was written.
    virtual bool SaveFile(const char* path) const;
    virtual bool Append(const COutBuf* other);
    virtual COutBuf* SetGrowBy(int step);
    virtual void Align(int n);

    // Grows the contents by n bytes left for the caller to fill; returns where
    // they start, or null (contents unchanged) when memory runs out.
    char* Extend(int n);
    // Drops the bytes from length on and keeps the storage for reuse.
    void Truncate(int length);

    int GetCapacity() const { return m_capacity; }
    int GetGrowBy() const { return m_growBy; }

private:
    bool Reserve(long long needed);

    int m_growBy = 256;
    char* m_data = nullptr;
    int m_length = 0;
    int m_capacity = 0;
};

// Size of an open file, with the position put back at its start; false when
// it cannot be read or does not fit the buffer's 32-bit lengths.
bool StreamSizeForBuffer(FILE* stream, int& size);
