#include "SmtpTransport.h"
#include "core/ThreadHandOff.h"

#include <core/LocalWait.h>

#include <QRegularExpression>
#include <QSysInfo>
#include <QThread>

#include <curl/curl.h>

#include <chrono>
#include <cstring>
#include <memory>

namespace {
// Lines of server replies kept for the logs.
constexpr int MaxTranscriptLines = 200;
// How long the UI thread waits beyond the server time-out before it stops the exchange itself.
constexpr int BackstopMs = 10000;
// Once a stop's grace or the exchange's time-out is over, an answer to the message on its way
// still counts for this long; then the connection closes (without waiting for the answer to QUIT).
constexpr std::chrono::milliseconds LateAnswer{2000};

void EnsureCurlInitialised()
{
    static const bool initialised = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }();
    Q_UNUSED(initialised);
}

struct Upload {
    const QByteArray *data = nullptr;
    qsizetype position = 0;
    bool finished = false; // the library has the whole message and ends it with "."
};

size_t ReadPayload(char *buffer, size_t size, size_t count, void *user)
{
    auto *upload = static_cast<Upload *>(user);
    const qsizetype left = upload->data->size() - upload->position;
    const qsizetype chunk = qMin<qsizetype>(left, qsizetype(size * count));
    memcpy(buffer, upload->data->constData() + upload->position, size_t(chunk));
    upload->position += chunk;
    if (chunk == 0)
        upload->finished = true;
    return size_t(chunk);
}

struct Transcript {
    QStringList lines;
    QByteArray partial;
    // The exchange is over: QUIT has gone, and its answer is not waited for.
    bool quitSent = false;
    // The recipient whose RCPT command awaits its reply, and the replies so far.
    QString pendingRecipient;
    QList<RecipientReply> recipientReplies;
};

// What the progress callback needs to end an exchange early, on the exchange's own thread.
struct StopCheck {
    const SmtpStopRequest *request = nullptr;
    const Upload *upload = nullptr;
    const Transcript *transcript = nullptr;
    // The exchange's own time-out; an answer to the message may come LateAnswer after it.
    std::chrono::steady_clock::time_point deadline;
    bool timedOut = false; // ended at its time-out before the message had gone
};

// The last line of a reply: "250 OK" rather than "250-SIZE ...".
bool IsFinalReplyLine(const QByteArray &line)
{
    return line.size() == 3 || (line.size() > 3 && line.at(3) == ' ');
}

void CollectReplyLine(Transcript &transcript, const QByteArray &line)
{
    if (transcript.lines.size() < MaxTranscriptLines)
        transcript.lines.append(QString::fromUtf8(line));
    if (!transcript.pendingRecipient.isEmpty() && IsFinalReplyLine(line)) {
        transcript.recipientReplies.append({transcript.pendingRecipient, QString::fromUtf8(line)});
        transcript.pendingRecipient.clear();
    }
}

// Collects the server's reply lines, and of the client's lines only the recipients (RCPT TO),
// to pair each with its reply: the other client lines would carry the credentials.
int CollectReplies(CURL *, curl_infotype type, char *data, size_t size, void *user)
{
    auto *transcript = static_cast<Transcript *>(user);
    if (type == CURLINFO_HEADER_OUT) {
        const QByteArray command(data, qsizetype(size));
        if (command.startsWith("QUIT"))
            transcript->quitSent = true;
        if (command.startsWith("RCPT TO:")) {
            const qsizetype open = command.indexOf('<'), close = command.indexOf('>');
            if (open >= 0 && close > open)
                transcript->pendingRecipient = QString::fromUtf8(command.mid(open + 1, close - open - 1));
        }
        return 0;
    }
    if (type != CURLINFO_HEADER_IN)
        return 0;
    transcript->partial.append(data, qsizetype(size));
    qsizetype end;
    while ((end = transcript->partial.indexOf('\n')) >= 0) {
        const QByteArray line = transcript->partial.left(end).trimmed();
        transcript->partial.remove(0, end + 1);
        CollectReplyLine(*transcript, line);
    }
    return 0;
}

// Called by the library at least once a second while the exchange runs, and while it waits for
// an answer; non-zero ends it. The message's outcome is known once QUIT has gone: its answer is
// not waited for. Before the end of the message a stop ends the exchange at once (the server
// cannot have taken it); after it, the answer is waited for until the stop's grace is over and
// LateAnswer more (the library's own time-out ends the wait LateAnswer after the exchange's).
int CheckStop(void *user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    auto *check = static_cast<StopCheck *>(user);
    if (check->transcript->quitSent)
        return 1;
    const SmtpStop stop = check->request ? check->request->kind() : SmtpStop::None;
    const auto now = std::chrono::steady_clock::now();
    if (stop == SmtpStop::Now)
        return 1;
    if (!check->upload->finished) {
        check->timedOut = stop == SmtpStop::None && now >= check->deadline;
        return stop == SmtpStop::Finish || check->timedOut ? 1 : 0;
    }
    return stop == SmtpStop::Finish &&
                   now >= std::min(check->request->graceEnds(), check->deadline) + LateAnswer
               ? 1
               : 0;
}

bool ValidHost(const QString &host)
{
    static const QRegularExpression pattern(QStringLiteral(R"(^[A-Za-z0-9._\-:\[\]]+$)"));
    return pattern.match(host).hasMatch();
}

QString HostForUrl(const QString &host)
{
    if (host.contains(QLatin1Char(':')) && !host.startsWith(QLatin1Char('[')))
        return QLatin1Char('[') + host + QLatin1Char(']');
    return host;
}

// The name this computer gives in EHLO.
QString HelloName()
{
    QString name = QSysInfo::machineHostName();
    name.remove(QRegularExpression(QStringLiteral("[^A-Za-z0-9.\\-]")));
    return name.isEmpty() ? QStringLiteral("localhost") : name;
}

bool IsErrorReply(const QString &line)
{
    return line.size() >= 3 && (line.at(0) == QLatin1Char('4') || line.at(0) == QLatin1Char('5')) &&
           line.at(1).isDigit() && line.at(2).isDigit();
}

// The answer to the message itself: the first reply after "354 ...", whenever it came before the
// connection closed (late, the library takes it for the answer to QUIT).
QString MessageReply(const QStringList &lines)
{
    for (qsizetype i = 0; i + 1 < lines.size(); ++i)
        if (lines.at(i).startsWith(QLatin1String("354")))
            return lines.at(i + 1);
    return lines.isEmpty() ? QString() : lines.last();
}

// The server answered the message with 2xx: it has taken it, whatever ends the exchange after.
// QUIT's own "221" says nothing about the message.
bool MessageAccepted(const QStringList &lines)
{
    for (qsizetype i = 0; i + 1 < lines.size(); ++i)
        if (lines.at(i).startsWith(QLatin1String("354")))
            return lines.at(i + 1).startsWith(QLatin1Char('2')) &&
                   !lines.at(i + 1).startsWith(QLatin1String("221"));
    return false;
}

QString LastErrorReply(const QStringList &lines)
{
    for (qsizetype i = lines.size() - 1; i >= 0; --i)
        if (IsErrorReply(lines.at(i)))
            return lines.at(i);
    return QString();
}

struct CurlList {
    curl_slist *list = nullptr;
    ~CurlList() { curl_slist_free_all(list); }
    void append(const QByteArray &item) { list = curl_slist_append(list, item.constData()); }
};

struct CurlHandle {
    CURL *handle = curl_easy_init();
    ~CurlHandle() { curl_easy_cleanup(handle); }
};

// What libcurl reads during one exchange; it must outlive curl_easy_perform.
struct Transfer {
    QByteArray url, from, caFile, user, password, loginOptions;
    CurlList recipients;
    Upload upload;
    StopCheck stopCheck;
    Transcript transcript;
    char errorBuffer[CURL_ERROR_SIZE] = {};
};

void SetEnvelope(CURL *c, Transfer &t, const SmtpServer &server, const SmtpEnvelope &envelope,
                 const SmtpStopRequest *stop)
{
    t.url = (server.url() + QLatin1Char('/') + HelloName()).toUtf8();
    t.from = '<' + envelope.from.toUtf8() + '>';
    for (const QString &address : envelope.recipients)
        t.recipients.append('<' + address.toUtf8() + '>');
    t.upload = Upload{&envelope.payload, 0};
    t.stopCheck.request = stop;
    t.stopCheck.upload = &t.upload;
    t.stopCheck.transcript = &t.transcript;
    const long timeoutMs = long(qMax(1, server.timeoutSeconds)) * 1000;

    curl_easy_setopt(c, CURLOPT_URL, t.url.constData());
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, t.errorBuffer);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    // The time-out itself is the progress callback's before the end of the message; after it, the
    // answer on its way may come LateAnswer later.
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, timeoutMs + long(LateAnswer.count()));
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs);
    t.stopCheck.deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    // Every single reply too: the library would otherwise wait two minutes for a server that does
    // not answer.
    curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(qMax(1, server.timeoutSeconds)));
    // The connection closes within the exchange, where the progress callback is still asked: kept
    // for another exchange, the library would say goodbye when the handle goes and wait for the
    // answer to QUIT as long as for any reply, a late answer to the message taken for it.
    curl_easy_setopt(c, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(c, CURLOPT_MAIL_FROM, t.from.constData());
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, t.recipients.list);
    // One refused address must not keep the alarm from the others on the list.
#if LIBCURL_VERSION_NUM >= 0x080200
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT_ALLOWFAILS, 1L);
#else
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT_ALLLOWFAILS, 1L);
#endif
    // libcurl dot-stuffs the data and ends it with "." itself; the payload already has CR LF lines.
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c, CURLOPT_READFUNCTION, ReadPayload);
    curl_easy_setopt(c, CURLOPT_READDATA, &t.upload);
    curl_easy_setopt(c, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, CollectReplies);
    curl_easy_setopt(c, CURLOPT_DEBUGDATA, &t.transcript);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, CheckStop);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &t.stopCheck);
}

void SetSecurity(CURL *c, Transfer &t, const SmtpServer &server)
{
    if (server.useSsl) {
        // The user asked for a secure connection: the server must prove who it is.
        curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
    } else {
        // Opportunistic STARTTLS: encrypt when the server offers it, without demanding a
        // certificate that plain SMTP would not have checked either.
        curl_easy_setopt(c, CURLOPT_USE_SSL, long(CURLUSESSL_TRY));
        curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 0L);
    }
    t.caFile = server.caFile.toUtf8();
    if (!t.caFile.isEmpty())
        curl_easy_setopt(c, CURLOPT_CAINFO, t.caFile.constData());
}

bool SetAuthentication(CURL *c, Transfer &t, const SmtpServer &server, QString &errorText)
{
    const QString method = server.authMethod.trimmed().toUpper();
    if (method == QLatin1String("NONE"))
        return true;
    static const QStringList known = {QStringLiteral("LOGIN"), QStringLiteral("PLAIN"),
                                      QStringLiteral("CRAM-MD5"), QStringLiteral("NTLM")};
    if (!known.contains(method)) {
        errorText =
            QStringLiteral("The authentication method \"%1\" is not supported.").arg(server.authMethod);
        return false;
    }
    QString name = server.userName;
    if (method == QLatin1String("NTLM") && !server.loginDomain.trimmed().isEmpty())
        name = server.loginDomain.trimmed() + QLatin1Char('\\') + name;
    t.user = name.toUtf8();
    t.password = server.password.toUtf8();
    t.loginOptions = "AUTH=" + method.toLatin1();
    curl_easy_setopt(c, CURLOPT_USERNAME, t.user.constData());
    curl_easy_setopt(c, CURLOPT_PASSWORD, t.password.constData());
    curl_easy_setopt(c, CURLOPT_LOGIN_OPTIONS, t.loginOptions.constData());
    return true;
}

QString CurlErrorText(CURLcode code, const char *errorBuffer, const SmtpServer &server,
                      const QStringList &lines)
{
    QString text = QString::fromUtf8(errorBuffer).trimmed();
    if (text.isEmpty())
        text = QString::fromUtf8(curl_easy_strerror(code));
    if (code == CURLE_OPERATION_TIMEDOUT)
        return QStringLiteral("The mail server %1 did not complete the exchange within %2 seconds (%3).")
            .arg(server.url())
            .arg(server.timeoutSeconds)
            .arg(text);
    const QString reply = LastErrorReply(lines);
    if (reply.isEmpty())
        return text;
    // "RCPT failed: 550" says less than the server's own line: keep the step, then the reply.
    text.remove(QRegularExpression(QStringLiteral(":\\s*") + QRegularExpression::escape(reply.left(3)) +
                                   QStringLiteral("$")));
    return text + QStringLiteral(". Server reply: ") + reply;
}
} // namespace

void SmtpStopRequest::finish(std::chrono::milliseconds grace)
{
    m_graceEnds.store((std::chrono::steady_clock::now() + grace).time_since_epoch().count());
    m_kind.store(SmtpStop::Finish);
}

std::chrono::steady_clock::time_point SmtpStopRequest::graceEnds() const
{
    return std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(m_graceEnds.load()));
}

void PrepareSmtpThreads()
{
    EnsureCurlInitialised();
}

QStringList SmtpOutcome::delivered() const
{
    QStringList addresses;
    if (sent)
        for (const RecipientReply &r : recipientReplies)
            if (r.reply.startsWith(QLatin1Char('2')))
                addresses.append(r.address);
    return addresses;
}

QList<RecipientReply> SmtpOutcome::refusedPermanently() const
{
    QList<RecipientReply> refused;
    for (const RecipientReply &r : recipientReplies)
        if (r.reply.startsWith(QLatin1Char('5')))
            refused.append(r);
    return refused;
}

QString SmtpServer::url() const
{
    return QStringLiteral("%1://%2:%3")
        .arg(useSsl ? QStringLiteral("smtps") : QStringLiteral("smtp"), HostForUrl(host.trimmed()),
             QString::number(port));
}

QString SmtpServer::description() const
{
    QString text = useSsl ? QStringLiteral("SSL/TLS") : QStringLiteral("STARTTLS when offered");
    const QString method = authMethod.trimmed().toUpper();
    if (method == QLatin1String("NONE"))
        return text + QStringLiteral(", no authentication");
    return text + QStringLiteral(", AUTH %1 as %2").arg(method, userName);
}

SmtpOutcome RunSmtpExchange(const SmtpServer &server, const SmtpEnvelope &envelope,
                            const SmtpStopRequest *stop)
{
    EnsureCurlInitialised();
    SmtpOutcome outcome;
    const QString host = server.host.trimmed();
    if (host.isEmpty()) {
        outcome.errorText = QStringLiteral("No SMTP server has been programmed.");
        return outcome;
    }
    if (!ValidHost(host)) {
        outcome.errorText = QStringLiteral("The SMTP server name \"%1\" is not valid.").arg(host);
        return outcome;
    }
    // Declared first so that it outlives the handle: cleanup may still call back into it.
    Transfer transfer;
    CURLcode code = CURLE_OK;
    {
        CurlHandle curl;
        if (!curl.handle) {
            outcome.errorText = QStringLiteral("The mail library could not start a transfer.");
            return outcome;
        }
        CURL *c = curl.handle;
        SetEnvelope(c, transfer, server, envelope, stop);
        SetSecurity(c, transfer, server);
        if (!SetAuthentication(c, transfer, server, outcome.errorText))
            return outcome;
        code = curl_easy_perform(c);
    } // closed: every reply that came before is in the transcript
    const QStringList &lines = transfer.transcript.lines;
    outcome.transcript = lines;
    outcome.recipientReplies = transfer.transcript.recipientReplies;
    // Taken is taken: a stop, a lost connection or a failed QUIT after the server's 2xx to the
    // message must not make it go out again.
    if (code == CURLE_OK || MessageAccepted(lines)) {
        outcome.sent = true;
        outcome.serverReply = MessageReply(lines);
        return outcome;
    }
    outcome.serverReply = LastErrorReply(lines);
    if (transfer.stopCheck.timedOut)
        code = CURLE_OPERATION_TIMEDOUT;
    if (code == CURLE_ABORTED_BY_CALLBACK)
        outcome.errorText =
            QStringLiteral("The mail exchange with %1 was stopped before the server confirmed the "
                           "message.")
                .arg(server.url());
    else
        outcome.errorText =
            CurlErrorText(code, transfer.stopCheck.timedOut ? "" : transfer.errorBuffer, server, lines);
    return outcome;
}

SmtpOutcome SendSmtpWhileWaiting(const SmtpServer &server, const SmtpEnvelope &envelope)
{
    // The library's global set-up is not thread-safe: do it here, before any worker runs.
    PrepareSmtpThreads();
    auto outcome = std::make_shared<SmtpOutcome>();
    auto stop = std::make_shared<SmtpStopRequest>();
    std::unique_ptr<QThread> worker(QThread::create(
        [server, envelope, outcome, stop] { *outcome = RunSmtpExchange(server, envelope, stop.get()); }));

    // No program state: closing the program must not cut a mail (the shutdown notice) short.
    LocalWait wait;
    wait.endOn(worker.get(), &QThread::finished);
    worker->start();
    const int limitMs = qMax(1, server.timeoutSeconds) * 1000 + BackstopMs;
    if (wait.run(limitMs) != LocalWait::Outcome::Finished) {
        // The library should have ended the exchange at the time-out; stop it now.
        stop->now();
        LocalWait drain;
        drain.endOn(worker.get(), &QThread::finished);
        if (!worker->isFinished())
            drain.run(-1);
    }
    worker->wait();
    TakeThreadHandOff();
    return *outcome;
}
