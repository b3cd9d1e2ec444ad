#include "NcReader.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

CNcReadOptions Calculator()
{
    CNcReadOptions options;
    options.decimalMode = NcDecimalMode::CalculatorAll;
    return options;
}

std::string Repeat(const std::string& text, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

// Every field of the two paths, the feeds to the bit.
void ExpectSamePath(const CNcPath& parallel, const CNcPath& sequential)
{
    EXPECT_EQ(parallel.start, sequential.start);
    EXPECT_EQ(parallel.inch, sequential.inch);
    EXPECT_EQ(parallel.lineCount, sequential.lineCount);
    ASSERT_EQ(parallel.segments.Size(), sequential.segments.Size());
    for (size_t i = 0; i < sequential.segments.Size(); ++i) {
        ASSERT_EQ(parallel.segments[i].end, sequential.segments[i].end) << "segment " << i;
        ASSERT_EQ(parallel.segments[i].packed, sequential.segments[i].packed) << "segment " << i;
    }
    ASSERT_EQ(parallel.arcs.size(), sequential.arcs.size());
    for (size_t i = 0; i < sequential.arcs.size(); ++i) {
        EXPECT_EQ(parallel.arcs[i].segment, sequential.arcs[i].segment);
        EXPECT_EQ(parallel.arcs[i].centre, sequential.arcs[i].centre);
    }
    ASSERT_EQ(parallel.feeds.size(), sequential.feeds.size());
    for (size_t i = 0; i < sequential.feeds.size(); ++i) {
        EXPECT_EQ(parallel.feeds[i].segment, sequential.feeds[i].segment);
        EXPECT_EQ(std::bit_cast<uint32_t>(parallel.feeds[i].feed),
                  std::bit_cast<uint32_t>(sequential.feeds[i].feed));
    }
    ASSERT_EQ(parallel.systems.size(), sequential.systems.size());
    for (size_t i = 0; i < sequential.systems.size(); ++i) {
        EXPECT_EQ(parallel.systems[i].segment, sequential.systems[i].segment);
        EXPECT_EQ(parallel.systems[i].system, sequential.systems[i].system);
    }
    EXPECT_EQ(parallel.warnings.Count(), sequential.warnings.Count());
    ASSERT_EQ(parallel.warnings.Kept().size(), sequential.warnings.Kept().size());
    for (size_t i = 0; i < sequential.warnings.Kept().size(); ++i) {
        const CNcWarning& a = parallel.warnings.Kept()[i];
        const CNcWarning& b = sequential.warnings.Kept()[i];
        EXPECT_EQ(a.line, b.line);
        EXPECT_EQ(a.kind, b.kind);
        EXPECT_EQ(std::memcmp(a.word, b.word, sizeof a.word), 0);
    }
}

// Where each line begins, as a file image's index has it: after an LF, and after a CR that no
// LF follows, up to the first NUL.
std::vector<uint64_t> LineStarts(const std::string& text)
{
    std::vector<uint64_t> starts{0};
    for (size_t i = 0; i < text.size() && text[i] != '\0'; ++i)
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')))
            starts.push_back(i + 1);
    return starts;
}

struct Program
{
    const char* name;
    std::string text;
    CNcReadOptions options;
};

// The reader on several threads gives what the reader on one gives, wherever the pieces are cut:
// pieces from one byte (a piece per line) up, so that the cuts land on each line end, in each
// comment and between each CR and its LF, and a checkpoint on every line, so that a piece that
// began from a wrong state is joined at each place where it could be.
TEST(NcParallelReader, GivesTheSequentialResultWhereverThePiecesAreCut)
{
    const std::vector<Program> programs = {
        {"modes set once at the top, changed in the middle",
         "%\nG90 G21 G17 G54 F300.\nG0 X1. Y2. Z3.\nG1 X4.\nY5.\nG20\nX1.\nG21 G55 F120.\nY3.\n"
         "G18\nG2 X2. Z1. R2.\nG54.1 P7\nG17 G0 X0 Y0\nM3\nG1 X9. F50.\nM5\nG1 Y9.\n",
         {}},
        {"arcs in every plane and form, across the cuts",
         "G0 X10 Y0 Z0\nG3 X0 Y10 I-10 J0 F100\nG2 X10 Y0 R10\nG3 I-10 Z-5\nG18\n"
         "G2 X20 Z10 I5 K5\nG19 G3 Y5 Z0 R-8\nG17\nX1 Y1\nG2 X3 Y1 R1\n",
         Calculator()},
        {"G91 runs whose sums round",
         "G90 G0 X0.1 Y0.2\nG91 G1 F100\n" + Repeat("X0.1 Y-0.3 Z0.07\n", 40) + "G90 X5\n" +
             Repeat("G91 X0.3\nG2 X0.2 Y0.2 R0.2\n", 10) + "Y0.1\n",
         Calculator()},
        {"comments longer than a piece, line ends of every kind",
         "G0 X1 (a comment (nested) that runs on for a long while past a cut)\r\n"
         "G1 X2 F10 ; and the rest of the line\r\rG1 Y3\n\r\n(only a comment)\rX4\r\nY5",
         Calculator()},
        {"warnings of every kind, numbered with their lines",
         "G0 X1\nG38 X5\nG81 X1 Y1 Z-1 R1\nX2 Y2\nG80\nX5\nG0 X3 E1\n#1=5\nG0 X\n"
         "G1 X1 (open\nG2 X30 Y0 R10\nG1 A1 X2 F1\nG0 X3000000\nG41 X1\nG2 X0 Y11 I-10\n",
         Calculator()},
        {"a NUL byte ends the program in the middle",
         std::string("G0 X1\nG1 X2 F5\nG0 X2\0G0 X3\nG0 X4\n", 31), Calculator()},
        {"block skip and percent lines, a final line without an end",
         "%\n/G0 X9\nG0 X1\n%\nG1 X2 F3\n/G1 X8\nX3",
         {}},
        {"a trailing empty line", "G0 X1\nG0 Y2\n\n", Calculator()},
        // Each carried value alone differs between the true state and a piece's guess, at the
        // start of a piece or after its first move, and changes what the lines after it give.
        {"only the motion mode differs", "%\nG1\nX1 F10\n", Calculator()},
        {"only the unit differs", "%\nG20\nG0 X1.\n", Calculator()},
        {"only the distance mode differs", "%\nG91\nG0 X1\nX1\n", Calculator()},
        {"only the plane differs", "%\nG18\nG0 X10\nG2 X0 Z10 R10\n", Calculator()},
        {"only the feed differs", "%\nF100\nG1 X1\n", Calculator()},
        {"only the coordinate system differs", "%\nG55\nG0 X1\n", Calculator()},
        {"only the feed of the last move differs", "G0 F0\nX0\nX1\n", Calculator()},
        {"only the system of the last move differs", "G55 G0 X0 F0\nG56 X0\nG55\nX1\n",
         Calculator()},
    };
    for (const Program& program : programs) {
        SCOPED_TRACE(program.name);
        const char* data = program.text.data();
        const uint64_t size = program.text.size();
        const CNcPath sequential = ReadNcProgram(data, size, program.options);
        const std::vector<uint64_t> starts = LineStarts(program.text);
        // Every size up to a few lines, then sizes a quarter apart.
        for (uint64_t pieceBytes = 1; pieceBytes <= size;
             pieceBytes = pieceBytes < 64 ? pieceBytes + 1 : pieceBytes * 5 / 4) {
            for (uint64_t checkpointBytes : {uint64_t(1), uint64_t(1) << 20}) {
                SCOPED_TRACE("pieces of " + std::to_string(pieceBytes) +
                             " bytes, checkpoints every " + std::to_string(checkpointBytes));
                CNcParallelRead how;
                how.threads = 3;
                how.pieceBytes = pieceBytes;
                how.checkpointBytes = checkpointBytes;
                // The start of a piece guessed from its first line and the one before it: often
                // wrong, so that the join must find where the piece can be taken.
                how.guessBytes = 1;
                ExpectSamePath(ReadNcProgramParallel(data, size, program.options, nullptr, how),
                               sequential);
                // The same with each piece's first line looked up in an index of line starts,
                // as a file image gives them, instead of counted.
                how.lines = starts.size();
                how.lineStart = [&](uint64_t line) { return starts[line]; };
                ExpectSamePath(ReadNcProgramParallel(data, size, program.options, nullptr, how),
                               sequential);
                if (HasFatalFailure())
                    return;
            }
        }
    }

    // Pieces of more lines than a block of segments: the joined path points into each piece's
    // own room, from the segment where the piece agrees with the true state on.
    {
        std::string large = "G90 G1 F100\n";
        for (int i = 0; i < 200000; ++i)
            large += "X" + std::to_string(i % 1000) + " Y" + std::to_string(i % 7) + "\n";
        const CNcPath whole = ReadNcProgram(large.data(), large.size(), Calculator());
        for (uint64_t guessBytes : {uint64_t(1), uint64_t(0)}) {
            SCOPED_TRACE("large pieces, guesses from " + std::to_string(guessBytes) + " bytes");
            CNcParallelRead how;
            how.threads = 2;
            how.pieceBytes = 600000;
            how.checkpointBytes = 100000;
            how.guessBytes = guessBytes;
            ExpectSamePath(
                ReadNcProgramParallel(large.data(), large.size(), Calculator(), nullptr, how),
                whole);
        }
    }

    // A second piece that, from its wrong start, warns on more lines than a path keeps before
    // it agrees with the true state: the warnings after that are the first of the program, which
    // the piece itself no longer kept.
    const std::string second = Repeat("X1\n", 1100) + "G0 X2\n" + Repeat("G38\n", 10);
    const std::string first = "%\n(" + std::string(second.size() - 8, '-') + ")\nG0\n";
    const std::string program = first + second;
    const CNcPath sequential = ReadNcProgram(program.data(), program.size(), Calculator());
    ASSERT_EQ(sequential.warnings.Count(), 10u);
    CNcParallelRead how;
    how.threads = 2;
    how.pieceBytes = first.size();
    how.checkpointBytes = 8;
    how.guessBytes = 1;
    ExpectSamePath(
        ReadNcProgramParallel(program.data(), program.size(), Calculator(), nullptr, how),
        sequential);
}

// Cancel: asked for before the read, nothing is read; asked for while the threads read, what
// comes back is the start of the whole result, never a path with a gap or a wrong state in it.
TEST(NcParallelReader, CancelEndsTheReadWithTheStartOfTheResult)
{
    std::string program = "G90 G1 F100\n";
    for (int i = 0; i < 200000; ++i)
        program += "X" + std::to_string(i % 997) + " Y" + std::to_string(i % 13) + "\n";
    const CNcPath whole = ReadNcProgram(program.data(), program.size(), Calculator());
    CNcParallelRead how;
    how.threads = 2;
    how.pieceBytes = 64 << 10;
    how.checkpointBytes = 4096;

    CNcProgress before;
    before.cancel = true;
    const CNcPath none =
        ReadNcProgramParallel(program.data(), program.size(), Calculator(), &before, how);
    EXPECT_TRUE(none.segments.Empty());

    CNcProgress during;
    std::thread canceller([&] {
        while (during.done.load() == 0)
            std::this_thread::yield();
        during.cancel = true;
    });
    const CNcPath part =
        ReadNcProgramParallel(program.data(), program.size(), Calculator(), &during, how);
    during.done = 1; // lets the canceller go if the read finished before it looked
    canceller.join();
    ASSERT_LE(part.segments.Size(), whole.segments.Size());
    for (size_t i = 0; i < part.segments.Size(); ++i) {
        ASSERT_EQ(part.segments[i].end, whole.segments[i].end) << "segment " << i;
        ASSERT_EQ(part.segments[i].packed, whole.segments[i].packed) << "segment " << i;
    }
}

} // namespace
