// SPDX-License-Identifier: MIT
// The bytes of a UDP entry's payload and expected reply as they are typed
// and stored: text as it is, or hex after "hex:".
#include "base/UdpBytes.h"

#include <gtest/gtest.h>

namespace vigilon {

TEST(UdpBytes, TextGoesAsItIsAndHexPairsAfterThePrefix)
{
    EXPECT_EQ(decodeUdpBytes("status"), "status");
    EXPECT_EQ(decodeUdpBytes("hex"), "hex");
    EXPECT_EQ(decodeUdpBytes("hex:"), "");
    EXPECT_EQ(decodeUdpBytes("HEX:1B00ff"), std::string("\x1b\x00\xff", 3));
    EXPECT_EQ(decodeUdpBytes("hex:1b 00:ff-7e\t01"), std::string("\x1b\x00\xff\x7e\x01", 5));
    EXPECT_EQ(decodeUdpBytes(" hex:00"), " hex:00") << "only a leading prefix means hex";
}

TEST(UdpBytes, HexThatIsNotWholePairsIsRefused)
{
    for (const char *bad : {"hex:1", "hex:1 b", "hex:zz", "hex:0x1b", "hex:1b0"})
        EXPECT_FALSE(decodeUdpBytes(bad)) << bad;
}

} // namespace vigilon
