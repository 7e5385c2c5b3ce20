#pragma once

#include <cmath>

// How long the device link waits. The defaults are the program's; tests shorten them.
struct LinkTimings {
    int connectMs = 5000;     // for the connection to open
    int closeMs = 2000;       // for the connection to report closed
    int retryPauseMs = 2000;  // between two attempts of the poll cycle
    int laneMs = 250;         // a poll exchange not ended this long after its start gives up its lane
    int longReplyMs = 60000;  // for replies longer than one 60-byte frame; a log: the longest silence
    int logSettleMs = 2000;   // a log past its expected length ends after this much silence
    double replyScale = 1.0;  // multiplies every reply time-out
    int replyOverrideMs = -1; // when 0 or more, replaces every reply time-out

    // The reply time-out: TCPTimeOut seconds for a reply of up to 60 bytes, else longReplyMs.
    int replyTimeoutMs(int tcpTimeOutSeconds, int expectedLength) const
    {
        if (replyOverrideMs >= 0)
            return replyOverrideMs;
        const int base = expectedLength < 61 ? tcpTimeOutSeconds * 1000 : longReplyMs;
        return int(std::lround(base * replyScale));
    }
};
