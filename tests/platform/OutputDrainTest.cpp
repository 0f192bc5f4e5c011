#include "platform/OutputDrain.h"

#include <gtest/gtest.h>

using platform::OutputDrain;

TEST(OutputDrain, TellsOncePerDrainAndLooksLessOftenWhileTheQueueStands)
{
    OutputDrain drain;
    EXPECT_FALSE(drain.pending());
    EXPECT_FALSE(drain.drained(true, 0, 1)); // nothing written: nothing to tell

    drain.wrote();
    ASSERT_TRUE(drain.pending());
    // The queue moves: look again when the device expects it to have left.
    EXPECT_FALSE(drain.drained(false, 40, 5));
    EXPECT_EQ(drain.lookAgainMs(), 5);
    EXPECT_FALSE(drain.drained(false, 20, 3));
    EXPECT_EQ(drain.lookAgainMs(), 3);
    // It stands (flow control holds it): back off, up to a second.
    for (int expected : {6, 12, 24, 48, 96, 192, 384, 768, 1000, 1000}) {
        EXPECT_FALSE(drain.drained(false, 20, 3));
        EXPECT_EQ(drain.lookAgainMs(), expected);
    }
    EXPECT_TRUE(drain.drained(true, 0, 1));
    EXPECT_FALSE(drain.pending());
    EXPECT_FALSE(drain.drained(true, 0, 1));
    EXPECT_EQ(drain.lookAgainMs(), 1);

    // Two writes before a look drain as one.
    drain.wrote();
    drain.wrote();
    EXPECT_TRUE(drain.drained(true, 0, 1));
    EXPECT_FALSE(drain.drained(true, 0, 1));

    drain.wrote();
    drain.forget();
    EXPECT_FALSE(drain.pending());
}
