#include "tests/testkit/SeveredLink.h"
#include "platform/Liveness.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

// A peer cut off without a word (the far end of the link taken down: nothing
// answers, nothing says no) is found dead within 20 s, on an idle link and on
// one whose data is never acknowledged: the link's next read fails with
// ETIMEDOUT. Without these timings the kernel would take minutes to hours.
TEST(Liveness, APeerCutOffIsFoundWithin20SecondsIdleOrWithDataInFlight)
{
    SeveredLink link;
    if (!link.unavailable().isEmpty()) GTEST_SKIP() << link.unavailable().toStdString();
    struct {
        const char* name;
        bool dataInFlight;
        int fd = -1;
        int far = -1;
    } rows[] = {{"idle", false}, {"data in flight", true}};
    for (auto& row : rows) {
        row.fd = link.connect(row.far);
        ASSERT_GE(row.fd, 0) << row.name;
        ASSERT_EQ(platform::setLiveness(row.fd), 0) << row.name;
    }
    ASSERT_TRUE(link.sever());
    for (auto& row : rows) {
        if (row.dataInFlight) {
            ASSERT_EQ(::write(row.fd, "s=?\r", 4), 4);
        }
    }

    // Both are watched at once, so the whole test takes one time-out.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (auto& row : rows) {
        pollfd watched {row.fd, POLLIN, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        EXPECT_EQ(::poll(&watched, 1, static_cast<int>(std::max<long long>(left.count(), 0))), 1) << row.name << ": not found dead";
        int error = 0;
        socklen_t length = sizeof error;
        ::getsockopt(row.fd, SOL_SOCKET, SO_ERROR, &error, &length);
        EXPECT_EQ(error, ETIMEDOUT) << row.name;
        ::close(row.fd);
        ::close(row.far);
    }
}
