// The program as the Windows installer leaves it under Wine: the Start menu
// shortcut leads to the installed window and shows the program's icon, both
// installed executables carry the project's version, and the installed
// window starts and lists the COM ports. Run by scripts/test.d/90-package.sh between install and uninstall;
// ZF_E2E_APP names the installed ZelvoFlashUpdate.exe, ZF_E2E_SHORTCUT the
// shortcut, ZF_E2E_COM a mapped port.
#include <gtest/gtest.h>

#include <windows.h>
// These need windows.h first.
#include <objbase.h>
#include <shlobj.h>
#include <winver.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/e2e/appsession.h"
#include "tests/e2e/winui.h"
#include "zf_version.h"

namespace {

const int kPortCombo = 1001;

std::string Env(const char *name)
{
    const char *v = std::getenv(name);
    return v ? v : "";
}

// Windows paths compare without regard to case, and a folder with or
// without its trailing separator.
std::string SamePath(std::string s)
{
    if (!s.empty() && s.back() == '\\')
        s.pop_back();
    if (!s.empty())
        CharLowerBuffA(&s[0], DWORD(s.size()));
    return s;
}

struct ShortcutTarget {
    std::string path, workingDir, iconPath;
    int iconIndex = -1;
};

// What a shell link points at, read through the shell's own interface.
bool ReadShortcut(const std::string &lnk, ShortcutTarget &out)
{
    IShellLinkA *link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void **>(&link))))
        return false;
    IPersistFile *file = nullptr;
    bool ok = SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void **>(&file)));
    if (ok) {
        std::wstring wide(lnk.begin(), lnk.end());
        char path[MAX_PATH] = "", dir[MAX_PATH] = "", icon[MAX_PATH] = "";
        int iconIndex = -1;
        ok = SUCCEEDED(file->Load(wide.c_str(), STGM_READ)) &&
             SUCCEEDED(link->GetPath(path, MAX_PATH, nullptr, 0)) &&
             SUCCEEDED(link->GetWorkingDirectory(dir, MAX_PATH)) &&
             SUCCEEDED(link->GetIconLocation(icon, MAX_PATH, &iconIndex));
        out = {path, dir, icon, iconIndex};
        file->Release();
    }
    link->Release();
    return ok;
}

// The image sizes (0 for 256) an .ico file holds: its ICONDIR (reserved,
// type, count) and then 16-byte entries starting with width and height.
std::vector<int> IcoSizes(const std::string &path)
{
    std::vector<int> sizes;
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        return sizes;
    unsigned char head[6] = {}, entry[16] = {};
    if (std::fread(head, 1, 6, f) == 6 && head[2] == 1)
        for (int i = 0; i < (head[4] | head[5] << 8) && std::fread(entry, 1, 16, f) == 16; i++)
            sizes.push_back(entry[0]);
    std::fclose(f);
    return sizes;
}

struct VersionResource {
    DWORD fileMS = 0, fileLS = 0;
    std::string productName, productVersion, fileDescription, originalFilename;
};

std::string StringValue(const std::vector<char> &block, const char *name)
{
    char *text = nullptr;
    UINT len = 0;
    const std::string key = std::string("\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueA(block.data(), key.c_str(), reinterpret_cast<void **>(&text), &len) || !text)
        return "";
    return std::string(text, len > 0 && text[len - 1] == '\0' ? len - 1 : len);
}

bool ReadVersionResource(const std::string &exe, VersionResource &out)
{
    const DWORD size = GetFileVersionInfoSizeA(exe.c_str(), nullptr);
    if (size == 0)
        return false;
    std::vector<char> block(size);
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT len = 0;
    if (!GetFileVersionInfoA(exe.c_str(), 0, size, block.data()) ||
        !VerQueryValueA(block.data(), "\\", reinterpret_cast<void **>(&fixed), &len) || !fixed)
        return false;
    out.fileMS = fixed->dwFileVersionMS;
    out.fileLS = fixed->dwFileVersionLS;
    out.productName = StringValue(block, "ProductName");
    out.productVersion = StringValue(block, "ProductVersion");
    out.fileDescription = StringValue(block, "FileDescription");
    out.originalFilename = StringValue(block, "OriginalFilename");
    return true;
}

std::string InstallDir()
{
    return Config().appDir();
}

void ExpectProjectVersion(const std::string &exe, const std::string &description)
{
    VersionResource v;
    ASSERT_TRUE(ReadVersionResource(exe, v)) << exe << " has no version resource";
    EXPECT_EQ(v.fileMS, DWORD(MAKELONG(ZF_VERSION_MINOR, ZF_VERSION_MAJOR)));
    EXPECT_EQ(v.fileLS, DWORD(MAKELONG(0, ZF_VERSION_PATCH)));
    EXPECT_EQ(v.productVersion, ZF_VERSION);
    EXPECT_EQ(v.productName, "Zelvo Flash Update");
    EXPECT_EQ(v.fileDescription, description);
    EXPECT_EQ(v.originalFilename, exe.substr(exe.find_last_of('\\') + 1));
}

TEST(Installed, StartMenuShortcutOpensTheInstalledWindowInItsFolder)
{
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    ShortcutTarget target;
    ASSERT_TRUE(ReadShortcut(Env("ZF_E2E_SHORTCUT"), target)) << Env("ZF_E2E_SHORTCUT");
    EXPECT_EQ(SamePath(target.path), SamePath(Config().appExe));
    EXPECT_EQ(SamePath(target.workingDir), SamePath(InstallDir()));
    CoUninitialize();
}

TEST(Installed, StartMenuShortcutShowsTheProgramsIcon)
{
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    ShortcutTarget target;
    ASSERT_TRUE(ReadShortcut(Env("ZF_E2E_SHORTCUT"), target)) << Env("ZF_E2E_SHORTCUT");
    CoUninitialize();
    EXPECT_EQ(target.iconIndex, 0);
    EXPECT_EQ(IcoSizes(target.iconPath), std::vector<int>({16, 32, 48, 0})) << target.iconPath;
}

TEST(Installed, BothExecutablesCarryTheProjectVersion)
{
    ExpectProjectVersion(Config().appExe, "Zelvo Flash Update");
    ExpectProjectVersion(InstallDir() + "zflash.exe", "Zelvo Flash Update command-line tool");
}

TEST(Installed, WindowStartsAndListsTheComPorts)
{
    AppSession app;
    ASSERT_TRUE(app.Launch(Config().appExe)) << "the installed window did not appear";
    EXPECT_EQ(app.Caption(), "Zelvo Flash Update  v1.0");
    std::vector<std::string> ports;
    EXPECT_TRUE(WaitFor([&] {
        ports = ComboItems(app.Control(kPortCombo));
        for (const std::string &p : ports)
            if (p == Config().com)
                return true;
        return false;
    })) << Config().com << " is not listed";
    app.Stop();
    EXPECT_TRUE(app.WaitExit(10));
}

}  // namespace
