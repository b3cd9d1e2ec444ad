#include "PrivateCups.h"

#include <cups/cups.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

void Write(const std::string& path, const std::string& text, mode_t mode)
{
    std::ofstream(path) << text;
    chmod(path.c_str(), mode);
}

// The last filter of every queue's chain hands the job on unchanged; without a filter the
// server writes nothing to a file device.
constexpr const char* CopyFilter = "#!/bin/sh\nexec cat \"$6\"\n";

// A backend that writes what reaches it (the job file, or its standard input) into the queue's
// output file, so that a queue whose chain has no filter at all is seen too.
std::string CaptureBackend(const std::string& outDir)
{
    return "#!/bin/sh\n[ $# -eq 0 ] && exit 0\nif [ -n \"$6\" ]; then cat \"$6\"; else cat; fi > "
           "\"" +
           outDir + "/$PRINTER.out\"\n";
}

std::string Ppd(const std::string& makeAndModel, const std::string& filter)
{
    return "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n"
           "*LanguageVersion: English\n*LanguageEncoding: ISOLatin1\n"
           "*PCFileName: \"TEST.PPD\"\n*Manufacturer: \"Test\"\n*Product: \"(Test)\"\n"
           "*ModelName: \"" +
           makeAndModel + "\"\n*ShortNickName: \"" + makeAndModel + "\"\n*NickName: \"" +
           makeAndModel + "\"\n*PSVersion: \"(3010.000) 0\"\n" +
           "*cupsFilter: \"application/vnd.cups-raw 0 " + filter + "\"\n";
}

} // namespace

CPrivateCups::CPrivateCups(const std::string& backendName, const std::string& backendPath)
{
    if (geteuid() != 0) {
        m_why = "the private print server runs its filters only when started as root";
        return;
    }
    char pattern[] = "/tmp/zr40-cups-XXXXXX";
    if (!mkdtemp(pattern)) {
        m_why = "no temporary folder";
        return;
    }
    m_dir = pattern;
    // The server runs its filters as lp: they and the folder must be readable for it, and the
    // output folder writable.
    chmod(m_dir.c_str(), 0755);
    for (const char* sub : {"spool", "cache", "state", "log", "ppd"})
        fs::create_directory(m_dir + "/" + sub);
    fs::create_directory(m_dir + "/out");
    chmod((m_dir + "/out").c_str(), 0777);
    chmod((m_dir + "/spool").c_str(), 0755);
    m_socket = m_dir + "/cups.sock";
    // The server's programs are the installed ones; the capture backend and a backend of the
    // test's join them.
    const std::string serverBin = m_dir + "/serverbin";
    fs::create_directories(serverBin + "/backend");
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator("/usr/lib/cups", ignored)) {
        if (entry.path().filename() != "backend")
            fs::create_symlink(entry.path(), serverBin / entry.path().filename(), ignored);
    }
    for (const auto& entry : fs::directory_iterator("/usr/lib/cups/backend", ignored))
        fs::create_symlink(entry.path(), fs::path(serverBin + "/backend") / entry.path().filename(),
                           ignored);
    if (!backendName.empty())
        fs::create_symlink(backendPath, serverBin + "/backend/" + backendName, ignored);
    Write(m_dir + "/capture", CaptureBackend(m_dir + "/out"), 0755);
    fs::create_symlink(m_dir + "/capture", serverBin + "/backend/" + CaptureScheme, ignored);
    Write(m_dir + "/copy", CopyFilter, 0755);
    Write(m_dir + "/cupsd.conf",
          "Listen " + m_socket +
              "\nBrowsing No\nLogLevel warn\nWebInterface No\n"
              "<Policy default>\n<Limit All>\nOrder allow,deny\nAllow all\n</Limit>\n"
              "</Policy>\n<Location />\nOrder allow,deny\nAllow all\n</Location>\n",
          0644);
    Write(m_dir + "/cups-files.conf",
          "FileDevice Yes\nServerRoot " + m_dir + "\nRequestRoot " + m_dir + "/spool\nCacheDir " +
              m_dir + "/cache\nStateDir " + m_dir + "/state\nTempDir " + m_dir +
              "/spool\nErrorLog " + m_dir + "/log/error_log\nAccessLog " + m_dir +
              "/log/access_log\nPageLog " + m_dir + "/log/page_log\nServerBin " + serverBin + "\n",
          0644);

    m_pid = fork();
    if (m_pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        // The server is a real one even when the test runs on an emulated device bus.
        unsetenv("LD_PRELOAD");
        execlp("cupsd", "cupsd", "-f", "-c", (m_dir + "/cupsd.conf").c_str(), "-s",
               (m_dir + "/cups-files.conf").c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (m_pid < 0) {
        m_why = "cupsd could not be started";
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (!fs::exists(m_socket)) {
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid ||
            std::chrono::steady_clock::now() > deadline) {
            m_why = "cupsd did not start (see " + m_dir + "/log/error_log)";
            if (waitpid(m_pid, &status, WNOHANG) == 0) {
                kill(m_pid, SIGKILL);
                waitpid(m_pid, &status, 0);
            }
            m_pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (const char* previous = std::getenv("CUPS_SERVER")) {
        m_hadServer = true;
        m_previousServer = previous;
    }
    setenv("CUPS_SERVER", m_socket.c_str(), 1);
    cupsSetServer(m_socket.c_str());
}

CPrivateCups::~CPrivateCups()
{
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
        if (m_hadServer)
            setenv("CUPS_SERVER", m_previousServer.c_str(), 1);
        else
            unsetenv("CUPS_SERVER");
        cupsSetServer(nullptr);
    }
    if (!m_dir.empty()) {
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }
}

bool CPrivateCups::AddQueue(const std::string& name, const std::string& makeAndModel,
                            const std::string& deviceUri)
{
    const std::string uri = deviceUri.empty() ? "file://" + OutputOf(name) : deviceUri;
    std::vector<std::string> args = {"lpadmin", "-p", name, "-E", "-v", uri};
    const std::string ppd = m_dir + "/ppd/" + name + ".ppd";
    Write(ppd, Ppd(makeAndModel.empty() ? "Local Raw Printer" : makeAndModel, m_dir + "/copy"),
          0644);
    args.insert(args.end(), {"-P", ppd});
    return Run(args) == 0;
}

bool CPrivateCups::AddQueueWithPpd(const std::string& name, const std::string& ppdPath,
                                   const std::vector<std::string>& options)
{
    std::vector<std::string> args = {
        "lpadmin", "-p", name, "-E", "-v", std::string(CaptureScheme) + ":/", "-P", ppdPath};
    args.insert(args.end(), options.begin(), options.end());
    return Run(args) == 0;
}

std::string CPrivateCups::PrinterAttribute(const std::string& name, const std::string& attribute)
{
    ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    const std::string uri = "ipp://localhost/printers/" + name;
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
                 attribute.c_str());
    ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    std::string value;
    if (ipp_attribute_t* found =
            response ? ippFindAttribute(response, attribute.c_str(), IPP_TAG_ZERO) : nullptr) {
        if (const char* text = ippGetString(found, 0, nullptr))
            value = text;
    }
    ippDelete(response);
    return value;
}

std::string CPrivateCups::OutputOf(const std::string& name) const
{
    return m_dir + "/out/" + name + ".out";
}

bool CPrivateCups::WaitUntilIdle(const std::string& name, int timeoutMs) const
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        cups_job_t* jobs = nullptr;
        const int active =
            cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, name.c_str(), 0, CUPS_WHICHJOBS_ACTIVE);
        cupsFreeJobs(active, jobs);
        if (active == 0)
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::vector<std::string> CPrivateCups::CompletedTitles(const std::string& name) const
{
    cups_job_t* jobs = nullptr;
    const int count =
        cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, name.c_str(), 0, CUPS_WHICHJOBS_COMPLETED);
    std::vector<std::string> titles;
    // The server counts cancelled and aborted jobs among the finished ones; they did not print.
    for (int i = 0; i < count; ++i)
        if (jobs[i].state == IPP_JSTATE_COMPLETED)
            titles.push_back(jobs[i].title ? jobs[i].title : "");
    cupsFreeJobs(count, jobs);
    // The server lists the newest first.
    return {titles.rbegin(), titles.rend()};
}

int CPrivateCups::Run(const std::vector<std::string>& args)
{
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 1);
        dup2(null, 2);
        std::vector<char*> argv;
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    if (pid < 0)
        return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}
