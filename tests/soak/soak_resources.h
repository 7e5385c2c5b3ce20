#pragma once

#include <QString>

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
    // Held by the run itself, set by the run: its records of what it saw and the trend chart it
    // feeds, which grow with the alarms and the chart's kept hour, not with a leak.
    qint64 ownKb = 0;

    static ResourceSample take();
    QString describe() const;
};

// Heap bytes in use in the whole process beside the database engine's, 0 when the allocator
// does not tell.
qint64 HeapInUseBytes();
