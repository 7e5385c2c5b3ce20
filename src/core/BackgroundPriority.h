#pragma once

class QThread;

// Delivery to receivers and its bookkeeping must not hold up the poll cycle. Their threads run
// at a lower priority (a higher nice value): on a busy machine the cycle and the devices' answers
// go first, and whenever the cycle waits the background threads run at full speed. They are never
// starved, so an alarm still goes out on a machine that is busy for long.
void RunAtBackgroundPriority(QThread &thread);
// How much higher than the main thread's such a thread's nice value is.
inline constexpr int BackgroundNiceIncrement = 10;
