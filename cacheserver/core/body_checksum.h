// A fast 64-bit checksum of a cache body: four multiply-rotate lanes over
// 32-byte stripes, so that checking a whole cache costs little more than
// reading it. It finds damage (a torn write, a truncated copy, a changed
// byte); it is no defence against someone who forges a body on purpose.
#pragma once

#include <cstddef>
#include <cstdint>

class CBodyChecksum {
public:
    CBodyChecksum();
    void Add(const char* bytes, size_t length);
    uint64_t Value() const;

private:
    void Stripe(const unsigned char* stripe);

    uint64_t m_lanes[4];
    unsigned char m_pending[32];
    size_t m_pendingBytes = 0;
    uint64_t m_total = 0;
};

uint64_t BodyChecksumOf(const char* bytes, size_t length);
