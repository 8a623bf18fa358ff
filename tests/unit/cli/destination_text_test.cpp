#include "cli/commands/destination_text.h"

#include <gtest/gtest.h>

namespace velkarin::cli {
namespace {

TEST(ParseDestination, AddressAloneKeepsTheDevicePort) {
  const auto d = ParseDestination("127.0.0.1");
  ASSERT_TRUE(d);
  EXPECT_EQ(d->address, 0x7F000001u);
  EXPECT_EQ(d->port, 8001);
  const auto b = ParseDestination("255.255.255.255");
  ASSERT_TRUE(b);
  EXPECT_EQ(b->address, 0xFFFFFFFFu);
}

TEST(ParseDestination, AddressWithPort) {
  const auto d = ParseDestination("10.1.2.255:18001");
  ASSERT_TRUE(d);
  EXPECT_EQ(d->address, 0x0A0102FFu);
  EXPECT_EQ(d->port, 18001);
  EXPECT_EQ(ParseDestination("127.0.0.1:1")->port, 1);
  EXPECT_EQ(ParseDestination("127.0.0.1:65535")->port, 65535);
  EXPECT_EQ(ParseDestination("127.0.0.1:00080")->port, 80);
}

TEST(ParseDestination, ShortAndOctalAddressFormsAsTheAddressChecksReadThem) {
  EXPECT_EQ(ParseDestination("127.1")->address, 0x7F000001u);
  EXPECT_EQ(ParseDestination("0x7f.0.0.010")->address, 0x7F000008u);
}

TEST(ParseDestination, RefusesWhatIsNotAnAddressAndPort) {
  for (const char* text :
       {"", ":8001", "0.0.0.0", "0.0.0.0:8001", "1.2.3.4:", "1.2.3.4:0", "1.2.3.4:65536",
        "1.2.3.4:123456", "1.2.3.4:80x", "1.2.3.4:-1", "1.2.3.4: 80", "1.2.3.4:+80",
        "1.2.3.4:80:81", "256.1.1.1", "host", "1.2.3.4.5"}) {
    EXPECT_FALSE(ParseDestination(text)) << text;
  }
}

TEST(DestinationText, DottedAddressAndPort) {
  Destination d;
  EXPECT_EQ(DestinationText(d), "255.255.255.255:8001");
  d.address = 0x7F000001u;
  d.port = 18001;
  EXPECT_EQ(DestinationText(d), "127.0.0.1:18001");
}

}  // namespace
}  // namespace velkarin::cli
