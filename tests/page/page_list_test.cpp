// The device list as the user sees it: rows, selection, and how the form
// follows the selected device.
#include <windows.h>
// after windows.h
#include <commctrl.h>

#include "page_fixture.h"

namespace velkarin::pagetest {
namespace {

using driver::CellText;
using driver::IsChecked;
using driver::IsEnabled;
using driver::IsModified;
using driver::IsReadOnly;
using driver::Pump;
using driver::SelectedRow;
using driver::WindowText;

using Rows = std::vector<std::vector<std::string>>;

class PageList : public PageTest {
 protected:
  void ExpectFormDisabled() {
    EXPECT_FALSE(IsEnabled(control(kUseDhcp)));
    EXPECT_FALSE(IsEnabled(control(kSendConfig)));
    for (int id : {kIpAddress, kNetmask, kGateway}) {
      EXPECT_FALSE(IsEnabled(control(id))) << id;
      EXPECT_TRUE(IsReadOnly(control(id))) << id;
    }
  }
  void ExpectForm(bool dhcp, const std::string& ip, const std::string& netmask,
                  const std::string& gateway) {
    EXPECT_TRUE(IsEnabled(control(kUseDhcp)));
    EXPECT_TRUE(IsEnabled(control(kSendConfig)));
    EXPECT_EQ(IsChecked(control(kUseDhcp)), dhcp);
    EXPECT_EQ(WindowText(control(kIpAddress)), ip);
    EXPECT_EQ(WindowText(control(kNetmask)), netmask);
    EXPECT_EQ(WindowText(control(kGateway)), gateway);
    for (int id : {kIpAddress, kNetmask, kGateway}) {
      EXPECT_EQ(IsEnabled(control(id)), !dhcp) << id;
      EXPECT_EQ(IsReadOnly(control(id)), dhcp) << id;
      EXPECT_FALSE(IsModified(control(id))) << id;
    }
  }
};

const std::string kAlpha = Device({{"serial", "1A2B"},
                                   {"name", "Alpha"},
                                   {"dhcp", "0"},
                                   {"ip", "10.0.0.11"},
                                   {"netmask", "255.0.0.0"},
                                   {"gateway", "10.0.0.254"}});
const std::string kBeta = Device({{"serial", "1234567"},
                                  {"name", "Beta"},
                                  {"dhcp", "5"},
                                  {"ip", "192.168.1.20"},
                                  {"netmask", "255.255.255.0"},
                                  {"gateway", "192.168.1.1"}});
const std::string kGamma = Device({{"serial", "89ABCDEF"},
                                   {"name", "Gamma"},
                                   {"dhcp", "0"},
                                   {"ip", "172.16.0.7"},
                                   {"netmask", "255.255.0.0"},
                                   {"gateway", "172.16.0.1"}});

TEST_F(PageList, NoDeviceLeavesListEmptyAndFormDisabled) {
  StartSimulator({});
  OpenPage();
  EXPECT_EQ(sheet().TabText(), "Modul Parameters");
  EXPECT_EQ(driver::ColumnCaptions(list()),
            (std::vector<std::string>{"Snr", "Name", "DHCP", "IP", "Netmask", "Gateway"}));
  const int widths[] = {50, 70, 50, 100, 100, 100};
  for (int column = 0; column < 6; ++column) {
    EXPECT_EQ(SendMessageA(list(), LVM_GETCOLUMNWIDTH, column, 0), widths[column]) << column;
  }
  EXPECT_TRUE(IsWindowVisible(list()));
  ExpectFormDisabled();
  // Two discovery cycles with nobody answering.
  Pump(6500);
  EXPECT_EQ(SendMessageA(list(), LVM_GETITEMCOUNT, 0, 0), 0);
  ExpectFormDisabled();
  EXPECT_GE(simulator().Received().size(), 2u) << "the engine broadcast no discovery";
  Screenshot("empty");
}

TEST_F(PageList, RowsShowEveryDeviceInSerialOrder) {
  const std::string unconfigured = Device({{"serial", "000042"},
                                           {"name", "Fresh"},
                                           {"ip", "10.9.9.9"},
                                           {"netmask", "255.0.0.0"},
                                           {"gateway", "10.0.0.1"},
                                           {"unconfigured", "true"}});
  StartSimulator({kGamma, kAlpha, unconfigured, kBeta});
  OpenPage();
  ASSERT_TRUE(WaitForSerials({"000042", "001A2B", "1234567", "89ABCDEF"}))
      << ::testing::PrintToString(SerialsShown());
  EXPECT_EQ(driver::ListRows(list()),
            (Rows{{"000042", "Fresh", "No", "0.0.0.0", "0.0.0.0", "0.0.0.0"},
                  {"001A2B", "Alpha", "No", "10.0.0.11", "255.0.0.0", "10.0.0.254"},
                  {"1234567", "Beta", "Yes", "192.168.1.20", "255.255.255.0", "192.168.1.1"},
                  {"89ABCDEF", "Gamma", "No", "172.16.0.7", "255.255.0.0", "172.16.0.1"}}));
  // Nothing is selected until the user picks a row.
  EXPECT_EQ(SelectedRow(list()), -1);
  ExpectFormDisabled();
  Screenshot("listed");
}

TEST_F(PageList, ClickAndKeyFillTheFormFromTheRow) {
  StartSimulator({kAlpha, kBeta, kGamma});
  OpenPage();
  ASSERT_TRUE(WaitForSerials({"001A2B", "1234567", "89ABCDEF"}));

  driver::ClickRow(list(), 0);
  EXPECT_EQ(SelectedRow(list()), 0);
  ExpectForm(false, "10.0.0.11", "255.0.0.0", "10.0.0.254");
  EXPECT_EQ(GetFocus(), list());
  Screenshot("row-clicked");

  driver::PressKey(list(), VK_DOWN);
  EXPECT_EQ(SelectedRow(list()), 1);
  ExpectForm(true, "192.168.1.20", "255.255.255.0", "192.168.1.1");

  driver::ClickRow(list(), 2);
  EXPECT_EQ(SelectedRow(list()), 2);
  ExpectForm(false, "172.16.0.7", "255.255.0.0", "172.16.0.1");
  // The next refresh keeps the row and the (clean) form.
  Pump(3500);
  EXPECT_EQ(SelectedRow(list()), 2);
  ExpectForm(false, "172.16.0.7", "255.255.0.0", "172.16.0.1");
}

TEST_F(PageList, RightClickMovesTheSelectionButOnlyARepaintRefills) {
  StartSimulator({kAlpha, kGamma});
  OpenPage();
  ASSERT_TRUE(WaitForSerials({"001A2B", "89ABCDEF"}));
  driver::ClickRow(list(), 0);
  ExpectForm(false, "10.0.0.11", "255.0.0.0", "10.0.0.254");

  driver::RightClickRow(list(), 1);
  EXPECT_EQ(SelectedRow(list()), 1);
  EXPECT_EQ(WindowText(control(kIpAddress)), "10.0.0.11");

  // Focus elsewhere; a repaint of the clean form refills it from the marked
  // row and gives the list the focus.
  SetFocus(control(kSendConfig));
  Repaint();
  EXPECT_EQ(SelectedRow(list()), 1);
  ExpectForm(false, "172.16.0.7", "255.255.0.0", "172.16.0.1");
  EXPECT_EQ(GetFocus(), list());
}

TEST_F(PageList, ModifiedFormSurvivesRefreshesUntilARowIsClicked) {
  StartSimulator({kAlpha, kGamma});
  OpenPage();
  ASSERT_TRUE(WaitForSerials({"001A2B", "89ABCDEF"}));
  driver::ClickRow(list(), 0);

  driver::TypeText(control(kIpAddress), "10.1.2.3");
  EXPECT_TRUE(IsModified(control(kIpAddress)));
  Repaint();
  Pump(3500);  // and a discovery cycle
  EXPECT_EQ(SelectedRow(list()), 0);
  EXPECT_EQ(WindowText(control(kIpAddress)), "10.1.2.3");
  Screenshot("typed-kept");

  // A click on the same row replaces the entries.
  driver::ClickRow(list(), 0);
  ExpectForm(false, "10.0.0.11", "255.0.0.0", "10.0.0.254");

  // A click on the DHCP box marks the form modified as well: the box and the
  // enable states stay as the user left them across a repaint.
  driver::ClickButton(control(kUseDhcp));
  EXPECT_TRUE(IsChecked(control(kUseDhcp)));
  EXPECT_FALSE(IsEnabled(control(kIpAddress)));
  EXPECT_TRUE(IsReadOnly(control(kIpAddress)));
  Repaint();
  EXPECT_TRUE(IsChecked(control(kUseDhcp)));
  EXPECT_FALSE(IsEnabled(control(kIpAddress)));
  driver::ClickButton(control(kUseDhcp));
  EXPECT_FALSE(IsChecked(control(kUseDhcp)));
  EXPECT_TRUE(IsEnabled(control(kIpAddress)));
  EXPECT_FALSE(IsReadOnly(control(kIpAddress)));
  EXPECT_EQ(WindowText(control(kIpAddress)), "10.0.0.11");
}

TEST_F(PageList, AddressLongerThanFifteenReachesTheBoxCut) {
  StartSimulator({Device({{"serial", "77"},
                          {"name", "Long"},
                          {"ip", "010.000.000.0001"},
                          {"netmask", "255.255.255.000"},
                          {"gateway", "1234567890abcdefgh"}})});
  OpenPage();
  ASSERT_TRUE(WaitForSerials({"000077"}));
  EXPECT_EQ(CellText(list(), 0, 3), "010.000.000.0001");
  EXPECT_EQ(CellText(list(), 0, 5), "1234567890abcdefgh");
  driver::ClickRow(list(), 0);
  EXPECT_EQ(WindowText(control(kIpAddress)), "010.000.000.000");
  EXPECT_EQ(WindowText(control(kNetmask)), "255.255.255.000");
  EXPECT_EQ(WindowText(control(kGateway)), "1234567890abcde");
}

TEST_F(PageList, SelectionFollowsTheDeviceThatDropsOutAndReturns) {
  StartSimulator({kAlpha, kBeta, kGamma});
  OpenPage();
  ASSERT_TRUE(WaitForSerials({"001A2B", "1234567", "89ABCDEF"}));
  driver::ClickRow(list(), 2);
  ExpectForm(false, "172.16.0.7", "255.255.0.0", "172.16.0.1");

  // A new device sorts in before the selected one: the selection moves with
  // the device, not with the row position.
  StartSimulator({kAlpha, kBeta, kGamma, Device({{"serial", "2000000"}, {"ip", "10.0.0.99"}})});
  ASSERT_TRUE(WaitForSerials({"001A2B", "1234567", "2000000", "89ABCDEF"}));
  EXPECT_EQ(SelectedRow(list()), 3);
  ExpectForm(false, "172.16.0.7", "255.255.0.0", "172.16.0.1");

  // It drops out: no row is selected, the form is disabled, its texts stay.
  StartSimulator({kAlpha, kBeta});
  ASSERT_TRUE(WaitForSerials({"001A2B", "1234567"}));
  EXPECT_EQ(SelectedRow(list()), -1);
  ExpectFormDisabled();
  EXPECT_EQ(WindowText(control(kIpAddress)), "172.16.0.7");
  Screenshot("dropped-out");

  // It returns with new settings: selected again and, the form being clean,
  // filled from the new row.
  const std::string gammaMoved = Device({{"serial", "89ABCDEF"},
                                         {"name", "Gamma"},
                                         {"dhcp", "1"},
                                         {"ip", "172.16.0.8"},
                                         {"netmask", "255.255.0.0"},
                                         {"gateway", "172.16.0.1"}});
  StartSimulator({kAlpha, kBeta, gammaMoved});
  ASSERT_TRUE(WaitForSerials({"001A2B", "1234567", "89ABCDEF"}));
  EXPECT_EQ(SelectedRow(list()), 2);
  ExpectForm(true, "172.16.0.8", "255.255.0.0", "172.16.0.1");
  Screenshot("returned");
}

TEST_F(PageList, ReturningDeviceKeepsUnsentEntries) {
  StartSimulator({kAlpha, kGamma});
  OpenPage();
  ASSERT_TRUE(WaitForSerials({"001A2B", "89ABCDEF"}));
  driver::ClickRow(list(), 1);
  driver::TypeText(control(kGateway), "172.16.0.254");

  StartSimulator({kAlpha});
  ASSERT_TRUE(WaitForSerials({"001A2B"}));
  EXPECT_EQ(SelectedRow(list()), -1);
  StartSimulator({kAlpha, kGamma});
  ASSERT_TRUE(WaitForSerials({"001A2B", "89ABCDEF"}));
  EXPECT_EQ(SelectedRow(list()), 1);
  EXPECT_TRUE(IsEnabled(control(kSendConfig)));
  EXPECT_EQ(WindowText(control(kGateway)), "172.16.0.254");
}

TEST_F(PageList, SelectionIsRestoredWhenThePageIsOpenedAgain) {
  StartSimulator({kAlpha, kBeta, kGamma});
  OpenPage();
  ASSERT_TRUE(WaitForSerials({"001A2B", "1234567", "89ABCDEF"}));
  driver::ClickRow(list(), 1);
  Repaint();  // a refresh remembers the marked row
  ClosePage();

  OpenPage();
  EXPECT_EQ(SelectedRow(list()), -1);
  ExpectFormDisabled();
  ASSERT_TRUE(WaitForSerials({"001A2B", "1234567", "89ABCDEF"}));
  EXPECT_EQ(SelectedRow(list()), 1);
  ExpectForm(true, "192.168.1.20", "255.255.255.0", "192.168.1.1");
  Screenshot("reopened");
}

TEST_F(PageList, OfTwoRowsWithTheSameSerialTheLaterIsSelected) {
  StartSimulator({Device({{"serial", "5005"},
                          {"name", "First"},
                          {"ip", "10.0.5.1"},
                          {"netmask", "255.0.0.0"},
                          {"deviceId", "unit-a"}}),
                  Device({{"serial", "5005"},
                          {"name", "Second"},
                          {"ip", "10.0.5.2"},
                          {"netmask", "255.0.0.0"},
                          {"deviceId", "unit-b"}})});
  OpenPage();
  ASSERT_TRUE(WaitForSerials({"005005", "005005"}));
  driver::ClickRow(list(), 0);
  EXPECT_EQ(SelectedRow(list()), 0);
  Repaint();
  EXPECT_EQ(SelectedRow(list()), 1);
}

TEST_F(PageList, ApplyOkAndCancelSendNothing) {
  StartSimulator({kAlpha});
  OpenPage();
  ASSERT_TRUE(WaitForSerials({"001A2B"}));
  driver::ClickRow(list(), 0);
  driver::TypeText(control(kIpAddress), "10.7.7.7");
  PropSheet_Changed(sheet().sheet(), sheet().page());
  sheet().PressButton(PSBTN_APPLYNOW);
  Pump(500);
  EXPECT_FALSE(sheet().Ended());
  sheet().PressButton(PSBTN_OK);
  ASSERT_TRUE(driver::PumpUntil([&] { return sheet().Ended(); }, 3000));
  ClosePage();
  OpenPage();
  ASSERT_TRUE(WaitForSerials({"001A2B"}));
  sheet().PressButton(PSBTN_CANCEL);
  ASSERT_TRUE(driver::PumpUntil([&] { return sheet().Ended(); }, 3000));
  ClosePage();
  Pump(1000);
  EXPECT_TRUE(CommandsReceived().empty()) << ::testing::PrintToString(CommandsReceived());
  EXPECT_TRUE(boxes().seen().empty());
  // The device still announces its old address.
  OpenPage();
  ASSERT_TRUE(WaitForSerials({"001A2B"}));
  EXPECT_EQ(CellText(list(), 0, 3), "10.0.0.11");
}

}  // namespace
}  // namespace velkarin::pagetest
