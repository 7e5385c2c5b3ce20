#pragma once

#include "RecordFile.h"

// Which data files may stay open between writes: no more than capacity, and only those whose
// descriptor number stays below a ceiling under the process's descriptor limit (an eighth of it
// below, and at least 2,048 or half of a small limit). The system hands out the lowest free
// number, so a file numbered that high means that many descriptors are in use already; the rest
// stays free for sockets, the database, threads and everything else.
class KeptFileBudget {
public:
    KeptFileBudget(); // capacity: the ceiling
    explicit KeptFileBudget(int capacity);

    int capacity() const { return m_capacity; }
    int kept() const { return m_kept; }

private:
    friend class KeptFile;
    bool admits(const RecordFile &file) const;

    int m_capacity = 0;
    int m_kept = 0;
    long m_descriptorCeiling = 0; // no kept file's descriptor number reaches it
};

// A data file left open for the next write, counted against its budget while it is open.
class KeptFile {
public:
    KeptFile() = default;
    ~KeptFile() { release(); }
    KeptFile(KeptFile &&other) noexcept;
    KeptFile &operator=(KeptFile &&other) noexcept;
    KeptFile(const KeptFile &) = delete;
    KeptFile &operator=(const KeptFile &) = delete;

    // Keeps the open file when the budget has room (else it is closed), and says which.
    bool keep(RecordFile &&file, KeptFileBudget &budget);
    // The kept file, handed back to be written (isOpen() false when none is kept).
    RecordFile take();
    bool isKept() const { return m_budget != nullptr; }
    void release();

private:
    RecordFile m_file;
    KeptFileBudget *m_budget = nullptr;
};
