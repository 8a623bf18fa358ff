// Device texts are Latin-1 bytes on the wire: the tool shows them in UTF-8
// (table, JSON, CSV) and sends an identifier given in UTF-8 as Latin-1.
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli_fixture.h"

namespace velkarin::test {
namespace {

// "Prüfstand-Ä" and "Prüf-1" as a device sends them.
const char* const kUmlautDevice =
    "serial=C0DE,name=Pr\xC3\xBC"
    "fstand-\xC3\x84,deviceId=Pr\xC3\xBC"
    "f-1,dhcp=0,ip=192.168.1.20,"
    "netmask=255.255.255.0,gateway=192.168.1.1";
const char* const kPlainDevice =
    "serial=1A2B,name=Plain,dhcp=1,ip=192.168.1.21,netmask=255.255.255.0,gateway=192.168.1.1";

// The same texts as UTF-8.
const std::string kName =
    "Pr\xC3\xBC"
    "fstand-\xC3\x84";
const std::string kId =
    "Pr\xC3\xBC"
    "f-1";

// Character positions, for columns: UTF-8 continuation bytes start none.
std::size_t CharacterIndex(const std::string& utf8, std::size_t byteOffset) {
  std::size_t characters = 0;
  for (std::size_t i = 0; i < byteOffset; ++i) {
    if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80) ++characters;
  }
  return characters;
}

class CliTextEncodingTest : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    devsim_ = std::make_unique<DevsimProcess>(
        std::vector<std::string>{"--device", kUmlautDevice, "--device", kPlainDevice});
    ASSERT_DEVSIM_READY(*devsim_);
  }
  std::unique_ptr<DevsimProcess> devsim_;
};

TEST_F(CliTextEncodingTest, TableShowsUmlautsInUtf8WithColumnsAlignedByCharacter) {
  const RunResult run = RunCli({"list"});
  ASSERT_TRUE(run.finished);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::vector<std::string> lines = Lines(run.out);
  EXPECT_EQ(lines,
            (std::vector<std::string>{
                "Snr     Name         DHCP  IP            Netmask        Gateway      Status  "
                "Interface",
                "001A2B  Plain        Yes   192.168.1.21  255.255.255.0  192.168.1.1  -       lo",
                "00C0DE  " + kName + "  No    192.168.1.20  255.255.255.0  192.168.1.1  -       lo",
            }))
      << run.out;
  // The column after the name starts at one character position in every row.
  ASSERT_EQ(lines.size(), 3u);
  const std::size_t header = CharacterIndex(lines[0], lines[0].find("DHCP"));
  EXPECT_EQ(CharacterIndex(lines[1], lines[1].find("Yes")), header);
  EXPECT_EQ(CharacterIndex(lines[2], lines[2].find("No ")), header);
}

TEST_F(CliTextEncodingTest, JsonEscapesTheLettersAndParsesBackToThem) {
  const RunResult run = RunCli({"list", "--json"});
  ASSERT_TRUE(run.finished);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find(R"("name": "Pr\u00fcfstand-\u00c4")"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(R"("deviceId": "Pr\u00fcf-1")"), std::string::npos) << run.out;
  const nlohmann::json list = nlohmann::json::parse(run.out);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1]["name"], kName);
  EXPECT_EQ(list[1]["deviceId"], kId);
}

TEST_F(CliTextEncodingTest, CsvIsUtf8WithAHeaderRowAndCrLf) {
  const RunResult run = RunCli({"list", "--csv"});
  ASSERT_TRUE(run.finished);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  // No byte-order mark outside Windows.
  EXPECT_EQ(run.out,
            "serialText,name,dhcp,ipAddress,netmask,gateway,status,interface\r\n"
            "001A2B,Plain,Yes,192.168.1.21,255.255.255.0,192.168.1.1,-,lo\r\n"
            "00C0DE," +
                kName + ",No,192.168.1.20,255.255.255.0,192.168.1.1,-,lo\r\n");
}

TEST_F(CliTextEncodingTest, DeviceIdInUtf8ReachesTheDeviceAsLatin1) {
  const RunResult set = RunCli({"set", "C0DE", "--device-id", kId, "--dhcp"});
  ASSERT_TRUE(set.finished);
  EXPECT_EQ(set.exitCode, 0) << set.out << set.err;
  EXPECT_EQ(Lines(set.out), (std::vector<std::string>{"00C0DE: accepted by the device (CONFIG_OK)",
                                                      "00C0DE: configured"}));
  std::vector<std::string> commands;
  for (const std::string& bytes : devsim_->Received()) {
    if (bytes != "0 1 A") commands.push_back(bytes);
  }
  ASSERT_EQ(commands.size(), 1u);
  // The identifier leads the command, in the bytes the device announced.
  EXPECT_EQ(commands[0].rfind("Pr\xFC"
                              "f-1 ",
                              0),
            0u)
      << commands[0];
}

TEST_F(CliTextEncodingTest, UnknownIdentifierIsEchoedInUtf8) {
  const RunResult set = RunCli({"set", "C0DE", "--device-id", "\xC3\x84nderung", "--dhcp"});
  ASSERT_TRUE(set.finished);
  EXPECT_NE(set.exitCode, 0);
  EXPECT_NE((set.out + set.err).find("no device announces the identifier \xC3\x84nderung"),
            std::string::npos)
      << set.out << set.err;
}

// A terminal gets the locale's character set; a pipe always UTF-8.
TEST_F(CliTextEncodingTest, TerminalGetsTheLocalesCharacterSet) {
  if (access("/usr/bin/script", X_OK) != 0) GTEST_SKIP() << "no script(1) for a terminal";
  struct Case {
    const char* locale;
    std::string name;
    std::string nextColumn;  // what follows the name, padded to the same width
  };
  const Case cases[] = {
      {"C", "Pr?fstand-?", "  No "},
      {"C.UTF-8", kName, "  No "},
  };
  for (const Case& c : cases) {
    const RunResult run = RunProgram({"/usr/bin/env", std::string("LC_ALL=") + c.locale,
                                      "/usr/bin/script", "-qec", CliPath() + " list", "/dev/null"});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("00C0DE  " + c.name + c.nextColumn), std::string::npos)
        << c.locale << ": " << run.out;
  }
}

// Messages that name what the user gave (an interface, a plan's path) come
// out as the table does: in the terminal's character set.
TEST_F(CliTextEncodingTest, MessagesOnATerminalGetTheLocalesCharacterSet) {
  if (access("/usr/bin/script", X_OK) != 0) GTEST_SKIP() << "no script(1) for a terminal";
  const struct {
    const char* arguments;
    const char* message;
  } cases[] = {
      {"list --interface wl\xC3\xA4n0", "no IPv4 interface named 'wl?n0' is up"},
      {"apply /nonexistent/pl\xC3\xA4n.csv", "cannot read the plan /nonexistent/pl?n.csv"},
  };
  for (const auto& c : cases) {
    const RunResult run = RunProgram({"/usr/bin/env", "LC_ALL=C", "/usr/bin/script", "-qec",
                                      CliPath() + " " + c.arguments, "/dev/null"});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 2) << run.out;
    EXPECT_TRUE(Contains(run.out, std::string("velkarin: ") + c.message)) << run.out;
  }
}

}  // namespace
}  // namespace velkarin::test
