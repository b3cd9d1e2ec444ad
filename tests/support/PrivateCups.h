#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// A print server of the test's own: cupsd on a socket in a temporary folder, with its
// configuration, spool and logs there too, no sharing and no browsing. While it lives, the
// print-system clients of this process (and of the children it starts) talk to it. Its queues
// write their jobs unchanged into files in its folder.
class CPrivateCups
{
public:
    // The scheme of the capture backend every private server offers.
    static constexpr const char* CaptureScheme = "capture";

    // backendPath: a backend program the server offers under backendName beside its own.
    explicit CPrivateCups(const std::string& backendName = {}, const std::string& backendPath = {});
    ~CPrivateCups();
    CPrivateCups(const CPrivateCups&) = delete;
    CPrivateCups& operator=(const CPrivateCups&) = delete;

    // Whether the server runs (it needs root for its filters); Why() says why not.
    bool IsRunning() const { return m_pid > 0; }
    const std::string& Why() const { return m_why; }

    // Adds a raw queue. With a make and model, the queue carries it; without, it is the
    // server's plain "Local Raw Printer". deviceUri empty: the queue writes into OutputOf(name).
    bool AddQueue(const std::string& name, const std::string& makeAndModel,
                  const std::string& deviceUri = {});
    // Adds a queue with the given description on the capture backend, which writes every job
    // unchanged into OutputOf(name) whatever filters the description asks for; options are
    // passed to lpadmin.
    bool AddQueueWithPpd(const std::string& name, const std::string& ppdPath,
                         const std::vector<std::string>& options = {});
    std::string OutputOf(const std::string& name) const;
    // One attribute of a queue as text ("printer-error-policy"); empty when it has none.
    static std::string PrinterAttribute(const std::string& name, const std::string& attribute);
    // Waits until the queue has no pending job; false at the deadline.
    bool WaitUntilIdle(const std::string& name, int timeoutMs = 30000) const;
    // The titles of the queue's jobs that printed to the end (not cancelled), oldest first.
    std::vector<std::string> CompletedTitles(const std::string& name) const;
    // The server address clients use (its socket).
    const std::string& GetServer() const { return m_socket; }

    // Runs a program with arguments and waits; its exit status, -1 when it could not run.
    static int Run(const std::vector<std::string>& args);

private:
    std::string m_dir;
    std::string m_socket;
    std::string m_previousServer;
    bool m_hadServer = false;
    pid_t m_pid = -1;
    std::string m_why;
};
