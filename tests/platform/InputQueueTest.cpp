#include "platform/InputQueue.h"

#include <gtest/gtest.h>

#include <string>

using platform::InputQueue;

TEST(InputQueue, HandsOutBytesInOrderAndSaysWhenItIsFull)
{
    InputQueue queue;
    queue.setCapacity(10);
    EXPECT_EQ(queue.capacity(), InputQueue::MinCapacity); // a tiny size is raised
    queue.setCapacity(300);
    EXPECT_EQ(queue.room(), 300u);

    std::string all;
    for (int i = 0; i < 300; ++i) all += static_cast<char>('a' + i % 26);
    queue.append(all.substr(0, 299));
    EXPECT_FALSE(queue.full());
    EXPECT_EQ(queue.room(), 1u);
    queue.append(all.substr(299));
    EXPECT_TRUE(queue.full());
    EXPECT_EQ(queue.room(), 0u);

    // One byte at a time, as the event thread reads, then the rest at once.
    std::string taken;
    for (int i = 0; i < 150; ++i) {
        char byte = 0;
        ASSERT_EQ(queue.take(&byte, 1), 1u);
        taken += byte;
    }
    EXPECT_FALSE(queue.full());
    EXPECT_EQ(queue.size(), 150u);
    queue.append("tail");
    char rest[512];
    const std::size_t count = queue.take(rest, sizeof rest);
    taken.append(rest, count);
    EXPECT_EQ(taken, all + "tail");
    EXPECT_EQ(queue.size(), 0u);
    EXPECT_EQ(queue.take(rest, sizeof rest), 0u);
}
