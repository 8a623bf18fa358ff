// The page template and the export, read back from the built module.
#include <windows.h>
// after windows.h
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "page_driver.h"
#include "page_env.h"

namespace velkarin::pagetest {
namespace {

struct ControlLayout {
  int id;
  const char* className;
  const char* caption;
  DWORD style;
  short x, y, cx, cy;
};

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kEdit = kChild | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD kLabel = kChild | WS_GROUP | SS_LEFT;

const ControlLayout kExpectedControls[] = {
    {1010, "SysListView32", "List1",
     kChild | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS |
         LVS_SHAREIMAGELISTS,
     12, 24, 327, 104},
    {1033, "button", "use DHCP", kChild | WS_TABSTOP | BS_AUTOCHECKBOX, 29, 152, 49, 10},
    {1018, "edit", "", kEdit, 71, 168, 71, 14},
    {1019, "edit", "", kEdit, 71, 185, 71, 14},
    {1020, "edit", "", kEdit, 71, 202, 71, 14},
    {1013, "button", "Send Config", kChild | WS_TABSTOP | BS_PUSHBUTTON, 155, 203, 48, 14},
    {-1, "static", "IP Address", kLabel, 29, 172, 35, 8},
    {-1, "static", "Netmask", kLabel, 29, 189, 29, 8},
    {-1, "static", "Gateway", kLabel, 29, 204, 29, 8},
    {-1, "static", "Please select one of the targets found on the network:", kLabel, 12, 14, 172,
     8},
    {-1, "button", "Device Configuration", kChild | BS_GROUPBOX, 12, 136, 212, 94},
};

// Reads a plain (not extended) dialog template as Windows lays it out.
class TemplateReader {
 public:
  explicit TemplateReader(const void* data) : at_(static_cast<const BYTE*>(data)) {}
  WORD Word() {
    WORD value;
    std::memcpy(&value, at_, sizeof value);
    at_ += sizeof value;
    return value;
  }
  DWORD Dword() {
    DWORD value;
    std::memcpy(&value, at_, sizeof value);
    at_ += sizeof value;
    return value;
  }
  short Short() { return static_cast<short>(Word()); }
  // A string or an ordinal (0xFFFF followed by the number).
  std::string TextOrOrdinal(int* ordinal = nullptr) {
    const WORD first = Word();
    if (first == 0xFFFF) {
      const WORD number = Word();
      if (ordinal != nullptr) *ordinal = number;
      return "#" + std::to_string(number);
    }
    std::string text;
    for (WORD c = first; c != 0; c = Word()) text += static_cast<char>(c);
    return text;
  }
  void AlignDword() {
    const auto offset = reinterpret_cast<std::uintptr_t>(at_);
    at_ += (4 - offset % 4) % 4;
  }

 private:
  const BYTE* at_;
};

std::string LowerClassName(const std::string& raw, int ordinal) {
  switch (ordinal) {
    case 0x80:
      return "button";
    case 0x81:
      return "edit";
    case 0x82:
      return "static";
    default:
      break;
  }
  std::string lower = raw;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR list) {
  reinterpret_cast<std::vector<WORD>*>(list)->push_back(language);
  return TRUE;
}

TEST(PageTemplate, IsResource101InGermanOnlyAndPlainDialog) {
  driver::PluginModule plugin(PluginPath());
  ASSERT_NE(plugin.handle(), nullptr);
  std::vector<WORD> languages;
  EnumResourceLanguagesA(plugin.handle(), RT_DIALOG, MAKEINTRESOURCEA(101), &CollectLanguage,
                         reinterpret_cast<LONG_PTR>(&languages));
  ASSERT_EQ(languages, std::vector<WORD>{1031});
  EXPECT_EQ(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), 1031);

  HRSRC found = FindResourceA(plugin.handle(), MAKEINTRESOURCEA(101), RT_DIALOG);
  ASSERT_NE(found, nullptr);
  const void* data = LockResource(LoadResource(plugin.handle(), found));
  ASSERT_NE(data, nullptr);
  TemplateReader reader(data);

  const DWORD style = reader.Dword();
  ASSERT_NE(style, 0xFFFF0001u) << "extended template";
  EXPECT_EQ(style,
            static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT));
  EXPECT_EQ(reader.Dword(), 0u) << "extended style";
  const WORD count = reader.Word();
  EXPECT_EQ(reader.Short(), 0);
  EXPECT_EQ(reader.Short(), 0);
  EXPECT_EQ(reader.Short(), 355);
  EXPECT_EQ(reader.Short(), 245);
  EXPECT_EQ(reader.TextOrOrdinal(), "") << "menu";
  EXPECT_EQ(reader.TextOrOrdinal(), "") << "class";
  EXPECT_EQ(reader.TextOrOrdinal(), "Dialog");
  EXPECT_EQ(reader.Word(), 8) << "point size";
  EXPECT_EQ(reader.TextOrOrdinal(), "MS Sans Serif");

  ASSERT_EQ(count, std::size(kExpectedControls));
  int index = 0;
  for (const ControlLayout& expected : kExpectedControls) {
    SCOPED_TRACE("control #" + std::to_string(++index) + " \"" + expected.caption + "\"");
    reader.AlignDword();
    EXPECT_EQ(reader.Dword(), expected.style) << "style";
    EXPECT_EQ(reader.Dword(), 0u) << "extended style";
    EXPECT_EQ(reader.Short(), expected.x);
    EXPECT_EQ(reader.Short(), expected.y);
    EXPECT_EQ(reader.Short(), expected.cx);
    EXPECT_EQ(reader.Short(), expected.cy);
    EXPECT_EQ(reader.Word(), static_cast<WORD>(expected.id));
    int ordinal = 0;
    const std::string className = reader.TextOrOrdinal(&ordinal);
    EXPECT_EQ(LowerClassName(className, ordinal), LowerClassName(expected.className, 0));
    EXPECT_EQ(reader.TextOrOrdinal(), expected.caption);
    const WORD extra = reader.Word();
    EXPECT_EQ(extra, 0) << "creation data";
  }
}

std::string VersionText(const std::vector<char>& block, const char* name) {
  struct Translation {
    WORD language;
    WORD codePage;
  };
  Translation* translation = nullptr;
  UINT size = 0;
  if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translation), &size) ||
      size < sizeof(Translation)) {
    return "";
  }
  char path[128];
  std::snprintf(path, sizeof path, "\\StringFileInfo\\%04x%04x\\%s", translation->language,
                translation->codePage, name);
  char* value = nullptr;
  return VerQueryValueA(block.data(), path, reinterpret_cast<void**>(&value), &size) ? value : "";
}

TEST(PageTemplate, VersionRecordNamesTheProductAndItsVersion) {
  const std::string path = PluginPath();
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> block(size);
  ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedSize = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedSize));
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
  EXPECT_EQ(HIWORD(fixed->dwProductVersionMS), 1);
  EXPECT_EQ(VersionText(block, "ProductName"), "Velkarin");
  EXPECT_EQ(VersionText(block, "OriginalFilename"), "Velkarin.dll");
  EXPECT_EQ(VersionText(block, "ProductVersion"), "1.0.0");
}

TEST(GetPropertySheet, FillsTemplateProcedureAndTitleAndNothingElse) {
  driver::PluginModule plugin(PluginPath());
  ASSERT_NE(plugin.getPropertySheet(), nullptr);
  HRSRC found = FindResourceA(plugin.handle(), MAKEINTRESOURCEA(101), RT_DIALOG);
  const void* resource = LockResource(LoadResource(plugin.handle(), found));

  PROPSHEETPAGEA first;
  PROPSHEETPAGEA second;
  std::memset(&first, 0x5A, sizeof first);
  std::memset(&second, 0xA5, sizeof second);
  first.dwSize = second.dwSize = sizeof first;
  first.dwFlags = second.dwFlags = PSP_DLGINDIRECT | PSP_USETITLE;
  first.lParam = 17;
  second.lParam = 29;

  EXPECT_EQ(plugin.getPropertySheet()(&first), resource);
  EXPECT_EQ(plugin.getPropertySheet()(&second), resource);
  EXPECT_EQ(first.pResource, resource);
  EXPECT_EQ(second.pResource, resource);
  EXPECT_STREQ(first.pszTitle, "Modul Parameters");
  EXPECT_STREQ(second.pszTitle, "Modul Parameters");
  EXPECT_NE(first.pfnDlgProc, nullptr);
  EXPECT_EQ(first.pfnDlgProc, second.pfnDlgProc);
  // The host's members stay as the host set them.
  EXPECT_EQ(first.dwFlags, static_cast<DWORD>(PSP_DLGINDIRECT | PSP_USETITLE));
  EXPECT_EQ(first.lParam, 17);
  EXPECT_EQ(second.lParam, 29);
  const auto untouched = [](const void* p, int pattern) {
    return *static_cast<const unsigned char*>(p) == pattern;
  };
  EXPECT_TRUE(untouched(&first.hInstance, 0x5A));
  EXPECT_TRUE(untouched(&second.pfnCallback, 0xA5));
}

TEST(GetPropertySheet, PageWorksUnderAnotherFileName) {
  char folder[MAX_PATH] = {};
  GetTempPathA(sizeof folder, folder);
  const std::string copy = std::string(folder) + "velkarin-renamed-plugin.dll";
  ASSERT_TRUE(CopyFileA(PluginPath().c_str(), copy.c_str(), FALSE));
  {
    driver::PluginModule plugin(copy);
    ASSERT_NE(plugin.getPropertySheet(), nullptr);
    EXPECT_EQ(GetModuleHandleA("Velkarin.dll"), nullptr);
    PROPSHEETPAGEA page = {};
    page.dwSize = sizeof page;
    EXPECT_NE(plugin.getPropertySheet()(&page), nullptr);

    driver::PageSheet sheet(plugin);
    ASSERT_NE(sheet.page(), nullptr);
    EXPECT_EQ(sheet.TabText(), "Modul Parameters");
    EXPECT_EQ(driver::ColumnCaptions(sheet.list()).size(), 6u);
    sheet.Close();
    driver::Pump(50);
  }
  DeleteFileA(copy.c_str());
}

}  // namespace
}  // namespace velkarin::pagetest
