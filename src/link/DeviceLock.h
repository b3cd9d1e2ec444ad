#pragma once

#include "MachineLink.h"

// Scoped hold of a link's device mutex for one transaction. Callers test IsLocked() before
// doing anything else.
class CDeviceLock
{
public:
    static constexpr int DefaultTimeoutMs = 10000;

    explicit CDeviceLock(CMachineLink& link, int ms = DefaultTimeoutMs)
        : m_link(link), m_locked(link.Lock(ms))
    {
    }
    ~CDeviceLock()
    {
        if (m_locked)
            m_link.Unlock();
    }
    CDeviceLock(const CDeviceLock&) = delete;
    CDeviceLock& operator=(const CDeviceLock&) = delete;

    bool IsLocked() const { return m_locked; }

private:
    CMachineLink& m_link;
    bool m_locked;
};
