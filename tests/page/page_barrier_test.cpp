// Memory running out while the page handles a message: the message ends
// there, the dialog procedure answers FALSE to user32, and the page goes on.
// The module exports nothing to fail on purpose, so this program links its
// own copy of the page code and shows it in the sheet with the built
// module's template; while Fault::ALLOCATION is set every allocation of this
// program fails, the page code's own included.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <new>
#include <ostream>
#include <string>
#include <vector>

#include "engine/finder_facade.h"
#include "engine_aim.h"
#include "failing_new.h"
#include "page/page_dialog.h"
#include "page_fixture.h"
#include "platform/faults.h"

bool velkarin::test::FailThisAllocation() {
  return velkarin::platform::FaultSet(velkarin::platform::Fault::ALLOCATION);
}

namespace velkarin::pagetest {
namespace {

using platform::Fault;

driver::GetPropertySheetFn moduleFill = nullptr;

// The built module's page record, with this program's dialog procedure.
LPCDLGTEMPLATEA WINAPI FillWithLinkedPage(LPPROPSHEETPAGEA page) {
  const LPCDLGTEMPLATEA pageTemplate = moduleFill(page);
  page->pfnDlgProc = &PageDialogProc;
  return pageTemplate;
}

const std::string kPump = Device({{"serial", "A1B2"},
                                  {"name", "Pump"},
                                  {"dhcp", "0"},
                                  {"ip", "10.0.0.5"},
                                  {"netmask", "255.0.0.0"},
                                  {"gateway", "10.0.0.1"}});

struct FailedMessage {
  const char* name;
  // Brings the page to where handling the message allocates.
  std::function<void(HWND page)> prepare;
  UINT message;
  WPARAM wParam;
};

void PrintTo(const FailedMessage& failed, std::ostream* out) { *out << failed.name; }

class PageBarrier : public PageTest, public testing::WithParamInterface<FailedMessage> {
 protected:
  void SetUp() override {
    PageTest::SetUp();
    moduleFill = plugin().getPropertySheet();
    platform::ClearFaults();
    // Cycles of a fraction of a second: the list is offered again soon.
    FinderSetCreateOptions(Destination(), test::FastTiming());
  }
  void TearDown() override {
    platform::ClearFaults();
    PageTest::TearDown();
  }
};

TEST_P(PageBarrier, TheMessageFailsAloneAndThePageGoesOn) {
  StartSimulator({kPump});
  OpenPage(&FillWithLinkedPage);
  ASSERT_TRUE(WaitForSerials({"00A1B2"}));
  GetParam().prepare(sheet().page());

  LRESULT answer = -1;
  {
    platform::ScopedFault noMemory(Fault::ALLOCATION);
    answer = SendMessageA(sheet().page(), GetParam().message, GetParam().wParam, 0);
  }
  EXPECT_EQ(answer, FALSE);
  EXPECT_GT(platform::FaultHits(Fault::ALLOCATION), 0u) << "nothing met the failure";
  EXPECT_TRUE(boxes().seen().empty());
  EXPECT_TRUE(CommandsReceived().empty());
  // The list is there again, offered by the engine once memory is back.
  EXPECT_TRUE(WaitForSerials({"00A1B2"}));
  Screenshot("after");
}

INSTANTIATE_TEST_SUITE_P(Messages, PageBarrier,
                         testing::Values(
                             // The list's copy fails, inside the facade.
                             FailedMessage{"refresh", [](HWND) {}, WM_PAINT, 0},
                             // The form's text is copied by the page itself: longer than a string
                             // keeps without allocating.
                             FailedMessage{"send_config",
                                           [](HWND page) {
                                             driver::ClickRow(GetDlgItem(page, kDeviceList), 0);
                                             driver::TypeText(GetDlgItem(page, kIpAddress),
                                                              "192.168.100.200");
                                           },
                                           WM_COMMAND, MAKEWPARAM(kSendConfig, BN_CLICKED)}),
                         [](const testing::TestParamInfo<FailedMessage>& info) {
                           return info.param.name;
                         });

}  // namespace
}  // namespace velkarin::pagetest
