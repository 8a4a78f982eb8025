#include "cacheserver/core/body_checksum.h"

#include <cstring>

namespace {

constexpr uint64_t kPrime1 = 11400714785074694791ULL;
constexpr uint64_t kPrime2 = 14029467366897019727ULL;
constexpr uint64_t kPrime3 = 1609587929392839161ULL;
constexpr uint64_t kPrime4 = 9650029242287828579ULL;
constexpr uint64_t kPrime5 = 2870177450012600261ULL;

uint64_t RotateLeft(uint64_t value, int bits)
{
    return (value << bits) | (value >> (64 - bits));
}

// Little-endian whatever the host, so that a cache moved between machines
// keeps its checksums; a plain load where the host is little-endian.
uint64_t Read64(const unsigned char* p)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    uint64_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
#else
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | p[i];
    return value;
#endif
}

uint32_t Read32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

uint64_t Round(uint64_t lane, uint64_t input)
{
    lane += input * kPrime2;
    lane = RotateLeft(lane, 31);
    return lane * kPrime1;
}

uint64_t MergeLane(uint64_t hash, uint64_t lane)
{
    hash ^= Round(0, lane);
    return hash * kPrime1 + kPrime4;
}

} // namespace

CBodyChecksum::CBodyChecksum()
    : m_lanes{kPrime1 + kPrime2, kPrime2, 0, 0 - kPrime1}
{
}

void CBodyChecksum::Stripe(const unsigned char* stripe)
{
    for (int lane = 0; lane < 4; ++lane)
        m_lanes[lane] = Round(m_lanes[lane], Read64(stripe + 8 * lane));
}

void CBodyChecksum::Add(const char* bytes, size_t length)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes);
    m_total += length;
    if (m_pendingBytes > 0) {
        const size_t take = length < sizeof m_pending - m_pendingBytes ? length : sizeof m_pending - m_pendingBytes;
        std::memcpy(m_pending + m_pendingBytes, p, take);
        m_pendingBytes += take;
        p += take;
        length -= take;
        if (m_pendingBytes < sizeof m_pending)
            return;
        Stripe(m_pending);
        m_pendingBytes = 0;
    }
    for (; length >= sizeof m_pending; p += sizeof m_pending, length -= sizeof m_pending)
        Stripe(p);
    std::memcpy(m_pending, p, length);
    m_pendingBytes = length;
}

uint64_t CBodyChecksum::Value() const
{
    uint64_t hash;
    if (m_total >= sizeof m_pending) {
        hash = RotateLeft(m_lanes[0], 1) + RotateLeft(m_lanes[1], 7) + RotateLeft(m_lanes[2], 12) +
               RotateLeft(m_lanes[3], 18);
        for (uint64_t lane : m_lanes)
            hash = MergeLane(hash, lane);
    } else {
        hash = kPrime5;
    }
    hash += m_total;
    const unsigned char* p = m_pending;
    size_t left = m_pendingBytes;
    for (; left >= 8; p += 8, left -= 8) {
        hash ^= Round(0, Read64(p));
        hash = RotateLeft(hash, 27) * kPrime1 + kPrime4;
    }
    if (left >= 4) {
        hash ^= static_cast<uint64_t>(Read32(p)) * kPrime1;
        hash = RotateLeft(hash, 23) * kPrime2 + kPrime3;
        p += 4;
        left -= 4;
    }
    for (; left > 0; ++p, --left) {
        hash ^= *p * kPrime5;
        hash = RotateLeft(hash, 11) * kPrime1;
    }
    hash ^= hash >> 33;
    hash *= kPrime2;
    hash ^= hash >> 29;
    hash *= kPrime3;
    hash ^= hash >> 32;
    return hash;
}

uint64_t BodyChecksumOf(const char* bytes, size_t length)
{
    CBodyChecksum sum;
    sum.Add(bytes, length);
    return sum.Value();
}
