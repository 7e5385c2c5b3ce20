#pragma once

#include <QString>
#include <QtGlobal>

// What the process holds, from /proc/self: open descriptors (sockets and sensors' data files
// among them) and memory. Data files stay open between readings, as many as answering sensors
// have, so their number follows the devices that answered and is no sign of a leak.
struct ResourceSample {
    int descriptors = 0;
    int sockets = 0;
    int dataFiles = 0;
    qint64 residentKb = 0; // VmRSS
    qint64 peakKb = 0;     // VmHWM, the highest resident size so far
    qint64 sqliteKb = 0;   // held by the database engine (its page caches, all connections)
    qint64 heapKb = 0;     // allocated and not yet freed, all threads (what the allocator keeps aside)
    // Simulated devices listening, set by the run: each holds a socket, and a device refusing
    // connections or dead for a while holds none.
    int listeningDevices = 0;
    // Held by the run itself, set by the run: its records of what it saw and the trend chart it
    // feeds, which grow with the alarms and the chart's kept hour, not with a leak.
    qint64 ownKb = 0;

    static ResourceSample take();
    QString describe() const;
};

// The heap a Qt hash of `size` entries in `capacity` buckets takes, each entry's own part
// `entryBytes` (its node and whatever the node points to): a byte per bucket and the entries,
// whose storage grows in steps of up to a quarter.
constexpr qint64 HashHeapBytes(qint64 capacity, qint64 size, qint64 entryBytes)
{
    return capacity + size * entryBytes * 5 / 4;
}
