#pragma once

#include <link/LinkTimings.h>

// Device link waits for tests: a quarter of the configured reply time (TCPTimeOut 2 waits
// 500 ms), connect 1000 ms, close 500 ms, the long reply 4000 ms.
inline LinkTimings quickTimings()
{
    LinkTimings timings;
    timings.connectMs = 1000;
    timings.closeMs = 500;
    timings.longReplyMs = 4000;
    timings.replyScale = 0.25;
    return timings;
}
