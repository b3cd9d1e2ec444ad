// The named event's wait: a signal is taken once, and a wait without one lasts its whole time
// (the short look before blocking neither ends it early nor takes a signal twice).
#include "NamedEvent.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

TEST(NamedEvent, WaitTakesOneSignalAndOtherwiseLastsItsTime)
{
    const std::string name = "/zr40-test-event-" + std::to_string(getpid());
    CNamedEvent event;
    ASSERT_TRUE(event.Create(name));
    struct Case
    {
        bool signalled;
        int ms;
        bool taken;
    };
    const Case cases[] = {{true, 0, true},   {false, 0, false},  {true, 30, true},
                          {false, 1, false}, {false, 30, false}, {false, 120, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "signalled " << c.signalled << ", " << c.ms << " ms");
        if (c.signalled) {
            ASSERT_TRUE(event.Set());
        }
        const auto start = Clock::now();
        EXPECT_EQ(event.Wait(c.ms), c.taken);
        if (!c.taken) {
            EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(c.ms));
        }
        // The signal was taken: nothing is left for the next waiter.
        EXPECT_FALSE(event.Wait(0));
    }
    event.Close();
    CNamedEvent::Unlink(name);
}

} // namespace
