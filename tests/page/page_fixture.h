// A test of the real page: the plug-in loaded into this process, its page in
// a modeless property sheet, and the simulator on the devices' port.
#pragma once
#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "devsim_process.h"
#include "message_box_catcher.h"
#include "page_driver.h"

namespace velkarin::pagetest {

constexpr int kDeviceList = 1010;
constexpr int kSendConfig = 1013;
constexpr int kIpAddress = 1018;
constexpr int kNetmask = 1019;
constexpr int kGateway = 1020;
constexpr int kUseDhcp = 1033;

using DeviceItems = std::initializer_list<std::pair<const char*, std::string>>;

// One simulated device as a JSON object of the simulator's device keys.
std::string Device(DeviceItems items);
// 3C3C3C "Target" at 10.0.0.20/8, the device the tests configure; `extra`
// adds keys or replaces them.
std::string Target(DeviceItems extra = {});
// 0A0A0A "Bystander" at 10.0.0.21/8, listed beside it.
std::string Bystander();

class PageTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts the simulator on port 8001 with these devices (JSON objects).
  void StartSimulator(const std::vector<std::string>& devices);
  void StopSimulator();
  test::DevsimProcess& simulator() { return *simulator_; }

  // `fill`: see driver::PageSheet.
  driver::PageSheet& OpenPage(driver::GetPropertySheetFn fill = nullptr);
  void ClosePage();
  driver::PageSheet& sheet() { return *sheet_; }
  HWND list() const { return sheet_->list(); }
  HWND control(int id) const { return sheet_->control(id); }

  // Column 0 of every row.
  std::vector<std::string> SerialsShown() const;
  // Pumps until the rows show exactly these serial texts, in this order.
  bool WaitForSerials(const std::vector<std::string>& serials, unsigned timeoutMs = 12000);
  int RowOf(const std::string& serial) const;
  // Repaints the page as the system does when it is uncovered.
  void Repaint();

  // Everything the simulator received apart from discovery datagrams.
  std::vector<std::string> CommandsReceived() const;

  // A PNG of the display under the build folder, named after the test.
  void Screenshot(const std::string& label);

  driver::MessageBoxCatcher& boxes() { return *boxes_; }
  const driver::PluginModule& plugin() const { return *plugin_; }

 private:
  std::unique_ptr<driver::PluginModule> plugin_;
  std::unique_ptr<driver::PageSheet> sheet_;
  std::unique_ptr<test::DevsimProcess> simulator_;
  std::unique_ptr<driver::MessageBoxCatcher> boxes_;
};

}  // namespace velkarin::pagetest
