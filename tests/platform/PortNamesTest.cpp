#include "tests/testkit/PortDirectory.h"
#include "tests/testkit/PtyPair.h"
#include "platform/PortDirectoryOnly.h"
#include "platform/PortNames.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

// Sets (or, with nullopt, unsets) an environment variable for a scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value)
        : name_(name)
    {
        if (const char* old = std::getenv(name)) previous_ = old;
        if (value) ::setenv(name, value->c_str(), 1);
        else ::unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (previous_) ::setenv(name_, previous_->c_str(), 1);
        else ::unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> previous_;
};

} // namespace

TEST(PortNames, ResolveThroughThePortDirectoryThenTheBuiltInDevices)
{
    PortDirectory directory;
    directory.map(3, "/dev/null");
    directory.map(12, "/no/such/device");
    const std::string dir = directory.path();
    const struct {
        const char* name;
        std::string expected;
    } cases[] = {
        {"COM3", dir + "/COM3"},
        {"COM12", dir + "/COM12"}, // a dangling link is still the mapping
        {"COM1", "/dev/ttyS0"},
        {"COM9", "/dev/ttyS8"},
        {"COM10", ""},
        {"COM0", ""},
        {"COM01", ""},
        {"COM", ""},
        {"COM1x", ""},
        {"com1", ""},
        {"LPT1", ""},
        {"/dev/ttyS0", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::resolvePortName(c.name), c.expected) << c.name;
}

TEST(PortNames, DirectoryComesFromTheEnvironment)
{
    using Env = std::optional<std::string>;
    const struct {
        Env ports;
        Env xdg;
        Env home;
        std::string expected;
    } cases[] = {
        {"/p", "/x", "/h", "/p"},
        {"", "/x", "/h", "/x/uavcontrol/ports"},
        {std::nullopt, "/x", "/h", "/x/uavcontrol/ports"},
        {std::nullopt, "", "/h", "/h/.config/uavcontrol/ports"},
        {std::nullopt, std::nullopt, "/h", "/h/.config/uavcontrol/ports"},
        {std::nullopt, std::nullopt, std::nullopt, ""},
    };
    for (const auto& c : cases) {
        ScopedEnv ports("UAVCONTROL_PORTS", c.ports);
        ScopedEnv xdg("XDG_CONFIG_HOME", c.xdg);
        ScopedEnv home("HOME", c.home);
        EXPECT_EQ(platform::portDirectory(), c.expected) << c.expected;
    }
}

TEST(PortNames, OnlyThePortDirectoryCountsWhileAskedFor)
{
    PortDirectory directory;
    directory.map(2, "/dev/null");
    {
        const platform::PortDirectoryOnly only;
        EXPECT_EQ(platform::resolvePortName("COM1"), "");
        EXPECT_EQ(platform::resolvePortName("COM2"), directory.path() + "/COM2");
    }
    EXPECT_EQ(platform::resolvePortName("COM1"), "/dev/ttyS0");
}
