#pragma once

#include <QString>

// What the sent-mail log (and its rolled-over ".old" part) tells of the outbox over the run: the
// messages, their attempts and retries, the most attempts one message needed, and the longest
// time from a message's first attempt to its delivery (on the run's clock).
QString OutboxFigures(const QString &sentMailLogPath);
