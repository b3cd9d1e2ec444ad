// Following a running program along its path from polled positions: lines only go forward, a
// point the program passes several times is found on the lap the tool is on, and a position is
// on the path within the tolerance only.

#include "NcPathFollower.h"
#include "NcReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

CNcPath Read(const std::string& program)
{
    return ReadNcProgram(program.data(), program.size(), {});
}

struct Poll
{
    NcPoint position; // micrometres
    bool matches;
    uint32_t line; // 0-based, the line followed after this poll
};

struct FollowCase
{
    const char* name;
    std::string program;
    std::vector<Poll> polls;
    // Where the positions are given: in the program's frame without origins.
    NcPoint current{};
    std::vector<std::pair<int, NcPoint>> systems{};
};

TEST(NcPathFollower, FollowsTheLinesForwardWithinTheTolerance)
{
    // A square of 10 mm cut twice: every corner and edge is passed on both laps.
    const std::string square = "G0 X0. Y0. Z5.\n" // 0
                               "G1 Z0. F600.\n"   // 1
                               "X10.\n"           // 2
                               "Y10.\n"           // 3
                               "X0.\n"            // 4
                               "Y0.\n"            // 5
                               "X10.\n"           // 6
                               "Y10.\n"           // 7
                               "X0.\n"            // 8
                               "Y0.\n"            // 9
                               "G0 Z5.\n";        // 10
    const std::vector<FollowCase> cases = {
        {"two laps of a square in order",
         square,
         {{{0, 0, 2000}, true, 0}, // the rapid down is the first to pass there
          {{5000, 0, 0}, true, 2},
          {{10000, 5000, 0}, true, 3},
          {{5000, 10000, 0}, true, 4},
          {{0, 5000, 0}, true, 5},
          {{5000, 0, 0}, true, 6}, // the first edge again: the second lap
          {{10000, 5000, 0}, true, 7},
          {{0, 5000, 0}, true, 9},
          {{0, 0, 3000}, true, 10}}},
        {"never back to an earlier lap",
         square,
         {{{10000, 5000, 0}, true, 3},
          {{0, 5000, 0}, true, 5},
          {{10000, 5000, 0}, true, 7},
          {{5000, 0, 0}, false, 7}, // only on lines before: the line stays
          {{5000, 10000, 0}, true, 8}}},
        {"within the tolerance only",
         square,
         {{{5000, 40, 0}, true, 2},
          {{10060, 5000, 0}, false, 2},
          {{10000, 5000, 45}, true, 3},
          {{5000, 10000, -70}, false, 3}}},
        {"an arc by its radius and sweep",
         "G0 X10. Y0.\nG3 X-10. Y0. I-10. F300.\nG1 X-10. Y-5.\n",
         {{{0, 10000, 0}, true, 1},
          {{0, -10000, 0}, false, 1}, // on the circle, outside the half the arc sweeps
          {{-7071, 7071, 0}, true, 1},
          {{-10000, -2000, 0}, true, 2}}},
        {"positions on the machine through the systems' origins",
         "G0 X1. Y1.\nG55\nG0 X1. Y1.\nG1 X2. F300.\n",
         {{{100500, 500, 0}, true, 0},
          {{150000, 1000, 0}, true, 2}, // the move from the first system's point to G55's
          {{201500, 1000, 0}, true, 3}},
         {100000, 0, 0},
         {{4, {200000, 0, 0}}}}, // G55 is system 4
    };
    for (const FollowCase& c : cases) {
        SCOPED_TRACE(c.name);
        const CNcPath path = Read(c.program);
        CNcOrigins origins;
        origins.current = c.current;
        origins.systems.insert(c.systems.begin(), c.systems.end());
        CNcPathFollower follower(path, origins);
        for (size_t i = 0; i < c.polls.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(follower.Follow(c.polls[i].position), c.polls[i].matches);
            EXPECT_TRUE(follower.HasMatch());
            EXPECT_EQ(follower.Line(), c.polls[i].line);
        }
    }
}

TEST(NcPathFollower, LooksNoFurtherThanItsBoundInOnePoll)
{
    // Short moves along X, then one away along Y: the far end lies past the bound.
    const size_t moves = CNcPathFollower::kMaxLookAhead + 16;
    std::string program = "G1 F600.\n";
    program.reserve(moves * 12);
    for (size_t i = 1; i <= moves; ++i)
        program += "X" + std::to_string(i) + ".\n";
    program += "Y5.\n";
    const CNcPath path = Read(program);
    CNcPathFollower follower(path);
    const auto last = int32_t(moves * 1000);
    EXPECT_FALSE(follower.Follow({last, 5000, 0}));
    EXPECT_TRUE(follower.Follow({500, 0, 0}));
}

} // namespace
