// The window among the others on a Windows desktop, under Wine: its icon
// (in the executable, on the window), the About entry of its system menu,
// a port list that follows ports arriving and leaving by itself, and the
// port of the last capture selected at the next start. The tests run in
// order; each start of the program is its own.
#include <gtest/gtest.h>

#include <windows.h>
// needs windows.h first
#include <dbt.h>

#include <algorithm>
#include <vector>

#include "app/utf16.h"
#include "devicelink/ports/ports.h"
#include "tests/e2e/appsession.h"
#include "tests/e2e/winui.h"
#include "zf_version.h"

namespace {

enum { IDC_PORT_COMBO = 1001, IDC_PORT_REFRESH = 1002, IDC_CAPTURE = 1003, IDC_DEVICE = 1004, IDC_INSTALLED = 1008 };
const UINT kAboutCommand = 0x0010;

// The sizes (0 for 256) of the executable's first icon group, as Explorer
// and the window class take it.
std::vector<int> IconSizes(const std::string &exe)
{
    std::vector<int> sizes;
    HMODULE module = LoadLibraryExW(WideFromUtf8(exe).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        return sizes;
    HRSRC res = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
    const BYTE *group = res ? static_cast<const BYTE *>(LockResource(LoadResource(module, res))) : nullptr;
    if (group) {
        // GRPICONDIR: reserved, type, count (WORDs), then 14-byte entries
        // starting with width and height.
        const int count = group[4] | group[5] << 8;
        for (int i = 0; i < count; i++)
            sizes.push_back(group[6 + 14 * i]);
    }
    FreeLibrary(module);
    return sizes;
}

// Adds or removes a serial port as Windows (and Wine) lists it, and tells
// the window the way Windows broadcasts a port's arrival or removal.
class ListedPort {
public:
    ListedPort(const wchar_t *device, const std::string &name) : device_(device), name_(name) {}
    ~ListedPort() { Remove(); }
    bool Add(HWND window)
    {
        const std::wstring data = WideFromUtf8(name_);
        added_ = RegSetKeyValueW(HKEY_LOCAL_MACHINE, kKey, device_, REG_SZ, data.c_str(),
                                 DWORD(data.size() + 1) * DWORD(sizeof(wchar_t))) == ERROR_SUCCESS;
        return added_ && Tell(window, DBT_DEVICEARRIVAL);
    }
    bool Remove(HWND window = nullptr)
    {
        if (!added_)
            return true;
        HKEY key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            RegDeleteValueW(key, device_);
            RegCloseKey(key);
        }
        added_ = false;
        return !window || Tell(window, DBT_DEVICEREMOVECOMPLETE);
    }

private:
    bool Tell(HWND window, WPARAM event) const
    {
        struct {
            DEV_BROADCAST_PORT_W header;
            wchar_t more[16];
        } port = {};
        port.header.dbcp_size = sizeof port;
        port.header.dbcp_devicetype = DBT_DEVTYP_PORT;
        lstrcpynW(port.header.dbcp_name, WideFromUtf8(name_).c_str(), 16);
        return SendWithin(window, WM_DEVICECHANGE, event, LPARAM(&port), 0) == TRUE;
    }

    static constexpr const wchar_t *kKey = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";
    const wchar_t *device_;
    std::string name_;
    bool added_ = false;
};

std::string SelectedPort(const AppSession &app)
{
    HWND ports = app.Control(IDC_PORT_COMBO);
    const int sel = ComboSelection(ports);
    const std::vector<std::string> items = ComboItems(ports);
    return sel >= 0 && sel < int(items.size()) ? items[size_t(sel)] : "";
}

class GuiDesktop : public testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(Config().appExe.empty()) << "ZF_E2E_APP is not set"; }
};

// The window's own icons cannot be read from another process under Wine
// (WM_GETICON answers 0 there); the screenshots show them.
TEST_F(GuiDesktop, TheProgramCarriesItsIconInTheUsualSizes)
{
    EXPECT_EQ(IconSizes(Config().appExe), std::vector<int>({16, 32, 48, 0}));
}

TEST_F(GuiDesktop, AboutInTheSystemMenuShowsTheProductVersionBesideTheLibraryVersion)
{
    AppSession app;
    ASSERT_TRUE(app.Launch(Config().appExe));
    PostMessageW(app.Main(), WM_SYSCOMMAND, kAboutCommand, 0);
    HWND box = app.WaitForBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(WindowText(box), "About Zelvo Flash Update");
    EXPECT_EQ(AppSession::BoxText(box), std::string("Zelvo Flash Update\nVersion ") + ZF_VERSION + "\nTarget library v1.0");
    app.Screenshot("about", box);
    AppSession::Answer(box, IDOK);
    EXPECT_TRUE(WaitFor([&] { return app.NoBoxOpen(); }));
}

TEST_F(GuiDesktop, APortThatArrivesOrLeavesIsListedByItselfAndTheSelectionStays)
{
    AppSession app;
    ASSERT_TRUE(app.Launch(Config().appExe));
    HWND ports = app.Control(IDC_PORT_COMBO);
    ASSERT_TRUE(SelectComboText(ports, Config().silentCom));
    const std::vector<std::string> before = ComboItems(ports);

    ListedPort adapter(L"\\Device\\ZfTestAdapter", "COM17");
    ASSERT_TRUE(adapter.Add(app.Main()));
    EXPECT_TRUE(WaitFor([&] { return IndexOf(ComboItems(ports), "COM17") >= 0; })) << "COM17 is not listed";
    EXPECT_EQ(ComboItems(ports).size(), before.size() + 1);
    EXPECT_EQ(SelectedPort(app), Config().silentCom);

    ASSERT_TRUE(adapter.Remove(app.Main()));
    EXPECT_TRUE(WaitFor([&] { return ComboItems(ports) == before; })) << ComboItems(ports).size();
    EXPECT_EQ(SelectedPort(app), Config().silentCom);
}

// zflash's order, whatever order the system lists them in: COM20 before
// COM100, and a port the operator chose stays chosen when the list refills.
TEST_F(GuiDesktop, PortsAreListedInNaturalOrderAndRefreshKeepsTheChosenOne)
{
    ListedPort hundred(L"\\Device\\ZfTestHundred", "COM100");
    ListedPort twenty(L"\\Device\\ZfTestTwenty", "COM20");
    AppSession app;
    ASSERT_TRUE(app.Launch(Config().appExe));
    ASSERT_TRUE(hundred.Add(app.Main()));
    ASSERT_TRUE(twenty.Add(app.Main()));
    HWND ports = app.Control(IDC_PORT_COMBO);
    ASSERT_TRUE(WaitFor([&] { return IndexOf(ComboItems(ports), "COM20") >= 0; })) << "COM20 is not listed";
    const std::vector<std::string> listed = ComboItems(ports);
    EXPECT_LT(IndexOf(listed, "COM20"), IndexOf(listed, "COM100"));
    EXPECT_TRUE(std::is_sorted(listed.begin(), listed.end(), NaturalLess));
    ASSERT_TRUE(SelectComboText(ports, "COM20"));
    SendWithin(app.Control(IDC_PORT_REFRESH), BM_CLICK, 0, 0);
    EXPECT_EQ(SelectedPort(app), "COM20");
    ASSERT_TRUE(twenty.Remove());
    SendWithin(app.Control(IDC_PORT_REFRESH), BM_CLICK, 0, 0);
    EXPECT_EQ(ComboSelection(ports), 0) << "a port that went: the first is chosen";
}

TEST_F(GuiDesktop, ThePortOfTheLastCaptureIsSelectedAtTheNextStart)
{
    {
        AppSession app;
        ASSERT_TRUE(app.Launch(Config().appExe));
        // A first run selects the first port; the device is on another one.
        const std::vector<std::string> ports = ComboItems(app.Control(IDC_PORT_COMBO));
        ASSERT_GT(IndexOf(ports, Config().com), 0) << "the simulated device is the first port";
        EXPECT_EQ(ComboSelection(app.Control(IDC_PORT_COMBO)), 0);
        ASSERT_TRUE(SelectComboText(app.Control(IDC_PORT_COMBO), Config().com));
        Click(app.Control(IDC_CAPTURE));
        ASSERT_TRUE(WaitFor([&] { return app.Text(IDC_DEVICE) == "VKT-3 (VKT3K)"; }, 60)) << app.Text(IDC_DEVICE);
        EXPECT_EQ(RememberedPort(), Config().com);
        ASSERT_TRUE(WaitFor([&] { return app.Text(IDC_INSTALLED) != "Querying..."; }));
    }
    AppSession again;
    ASSERT_TRUE(again.Launch(Config().appExe, AppSession::Keep));
    EXPECT_EQ(SelectedPort(again), Config().com);
}

TEST_F(GuiDesktop, ACaptureThatFindsNoDeviceIsNotRemembered)
{
    AppSession app;
    ASSERT_TRUE(app.Launch(Config().appExe));
    ASSERT_TRUE(SelectComboText(app.Control(IDC_PORT_COMBO), Config().silentCom));
    Click(app.Control(IDC_CAPTURE));
    ASSERT_TRUE(WaitFor([&] { return app.LogHas("Waiting for target. Power up the device now..."); }));
    Click(app.Control(1010));  // Cancel
    ASSERT_TRUE(WaitFor([&] { return app.Text(IDC_DEVICE) == "(capture failed)"; }));
    EXPECT_EQ(RememberedPort(), "");
}

}  // namespace
