// Where a response's body ends, read from its head.
#include "download/core/response_framing.h"

#include <gtest/gtest.h>

TEST(ResponseFraming, OneReadingOrNone)
{
    const struct {
        const char* head;
        bool ambiguous;
        long long length;
    } cases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 12\r\n\r\n", false, 12},
        {"HTTP/1.1 200 OK\r\nContent-Length: 12, 12\r\n\r\n", false, 12},
        {"HTTP/1.1 200 OK\nContent-Length: 7\n\n", false, 7},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", false, -1},
        {"HTTP/1.1 200 OK\r\nContent-Length: 12\r\nContent-Length: 6\r\n\r\n", true, -1},
        {"HTTP/1.1 200 OK\r\nContent-Length: 12, 6\r\n\r\n", true, -1},
        {"HTTP/1.1 200 OK\r\nContent-Length: 12\r\nTransfer-Encoding: chunked\r\n\r\n", true, -1},
        {"HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n", true, -1},
        {"HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\n", true, -1},
        // Lines after the blank one are body, not head.
        {"HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nContent-Length: 4\r\n", false, 3},
    };
    for (const auto& c : cases) {
        const CHeadFraming framing = FramingOfRawHead(c.head);
        EXPECT_EQ(framing.Ambiguous(), c.ambiguous) << c.head;
        if (!c.ambiguous) {
            EXPECT_EQ(framing.ContentLength(), c.length) << c.head;
        }
    }
}
