#include "PrintSpooler.h"
#include "PrivateCups.h"
#include "UsbPrintLink.h"

#include <cups/cups.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

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

// The queue description the package installs: an NC file printed with lp (plain text) and the
// panel's raw job reach the machine byte for byte; a PDF printed by mistake is refused, not
// converted into something the machine would take for cutting data.
TEST_F(PrintSpooler, ShippedDescriptionPassesCuttingDataAndRefusesOtherTypes)
{
    ASSERT_TRUE(cups->AddQueueWithPpd("shipped", ZR40_PPD));
    struct Row
    {
        const char* what;
        std::string content;
        bool panel; // handed over by the panel as a raw job, else printed with lp
        bool accepted;
    };
    const Row rows[] = {
        {"NC file with lp", "%\r\nO0001\r\nG90 G0 X1.000 Y2.000\r\nG1 Z-0.5 F100\r\nM30\r\n%\r\n",
         false, true},
        {"raw job of the panel", std::string("\x1b\x00ZML\xff\x01", 7), true, true},
        {"PDF with lp",
         "%PDF-1.4\n1 0 obj << /Type /Catalog >> endobj\ntrailer << /Root 1 0 R >>\n%%EOF\n", false,
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        unlink(cups->OutputOf("shipped").c_str());
        const std::string path = TempFile(row.content);
        bool accepted = false;
        if (row.panel) {
            const int fd = open(path.c_str(), O_RDONLY);
            CUsbPrintLink link;
            link.SetName("shipped");
            accepted = link.OutputFile(fd, path, "Mildek 1/1");
            close(fd);
        } else {
            accepted = CPrivateCups::Run({"lp", "-d", "shipped", path}) == 0;
        }
        unlink(path.c_str());
        EXPECT_EQ(accepted, row.accepted);
        ASSERT_TRUE(cups->WaitUntilIdle("shipped"));
        if (row.accepted)
            EXPECT_TRUE(ReadAll(cups->OutputOf("shipped")) == row.content) << "the job was changed";
        else
            EXPECT_FALSE(std::ifstream(cups->OutputOf("shipped")).good()) << "a job was printed";
    }
    // The other tests count the machine queues.
    EXPECT_EQ(CPrivateCups::Run({"lpadmin", "-x", "shipped"}), 0);
}

// A file that fails to read in the middle of the hand-over (a USB stick pulled) leaves no job
// that prints: the job is cancelled before anything of it can reach the machine.
TEST_F(PrintSpooler, ReadErrorMidHandOverLeavesNoPrintedJob)
{
    // A socket whose reads time out once the first pieces are taken stands in for the file.
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    const timeval wait{0, 200 * 1000};
    ASSERT_EQ(setsockopt(pair[0], SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait), 0);
    const std::string start(2 * 32768 + 100, 'G');
    std::thread writer([&] { (void)!write(pair[1], start.data(), start.size()); });
    const size_t before = cups->CompletedTitles("zr_a").size();
    CUsbPrintLink link;
    link.SetName("zr_a");
    EXPECT_FALSE(link.OutputFile(pair[0], "", "Mildek 2/2"));
    writer.join();
    close(pair[0]);
    close(pair[1]);
    ASSERT_TRUE(cups->WaitUntilIdle("zr_a"));
    EXPECT_EQ(cups->CompletedTitles("zr_a").size(), before) << "the partial job printed";
}

// zr40-add-queue asks the print system for the machines (lpinfo runs the backends itself), so a
// print administrator who is not root needs no access to the 0700 backend; the queue it makes
// aborts a failed job instead of keeping it to send again from its first byte.
TEST(QueueHelper, FindsTheMachineThroughThePrintSystem)
{
    char folder[] = "/tmp/zr40-helper-XXXXXX";
    ASSERT_TRUE(mkdtemp(folder));
    chmod(folder, 0755);
    const std::string backend = std::string(folder) + "/zr40";
    {
        std::ofstream script(backend);
        script
            << "#!/bin/sh\n[ $# -eq 0 ] || exit 1\n"
               "echo 'direct zr40://Quenby/ZR-40?serial=LISTED \"Quenby ZR-40\" \"Quenby ZR-40\" "
               "\"MFG:Quenby;MDL:ZR-40;\" \"\"'\n";
    }
    chmod(backend.c_str(), 0755);
    {
        CPrivateCups cups("zr40", backend);
        if (!cups.IsRunning())
            GTEST_SKIP() << cups.Why();
        const std::string ppd = std::string("ZR40_PPD=") + ZR40_PPD;
        EXPECT_EQ(
            CPrivateCups::Run({"env", "-u", "ZR40_BACKEND", ppd, "sh", ZR40_ADD_QUEUE, "listed"}),
            0);
        std::vector<PrinterEntry> printers;
        ASSERT_TRUE(CPrintSpooler().ListPrinters(printers));
        ASSERT_EQ(printers.size(), 1u);
        EXPECT_EQ(printers[0].port, "zr40://Quenby/ZR-40?serial=LISTED");
        EXPECT_EQ(printers[0].driverName, Driver);
        EXPECT_EQ(CPrivateCups::PrinterAttribute("listed", "printer-error-policy"), "abort-job");
    }
    fs::remove_all(folder);
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
