#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

// Device-change event code of a "device nodes changed" notice.
constexpr unsigned DeviceNodesChanged = 7;

// Receives device-change notices (plug, unplug, power-off) on the thread that owns the link.
using DeviceChangeTarget = std::function<void(unsigned event)>;

// The transport between the command layer and one machine: a real device on USB or the
// simulator, as equal implementations. Every layer above holds a link only through this
// interface. Every operation reports failure by its result (false or -1), never by throwing.
class CMachineLink
{
public:
    // Told after each piece of a file that OutputFile has handed over: the bytes so far and the
    // file's size. The caller may use it to keep its windows painting.
    using OutputProgress = std::function<void(int64_t done, int64_t total)>;

    virtual bool Open() = 0;
    virtual bool Close() = 0;
    // Cheap test of whether the machine is still there; closes the device when it is not.
    virtual bool CheckConnection() = 0;
    virtual bool Reconnect() = 0;
    // Sends a whole cutting-data file (an open, readable descriptor and its path) as one job.
    virtual bool OutputFile(int fd, const std::string& path, const std::string& jobName) = 0;
    virtual bool VendorWrite(uint16_t code, const void* data, int length) = 0;
    virtual int VendorRead(uint16_t code, void* buffer, int length) = 0;
    virtual bool BulkWrite(const void* data, int length) = 0;
    virtual int BulkRead(void* buffer, int length) = 0;
    virtual std::string GetName() const = 0;
    // What names the open machine itself rather than its queue (a real machine's serial number,
    // else its port), so that locks taken for two queues of one machine exclude each other.
    virtual std::string GetMachineKey() const { return GetName(); }
    // The device node of a printer-class device that the last search for a machine could not
    // open for lack of rights (the machine without its udev rule); empty when there was none.
    virtual std::string GetAccessDeniedDevice() const { return {}; }
    virtual bool Lock(int ms) = 0;
    virtual void Unlock() = 0;
    virtual ~CMachineLink() = default;

    // --- machine selection --------------------------------------------------------------------
    // Names the machine the next Open opens; another name than the current one forgets the path.
    virtual void SetName(const std::string& name) = 0;
    // Rebuilds the machine list from the installed printers with that driver; returns its size,
    // -1 on failure.
    virtual int EnumerateMachines(const std::string& driverName, bool checkPaths) = 0;
    // An entry of that list; nothing outside it.
    virtual std::optional<std::string> GetMachineName(int index) const = 0;

    // --- device-change notices ----------------------------------------------------------------
    // The owner watches GetNotificationFd() (readable when a notice is waiting; -1 when this link
    // has none) and calls ProcessNotifications() on its own thread, which hands each notice to
    // the target.
    virtual void SetNotificationTarget(DeviceChangeTarget target) = 0;
    virtual bool HasNotificationTarget() const = 0;
    virtual int GetNotificationFd() const = 0;
    virtual void ProcessNotifications() = 0;

    // The progress callback of the next OutputFile calls; empty for none.
    void SetOutputProgress(OutputProgress progress) { m_outputProgress = std::move(progress); }

protected:
    void ReportOutputProgress(int64_t done, int64_t total) const
    {
        if (m_outputProgress)
            m_outputProgress(done, total);
    }

private:
    OutputProgress m_outputProgress;
};
