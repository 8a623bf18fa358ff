// Figures of the page under Wine with a fleet of 200 simulated devices:
// how soon the first rows show after the engine's first publish, how long a
// refresh takes to rebuild 200 rows, and the size of the module.
//   page_bench.exe [REBUILDS [DEVICES]]   (50 rebuilds of 200 devices)
// Runs inside the private network namespace with VELKARIN_DLL set, while a
// simulator answers for 200 devices on the devices' port (bench/page_bench.sh
// starts it).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "page_driver.h"
#include "page_env.h"
#include "private_network.h"

namespace {

using namespace velkarin;

int kFleet = 200;

double NowMs() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// When the engine's notification reaches the page, and when the page is done
// with it: the bench subclasses the page window (a hook on every message
// would itself slow each message down).
struct FirstPublish {
  HWND page = nullptr;
  HWND list = nullptr;
  WNDPROC pageProc = nullptr;
  double notifiedAt = 0;
  double rowsShownAt = 0;
  int rows = 0;
};
FirstPublish first;

LRESULT CALLBACK WatchPage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // Sent by another thread: the engine's notification.
  const bool notification = message == WM_PAINT && InSendMessage() && first.notifiedAt == 0;
  if (notification) first.notifiedAt = NowMs();
  const LRESULT result = CallWindowProcA(first.pageProc, window, message, wParam, lParam);
  if (message == WM_PAINT && first.notifiedAt != 0 && first.rowsShownAt == 0) {
    first.rows = static_cast<int>(SendMessageA(first.list, LVM_GETITEMCOUNT, 0, 0));
    if (first.rows > 0) first.rowsShownAt = NowMs();
  }
  return result;
}

struct Summary {
  double median, mean, max;
};

Summary Summarise(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  double total = 0;
  for (double v : values) total += v;
  return {values[values.size() / 2], total / values.size(), values.back()};
}

}  // namespace

int main(int argc, char** argv) {
  test::RequirePrivateNetworkOrDie();
  const int rebuilds = argc > 1 ? std::atoi(argv[1]) : 50;
  if (argc > 2) kFleet = std::atoi(argv[2]);
  std::setvbuf(stdout, nullptr, _IONBF, 0);

  driver::PluginModule plugin(pagetest::PluginPath());
  if (plugin.getPropertySheet() == nullptr) {
    std::printf("page_bench: cannot load %s\n", pagetest::PluginPath().c_str());
    return 1;
  }

  // The first page of the process pays for loading what Wine needs; later
  // pages show what the page itself costs.
  std::unique_ptr<driver::PageSheet> sheet;
  for (int round = 1; round <= 3; ++round) {
    if (sheet) {
      sheet->Close();
      driver::Pump(50);
    }
    first = FirstPublish();
    const double createdAt = NowMs();
    sheet = std::make_unique<driver::PageSheet>(plugin);
    first.page = sheet->page();
    first.list = sheet->list();
    first.pageProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(first.page, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WatchPage)));
    const double pageReadyAt = NowMs();
    const bool listed = driver::PumpUntil(
        [&] { return SendMessageA(first.list, LVM_GETITEMCOUNT, 0, 0) == kFleet; }, 20000);
    if (!listed || first.rowsShownAt == 0) {
      std::printf("page_bench: the fleet was not listed (%d rows)\n",
                  static_cast<int>(SendMessageA(first.list, LVM_GETITEMCOUNT, 0, 0)));
      return 1;
    }
    std::printf(
        "page %d: created in %.1f ms; first publish reached it after %.1f ms; "
        "%d rows shown %.1f ms after that publish (target < 50 ms), "
        "%.1f ms after creation\n",
        round, pageReadyAt - createdAt, first.notifiedAt - createdAt, first.rows,
        first.rowsShownAt - first.notifiedAt, first.rowsShownAt - createdAt);
  }

  // A refresh is what the page does on every paint message.
  std::vector<double> rebuild;
  std::vector<double> rebuildAndPaint;
  for (int i = 0; i < rebuilds; ++i) {
    double start = NowMs();
    SendMessageA(sheet->page(), WM_PAINT, 0, 0);
    rebuild.push_back(NowMs() - start);
    start = NowMs();
    SendMessageA(sheet->page(), WM_PAINT, 0, 0);
    RedrawWindow(sheet->list(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    rebuildAndPaint.push_back(NowMs() - start);
    driver::Pump(5);
  }
  const Summary r = Summarise(rebuild);
  const Summary p = Summarise(rebuildAndPaint);
  std::printf(
      "rebuild of %d rows, %d runs: median %6.2f ms  mean %6.2f ms  max %6.2f ms   "
      "(target < 20 ms)\n",
      kFleet, rebuilds, r.median, r.mean, r.max);
  std::printf("rebuild and repaint of the list:  median %6.2f ms  mean %6.2f ms  max %6.2f ms\n",
              p.median, p.mean, p.max);
  sheet->Close();
  driver::Pump(50);

  WIN32_FILE_ATTRIBUTE_DATA file;
  if (GetFileAttributesExA(pagetest::PluginPath().c_str(), GetFileExInfoStandard, &file)) {
    std::printf(
        "Velkarin.dll size                            %8lu bytes (%lu KiB; target < 600 KiB)\n",
        file.nFileSizeLow, file.nFileSizeLow / 1024);
  }
  return 0;
}
