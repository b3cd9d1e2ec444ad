#include "PrivateCups.h"
#include "UsbPrintLink.h"

#include <cups/cups.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <random>
#include <unistd.h>

namespace {

constexpr const char* Driver = "Quenby ZR-40";

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string TempFile(const std::string& content)
{
    char pattern[] = "/tmp/zr40-job-XXXXXX";
    const int fd = mkstemp(pattern);
    EXPECT_EQ(write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    close(fd);
    return pattern;
}

class PrintSpooler : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        cups = new CPrivateCups;
        if (!cups->IsRunning())
            return;
        // Two machines, a plain raw queue and a queue of another make, in an order that is
        // not the alphabetical one.
        ASSERT_TRUE(cups->AddQueue("zr_b", Driver));
        ASSERT_TRUE(cups->AddQueue("plain", ""));
        ASSERT_TRUE(cups->AddQueue("zr_a", "QUENBY zr-40"));
        ASSERT_TRUE(cups->AddQueue("other", "Quenby ZR-400"));
    }
    static void TearDownTestSuite()
    {
        delete cups;
        cups = nullptr;
    }
    void SetUp() override
    {
        if (!cups->IsRunning())
            GTEST_SKIP() << cups->Why();
    }

    static CPrivateCups* cups;
};

CPrivateCups* PrintSpooler::cups = nullptr;

} // namespace

TEST_F(PrintSpooler, EnumerationFindsExactlyTheMachineQueues)
{
    CUsbPrintLink link;
    ASSERT_EQ(link.EnumerateMachines(Driver, false), 2);
    std::vector<std::string> names = {*link.GetMachineName(0), *link.GetMachineName(1)};
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"zr_a", "zr_b"}));
    EXPECT_FALSE(link.GetMachineName(2));
    // Without a driver name every queue counts; with the path check, queues whose device is not
    // a machine on USB do not.
    EXPECT_EQ(link.EnumerateMachines("", false), 4);
    EXPECT_EQ(link.EnumerateMachines(Driver, true), 0);
}

TEST_F(PrintSpooler, OutputFileArrivesByteForByteUnderItsJobName)
{
    std::mt19937 random(40);
    std::string big(100 * 1024 + 17, '\0');
    for (char& c : big)
        c = static_cast<char>(random());
    for (const std::string& content : {big, std::string()}) {
        SCOPED_TRACE(content.size());
        const std::string path = TempFile(content);
        const int fd = open(path.c_str(), O_RDONLY);
        CUsbPrintLink link;
        link.SetName("zr_b");
        std::vector<int64_t> reported;
        link.SetOutputProgress([&](int64_t done, int64_t total) {
            EXPECT_EQ(total, static_cast<int64_t>(content.size()));
            reported.push_back(done);
        });
        unlink(cups->OutputOf("zr_b").c_str());
        EXPECT_TRUE(link.OutputFile(fd, path, "Mildek 1/3"));
        // One report per piece of 32768 bytes, the last one at the end of the file.
        const size_t pieces = (content.size() + 32767) / 32768;
        ASSERT_EQ(reported.size(), pieces);
        if (pieces > 0) {
            EXPECT_EQ(reported.front(), 32768);
            EXPECT_EQ(reported.back(), static_cast<int64_t>(content.size()));
        }
        close(fd);
        unlink(path.c_str());
        ASSERT_TRUE(cups->WaitUntilIdle("zr_b"));
        EXPECT_TRUE(ReadAll(cups->OutputOf("zr_b")) == content) << "the job arrived changed";
        ASSERT_FALSE(cups->CompletedTitles("zr_b").empty());
        EXPECT_EQ(cups->CompletedTitles("zr_b").back(), "Mildek 1/3");
    }
}

TEST_F(PrintSpooler, UnreadableFileFailsTheJob)
{
    // A descriptor open for writing only cannot be read: the job must not pass as sent.
    const std::string path = TempFile("G0X1\r\n");
    const int fd = open(path.c_str(), O_WRONLY);
    CUsbPrintLink link;
    link.SetName("zr_a");
    EXPECT_FALSE(link.OutputFile(fd, path, ""));
    close(fd);
    unlink(path.c_str());
    ASSERT_TRUE(cups->WaitUntilIdle("zr_a"));
}

TEST(PrintSpoolerAbsent, AServerThatDoesNotRunFailsAtOnce)
{
    setenv("CUPS_SERVER", "/tmp/zr40-no-such-server/cups.sock", 1);
    cupsSetServer(nullptr);
    const auto start = std::chrono::steady_clock::now();
    CUsbPrintLink link;
    EXPECT_EQ(link.EnumerateMachines(Driver, false), -1);
    link.SetName("zr_a");
    EXPECT_FALSE(link.Open());
    const std::string path = TempFile("x");
    const int fd = open(path.c_str(), O_RDONLY);
    EXPECT_FALSE(link.OutputFile(fd, path, "Mildek 1/1"));
    close(fd);
    unlink(path.c_str());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    unsetenv("CUPS_SERVER");
    cupsSetServer(nullptr);
}
