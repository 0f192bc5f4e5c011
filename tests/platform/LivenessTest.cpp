#include "tests/testkit/PortDirectory.h"
#include "tests/testkit/SeveredLink.h"
#include "platform/NetworkSerialDevice.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

// A network port whose server is cut off without a word (the far end of the
// link taken down: nothing answers, nothing says no) fails its wait within
// 20 s, on an idle link with no query going (Auto off) and on one whose data
// is never acknowledged. Without the liveness set on gensio's socket the kernel
// would take minutes to hours.
TEST(Liveness, AServerCutOffIsFoundWithin20SecondsIdleOrWithDataInFlight)
{
    SeveredLink link;
    if (!link.unavailable().isEmpty()) GTEST_SKIP() << link.unavailable().toStdString();
    PortDirectory ports;
    const int listener = link.listenFar();
    ASSERT_GE(listener, 0);
    struct {
        const char* name;
        bool dataInFlight;
        platform::NetworkSerialDevice device;
        int far = -1;
        std::future<int> lost;
    } rows[] = {{"idle", false, platform::NetworkSerialDevice{}, -1, {}},
                {"data in flight", true, platform::NetworkSerialDevice{}, -1, {}}};
    for (int r = 0; r < 2; ++r) {
        auto& row = rows[r];
        const std::string comName = "COM" + std::to_string(r + 1);
        ports.write(r + 1, std::string("tcp://") + SeveredLink::FarAddress + "\n");
        int opened = -1;
        link.inNear([&] { opened = row.device.open(comName); });
        ASSERT_EQ(opened, 0) << row.name << ": " << row.device.diagnosis();
        row.far = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        ASSERT_GE(row.far, 0);
        ASSERT_EQ(row.device.setEventMask(platform::EvRxChar), 0);
    }
    ASSERT_TRUE(link.sever());
    for (auto& row : rows) {
        if (row.dataInFlight) {
            ASSERT_EQ(row.device.write("s=?\r", 4, 1000), 0);
        }
        row.lost = std::async(std::launch::async, [&row] {
            std::uint32_t events = 0;
            return row.device.wait(events);
        });
    }

    // Both are watched at once, so the whole test takes one time-out.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (auto& row : rows) {
        const bool found = row.lost.wait_until(deadline) == std::future_status::ready;
        EXPECT_TRUE(found) << row.name << ": not found dead within 20 s";
        if (!found) row.device.release();
        EXPECT_NE(row.lost.get(), 0) << row.name << ": released, not failed";
        row.device.close();
        ::close(row.far);
    }
    ::close(listener);
}
