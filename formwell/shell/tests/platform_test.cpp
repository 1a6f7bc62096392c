#include "formwell/shell/platform.h"

#include <gtest/gtest.h>

#include <QString>

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

}  // namespace
}  // namespace formwell::shell
