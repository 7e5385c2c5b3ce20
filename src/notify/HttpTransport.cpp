#include "HttpTransport.h"

#include <curl/curl.h>

namespace {
// The most of an answer kept: enough for an error message, never a whole page.
constexpr qsizetype kAnswerKept = 2048;

size_t KeepAnswer(char *data, size_t size, size_t count, void *user)
{
    auto *answer = static_cast<QByteArray *>(user);
    const qsizetype room = kAnswerKept - answer->size();
    if (room > 0)
        answer->append(data, qMin<qsizetype>(room, qsizetype(size * count)));
    return size * count;
}

int StopWhenAsked(void *user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const auto *abort = static_cast<const std::atomic_bool *>(user);
    return abort && abort->load() ? 1 : 0;
}

struct HeaderList {
    curl_slist *list = nullptr;
    ~HeaderList() { curl_slist_free_all(list); }
};

} // namespace

HttpConnection::HttpConnection() : m_curl(curl_easy_init()) {}

HttpConnection::~HttpConnection()
{
    curl_easy_cleanup(static_cast<CURL *>(m_curl));
}

QString HttpOutcome::summary() const
{
    const QString text = QString::fromUtf8(answer).simplified().left(300);
    if (status == 0)
        return errorText;
    return QStringLiteral("HTTP %1%2")
        .arg(status)
        .arg(text.isEmpty() ? QString() : QStringLiteral(": ") + text);
}

HttpOutcome RunHttpRequest(const HttpRequest &request, const std::atomic_bool *abort)
{
    HttpConnection connection;
    return RunHttpRequest(request, abort, connection);
}

HttpOutcome RunHttpRequest(const HttpRequest &request, const std::atomic_bool *abort, HttpConnection &connection)
{
    HttpOutcome outcome;
    CURL *c = static_cast<CURL *>(connection.handle());
    if (!c) {
        outcome.errorText = QStringLiteral("The HTTP library could not be started.");
        return outcome;
    }
    // The options of the last request go; its open connection stays for this one.
    curl_easy_reset(c);
    HeaderList headers;
    for (const QByteArray &header : request.headers)
        headers.list = curl_slist_append(headers.list, header.constData());
    // Without this libcurl waits a second for "100 Continue" before a larger body.
    headers.list = curl_slist_append(headers.list, "Expect:");
    char errorBuffer[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(c, CURLOPT_URL, request.url.constData());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, long(request.timeoutMs));
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, long(request.timeoutMs));
    curl_easy_setopt(c, CURLOPT_POST, 1L);
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, request.body.constData());
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.body.size()));
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.list);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, KeepAnswer);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &outcome.answer);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, StopWhenAsked);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, abort);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, request.insecure ? 0L : 1L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, request.insecure ? 0L : 2L);
    const CURLcode code = curl_easy_perform(c);
    if (code != CURLE_OK) {
        outcome.errorText =
            errorBuffer[0] ? QString::fromUtf8(errorBuffer) : QString::fromUtf8(curl_easy_strerror(code));
        outcome.answer.clear();
        return outcome;
    }
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    outcome.status = int(status);
    if (!outcome.delivered())
        outcome.errorText = outcome.summary();
    return outcome;
}
