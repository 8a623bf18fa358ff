// Walks the main job on the real page, as a user would, and saves a picture
// of every step: the devices are listed, one is selected, a fixed address is
// entered and sent, the success is reported, and the list shows the device
// under its new address.
//   velkarin-demo.exe PATH\Velkarin.dll SERIAL NEW-IP NETMASK GATEWAY
// Pictures go to VELKARIN_SCREENSHOT_DIR; VELKARIN_DEMO_PAUSE_MS slows the
// steps down for a watching user.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "message_box_catcher.h"
#include "page_driver.h"

namespace {

using namespace velkarin::driver;

constexpr int kSendConfig = 1013;
constexpr int kIpAddress = 1018;
constexpr int kNetmask = 1019;
constexpr int kGateway = 1020;

DWORD pauseMs = 800;

void Step(const PageSheet& sheet, const char* name, const char* what, HWND extra = nullptr) {
  Pump(pauseMs);
  RECT area = AreaOf({sheet.sheet(), extra});
  const std::string file = SaveScreenshot(name, &area);
  std::printf("step %-22s %s%s%s\n", name, what, file.empty() ? "" : " -> ", file.c_str());
  std::fflush(stdout);
}

int RowOf(HWND list, const std::string& serial) {
  const auto rows = ListRows(list);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i][0] == serial) return static_cast<int>(i);
  }
  return -1;
}

int Fail(const char* why) {
  std::printf("demo FAILED: %s\n", why);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: velkarin-demo.exe DLL SERIAL NEW-IP NETMASK GATEWAY\n");
    return 2;
  }
  const std::string serial = argv[2];
  const std::string ip = argv[3];
  const std::string netmask = argv[4];
  const std::string gateway = argv[5];
  if (const char* pause = std::getenv("VELKARIN_DEMO_PAUSE_MS"))
    pauseMs = static_cast<DWORD>(std::strtoul(pause, nullptr, 10));

  PluginModule plugin(argv[1]);
  if (plugin.getPropertySheet() == nullptr) return Fail("cannot load the plug-in");
  MessageBoxCatcher boxes;
  PageSheet sheet(plugin, "Velkarin demo host");
  if (sheet.page() == nullptr) return Fail("the page was not created");
  HWND list = sheet.list();

  // A loaded machine may want longer (VELKARIN_DEMO_LIST_MS).
  DWORD listMs = 15000;
  if (const char* wait = std::getenv("VELKARIN_DEMO_LIST_MS"))
    listMs = static_cast<DWORD>(std::strtoul(wait, nullptr, 10));
  if (!PumpUntil([&] { return RowOf(list, serial) >= 0; }, listMs)) {
    for (const auto& row : ListRows(list)) std::printf("listed: %s\n", row[0].c_str());
    return Fail("the device did not appear in the list");
  }
  const std::size_t listed = ListRows(list).size();
  std::printf("%zu devices listed\n", listed);
  Step(sheet, "01-devices-listed", "the page lists the devices found on the network");

  ClickRow(list, RowOf(list, serial));
  Step(sheet, "02-device-selected",
       ("device " + serial + " selected; its settings fill the form").c_str());

  TypeText(sheet.control(kIpAddress), ip);
  TypeText(sheet.control(kNetmask), netmask);
  TypeText(sheet.control(kGateway), gateway);
  Step(sheet, "03-address-entered", ("fixed address " + ip + " entered").c_str());

  boxes.OnShown([&](const MessageBoxSeen& box) {
    HWND shown = FindWindowA("#32770", box.caption.c_str());
    Step(sheet, "04-outcome-reported", ("message box \"" + box.text + "\"").c_str(), shown);
  });
  ClickButton(sheet.control(kSendConfig));
  if (boxes.seen().size() != 1 || boxes.seen()[0].text != "Device is configured now") {
    return Fail("the configuration was not reported as a success");
  }

  if (!PumpUntil([&] { return CellText(list, RowOf(list, serial), 3) == ip; }, 10000)) {
    return Fail("the list does not show the new address");
  }
  Step(sheet, "05-list-updated", ("the list shows " + serial + " at " + ip).c_str());
  sheet.Close();
  Pump(100);
  std::printf("demo passed: %s now at %s\n", serial.c_str(), ip.c_str());
  return 0;
}
