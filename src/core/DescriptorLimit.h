#pragma once

// Raises the process's soft descriptor limit to its hard limit: a collector of thousands of
// devices keeps their data files open, and benches hold a listening socket for each simulated
// device. Returns the soft limit in force, -1 when unknown.
long RaiseDescriptorLimit();
