#include "page_fixture.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "page_env.h"
#include "private_network.h"

namespace velkarin::pagetest {
namespace {

std::string JsonString(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

bool IsDiscovery(const std::string& bytes) {
  return bytes.compare(0, 5, "0 1 A") == 0 && bytes.size() <= 6;
}

std::string DeviceJson(const std::vector<std::pair<const char*, std::string>>& items) {
  std::string json = "{";
  for (const auto& item : items) {
    if (json.size() > 1) json += ",";
    json += JsonString(item.first) + ":" + JsonString(item.second);
  }
  return json + "}";
}

}  // namespace

std::string Device(DeviceItems items) { return DeviceJson(items); }

std::string Target(DeviceItems extra) {
  std::vector<std::pair<const char*, std::string>> items = {
      {"serial", "3C3C3C"}, {"name", "Target"},       {"dhcp", "0"},
      {"ip", "10.0.0.20"},  {"netmask", "255.0.0.0"}, {"gateway", "10.0.0.254"}};
  for (const auto& item : extra) {
    const auto same = std::find_if(items.begin(), items.end(), [&](const auto& existing) {
      return std::string(existing.first) == item.first;
    });
    if (same != items.end()) {
      same->second = item.second;
    } else {
      items.push_back(item);
    }
  }
  return DeviceJson(items);
}

std::string Bystander() {
  return Device({{"serial", "0A0A0A"},
                 {"name", "Bystander"},
                 {"ip", "10.0.0.21"},
                 {"netmask", "255.0.0.0"},
                 {"gateway", "10.0.0.254"}});
}

void PageTest::SetUp() {
  REQUIRE_PRIVATE_NETWORK();
  ASSERT_FALSE(PluginPath().empty()) << "VELKARIN_DLL is not set";
  // A fresh module per test: the page's remembered selection starts empty.
  plugin_ = std::make_unique<driver::PluginModule>(PluginPath());
  ASSERT_NE(plugin_->getPropertySheet(), nullptr) << "cannot load " << PluginPath();
  boxes_ = std::make_unique<driver::MessageBoxCatcher>();
}

void PageTest::TearDown() {
  ClosePage();
  StopSimulator();
  boxes_.reset();
  plugin_.reset();
}

void PageTest::StartSimulator(const std::vector<std::string>& devices) {
  StopSimulator();
  ASSERT_FALSE(SimulatorPath().empty()) << "VELKARIN_DEVSIM is not set";
  std::string config = "{\"devices\":[";
  for (std::size_t i = 0; i < devices.size(); ++i) config += (i ? "," : "") + devices[i];
  config += "]}";
  simulator_ = std::make_unique<test::DevsimProcess>(std::vector<std::string>{}, config);
  ASSERT_TRUE(simulator_->ready()) << simulator_->error() << "\n" << simulator_->Output();
}

void PageTest::StopSimulator() {
  if (simulator_) simulator_->Stop();
}

driver::PageSheet& PageTest::OpenPage(driver::GetPropertySheetFn fill) {
  // One page of the module at a time, as a host shows it.
  ClosePage();
  sheet_ = std::make_unique<driver::PageSheet>(*plugin_, "Velkarin host", fill);
  EXPECT_NE(sheet_->page(), nullptr);
  driver::Pump(50);
  return *sheet_;
}

void PageTest::ClosePage() {
  if (sheet_) {
    sheet_->Close();
    driver::Pump(20);
    sheet_.reset();
  }
}

std::vector<std::string> PageTest::SerialsShown() const {
  std::vector<std::string> serials;
  for (const auto& row : driver::ListRows(list())) serials.push_back(row[0]);
  return serials;
}

bool PageTest::WaitForSerials(const std::vector<std::string>& serials, unsigned timeoutMs) {
  return driver::PumpUntil([&] { return SerialsShown() == serials; }, timeoutMs);
}

int PageTest::RowOf(const std::string& serial) const {
  const auto serials = SerialsShown();
  for (std::size_t i = 0; i < serials.size(); ++i) {
    if (serials[i] == serial) return static_cast<int>(i);
  }
  return -1;
}

void PageTest::Repaint() {
  RedrawWindow(sheet_->page(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  driver::Pump(50);
}

std::vector<std::string> PageTest::CommandsReceived() const {
  std::vector<std::string> commands;
  if (!simulator_) return commands;
  for (const std::string& bytes : simulator_->Received()) {
    if (!IsDiscovery(bytes)) commands.push_back(bytes);
  }
  return commands;
}

void PageTest::Screenshot(const std::string& label) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = label;
  if (info != nullptr)
    name = std::string(info->test_suite_name()) + "-" + info->name() + "-" + label;
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  driver::SaveScreenshot(name);
}

}  // namespace velkarin::pagetest
