#include "formwell/shell/platform.h"

#include <gtest/gtest.h>

#include <QString>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "formwell/shell/qt_interaction.h"

namespace formwell::shell {
namespace {

TEST(BrowserLookup, PrefersTheBrowserVariableThenXdgOpen) {
    EXPECT_EQ(browserCommandFrom("firefox", "/usr/bin/xdg-open"), "firefox");
    EXPECT_EQ(browserCommandFrom("w3m:lynx", ""), "w3m");
    EXPECT_EQ(browserCommandFrom("", "/usr/bin/xdg-open"), "/usr/bin/xdg-open");
    EXPECT_EQ(browserCommandFrom("", ""), kNotFound);
}

TEST(FileFilter, PipePairsBecomeQtFilters) {
    EXPECT_EQ(qtFileFilter("INI File (*.ini)|*.ini||"), "INI File (*.ini)");
    EXPECT_EQ(qtFileFilter("Application S2 File (*.s2)|*.s2||"), "Application S2 File (*.s2)");
    EXPECT_EQ(qtFileFilter("Images|*.s2;*.hex|All (*.*)|*.*||"), "Images (*.s2 *.hex);;All (*.*)");
    EXPECT_EQ(qtFileFilter(""), "All Files (*)");
}

TEST(StartDetached, AProgramThatDoesNotExistIsReported) {
    std::string error;
    EXPECT_FALSE(startDetached("/no/such/program-formwell", {}, error));
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(startDetached(std::string("   "), error));
    EXPECT_FALSE(error.empty());
}

#ifdef _WIN32
// The About box's browser is the command Windows registers for http addresses under
// HKEY_CLASSES_ROOT. The test registers one of its own for a moment (the machine's registration, so
// only where it may write that: an administrator, or Wine) and puts the old one back.
TEST(BrowserLookup, TheRegistryNamesTheBrowser) {
    const char* key = "Software\\Classes\\http\\shell\\open\\command";
    HKEY handle = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &handle,
                        nullptr) != ERROR_SUCCESS) {
        GTEST_SKIP() << "the machine's registrations are not writable here";
    }
    std::vector<char> old(4096, '\0');
    DWORD oldSize = static_cast<DWORD>(old.size());
    DWORD type = 0;
    const bool hadOld = RegQueryValueExA(handle, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(old.data()),
                                         &oldSize) == ERROR_SUCCESS;
    const std::string command = "\"C:\\Browsers\\browse.exe\" -new";
    RegSetValueExA(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                   static_cast<DWORD>(command.size() + 1));
    const std::string found = browserCommand();
    if (hadOld) {
        RegSetValueExA(handle, nullptr, 0, type, reinterpret_cast<const BYTE*>(old.data()), oldSize);
    } else {
        RegDeleteValueA(handle, nullptr);
    }
    RegCloseKey(handle);
    EXPECT_EQ(found, command);
}
#endif

}  // namespace
}  // namespace formwell::shell
