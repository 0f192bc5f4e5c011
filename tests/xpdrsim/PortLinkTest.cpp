#include "tools/xpdrsim/PortLink.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace xpdrsim;
namespace fs = std::filesystem;

namespace {

class TempDir {
public:
    TempDir()
    {
        std::string pattern = (fs::temp_directory_path() / "xpdrsim-test-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TempDir() { fs::remove_all(path_); }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

} // namespace

TEST(PortLink, CreatesTheDirectoryAndTheLinkAndRemovesTheLinkAgain)
{
    TempDir dir;
    const fs::path ports = dir.path() / "a" / "ports";
    {
        PortLink link(ports, "COM4", "/dev/null");
        EXPECT_EQ(link.path(), ports / "COM4");
        EXPECT_EQ(fs::read_symlink(ports / "COM4"), "/dev/null");
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(ports / "COM4")));
    EXPECT_TRUE(fs::is_directory(ports));
}

TEST(PortLink, ReplacesOnlyALinkToAVanishedPseudoTerminal)
{
    TempDir dir;
    fs::create_symlink("/dev/pts/99999", dir.path() / "COM1");
    {
        PortLink link(dir.path(), "COM1", "/dev/null");
        EXPECT_EQ(fs::read_symlink(dir.path() / "COM1"), "/dev/null");
    }

    // A mapping of an adapter that is unplugged just now, a live device and a
    // plain file all stay as they are.
    const fs::path kept[] = {"/dev/serial/by-id/no-such-adapter", "/dev/null"};
    for (const auto& target : kept) {
        fs::create_symlink(target, dir.path() / "COM2");
        EXPECT_THROW(PortLink(dir.path(), "COM2", "/dev/zero"), std::runtime_error) << target;
        EXPECT_EQ(fs::read_symlink(dir.path() / "COM2"), target);
        fs::remove(dir.path() / "COM2");
    }
    std::ofstream(dir.path() / "COM3") << "x";
    EXPECT_THROW(PortLink(dir.path(), "COM3", "/dev/null"), std::runtime_error);
    EXPECT_TRUE(fs::is_regular_file(dir.path() / "COM3"));
}

TEST(PortLink, LeavesAnEntrySomeoneElseHasPutInItsPlace)
{
    TempDir dir;
    {
        PortLink link(dir.path(), "COM1", "/dev/null");
        fs::remove(link.path());
        fs::create_symlink("/dev/zero", link.path());
    }
    EXPECT_EQ(fs::read_symlink(dir.path() / "COM1"), "/dev/zero");
}

TEST(PortLink, ReplacesALinkLeftToThePseudoTerminalNumberItHasJustBeenGiven)
{
    // A killed simulator leaves COM1 -> /dev/pts/N; the next one is often given
    // N again, which exists then, but is its own.
    TempDir dir;
    const fs::path ours = "/dev/pts/" + std::to_string(99998);
    fs::create_symlink(ours, dir.path() / "COM1");
    PortLink link(dir.path(), "COM1", ours);
    EXPECT_EQ(fs::read_symlink(dir.path() / "COM1"), ours);
}
