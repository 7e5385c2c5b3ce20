#pragma once

#include "RecordFile.h"

// How many data files may stay open between writes: a share of the process's descriptor limit,
// so that sockets, the database and everything else always find descriptors free.
class KeptFileBudget {
public:
    KeptFileBudget(); // from the descriptor limit in force
    explicit KeptFileBudget(int capacity) : m_capacity(capacity) {}

    int capacity() const { return m_capacity; }
    int kept() const { return m_kept; }

private:
    friend class KeptFile;
    int m_capacity = 0;
    int m_kept = 0;
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
