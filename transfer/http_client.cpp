#include "transfer/http_client.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <utility>

#include "transfer/http_response_reader.h"
#include "transfer/tls_stream.h"
#include "transfer/transfer_dialog.h"

namespace orvane {

namespace {

constexpr int kStatusOk = 200;
// Redirects followed for one download; the next one is a failure.
constexpr int kMaxRedirects = 5;
constexpr char kDowngradeFailure[] =
    "Redirect Error: a secure download may not continue without TLS";

// The statuses that say the file is not there: the fallback URL is asked.
bool IsMissingFileStatus(int status) {
    return status == 404 || status == 410;
}

constexpr int kProxyAuthenticationRequired = 407;

// A status that ends the download without a file (redirects are followed;
// a proxy's refusal says so itself).
bool IsMissStatus(int status) {
    return status != 0 && status != kStatusOk && !IsRedirectStatus(status) &&
           status != kProxyAuthenticationRequired;
}

std::string ProxyRefusal(int status, const std::string& reason) {
    return "Proxy Refused: " + std::to_string(status) + (reason.empty() ? "" : " " + reason);
}

const char* FaultText(HttpResponseReader::Fault fault) {
    switch (fault) {
        case HttpResponseReader::Fault::BadChunk:
            return "Chunk Format Error";
        case HttpResponseReader::Fault::CutBody:
            return "Incomplete File Error";
        default:
            return "Header Error";
    }
}

}  // namespace

WaitOutcome ConnectHttpHost(const std::string& host, int defaultPort, const NameLookup& lookup,
                            WakeChannel& wake, int timeoutMs, UniqueFd& connected) {
    auto hostPort = SplitHostPort(host, defaultPort);
    if (!hostPort)
        return WaitOutcome::Failed;
    std::vector<NetAddress> addresses;
    auto found = LookUpHost(hostPort->name, lookup, wake, addresses);
    if (found != WaitOutcome::Done)
        return found;
    return ConnectToFirstAnswering(addresses, hostPort->port, wake, timeoutMs, connected);
}

unsigned CTransferDlg::HttpThreadProc(CTransferDlg* dialog) {
    dialog->m_szStatus.set("Connecting to host...");
    dialog->m_nReceived = dialog->m_nLocalStart;
    dialog->HttpGet({dialog->m_bSecure, dialog->m_szHost, dialog->m_szPath});
    dialog->PublishDone();
    return 1;
}

// The URL the user chose, then each redirect's target in turn; the file
// keeps the name of the first. When the server has no file there, the
// fallback URL is asked once, and the failure names the URL asked last.
int CTransferDlg::HttpGet(HttpTarget target) {
    // -c: the local file's bytes are asked to be continued from the first
    // request on, until the server has proved that they are its file's.
    m_nResumeFrom = m_nLocalStart;
    m_bContinuing = m_nLocalStart > 0;
    m_resume = std::make_unique<ResumePlan>(retries, retryWaitsMs);
    m_resume->StartAt(m_nLocalStart);
    HttpTarget fallback = target;
    fallback.path = m_szFallbackPath;
    bool fallbackLeft = !m_szFallbackPath.empty();
    for (int redirects = 0;; ++redirects) {
        std::string location;
        m_nHttpStatus = 0;
        HttpExchange exchange = FetchHttpTarget(target, location);
        while (exchange == HttpExchange::Failed && ShouldResume())
            exchange = ResumeHttp(target, location);
        if (exchange == HttpExchange::Failed && IsMissingFileStatus(m_nHttpStatus) &&
            fallbackLeft) {
            fallbackLeft = false;
            m_bFailed = 0;
            target = fallback;
            continue;
        }
        // A 206 whose body was the file's and was cut is no miss.
        if (exchange == HttpExchange::Failed && IsMissStatus(m_nHttpStatus) && !m_bStoreBody &&
            m_szError.get() != kContinueRefusal)
            return FailHttp("File Not Found: " + target.url());
        if (exchange != HttpExchange::Redirected)
            return exchange == HttpExchange::Stored ? 1 : 0;
        if (redirects == kMaxRedirects)
            return FailHttp("Too Many Redirects (more than 5)");
        auto next = ResolveRedirect(target, location);
        if (!next)
            return FailHttp("Redirect Error");
        // Nothing on the path may take a download out of TLS.
        if (target.secure && !next->secure)
            return FailHttp(kDowngradeFailure);
        target = *next;
    }
}

CTransferDlg::HttpExchange CTransferDlg::FetchHttpTarget(const HttpTarget& target,
                                                         std::string& location) {
    m_bConnectionLost = false;
    m_bAskWhole = false;
    ProxyRoute route;
    if (m_knownRoute)
        route = *std::exchange(m_knownRoute, std::nullopt);
    else if (FindProxyRoute(target.url(), route) == WaitOutcome::Stopped)
        return HttpExchange::Stopped;
    if (route.kind == ProxyRoute::Kind::Unusable)
        return FailExchange(UnusableProxyText(route));
    bool viaProxy = route.kind == ProxyRoute::Kind::Http;
    m_szStatus.set(viaProxy ? "Connecting to proxy " + route.host + "..."
                            : std::string("Connecting to host..."));
    UniqueFd socket;
    auto connected = ConnectHttpHost(viaProxy ? route.host : target.host, target.defaultPort(),
                                     nameLookup, m_wake, connectTimeoutMs, socket);
    if (connected == WaitOutcome::Stopped)
        return HttpExchange::Stopped;
    // On a resumed try a server out of reach is one more lost connection.
    m_bConnectionLost = connected == WaitOutcome::Failed;
    if (connected == WaitOutcome::Failed)
        return FailExchange(viaProxy ? "Can't connect to proxy " + route.host
                                     : std::string("Can't connect to server"));
    HttpExchange opened = HttpExchange::Stored;
    if (viaProxy && target.secure && !OpenTunnel(socket, target, route, opened))
        return opened;
    std::unique_ptr<ByteStream> stream = OpenHttpStream(std::move(socket), target, opened);
    if (!stream)
        return opened;
    long sent = stream->Send(FormatHttpRequest(target, userAgent, route, ResumeFields()));
    if (sent == ByteStream::kStopped)
        return HttpExchange::Stopped;
    m_bConnectionLost = sent < 0;
    if (sent < 0)
        return FailExchange("Send Command Error");
    // Through a proxy the status names it for as long as the body comes.
    m_szStatus.set(viaProxy ? "Receiving data through proxy " + route.host + "..."
                            : std::string("Receiving data..."));
    return ReceiveHttpResponse(*stream, location);
}

// The proxy's route for the URL, asked off the worker: a desktop's proxy
// configuration may take its time, and Cancel must not wait for it.
WaitOutcome CTransferDlg::FindProxyRoute(const std::string& url, ProxyRoute& route) {
    auto answers = std::make_shared<std::vector<std::string>>();
    auto lookup = proxyLookup;
    if (RunAbandonable([answers, lookup, url] { *answers = lookup(url); }, m_wake) ==
        WaitOutcome::Stopped)
        return WaitOutcome::Stopped;
    route = ChooseProxyRoute(*answers);
    return WaitOutcome::Done;
}

// CONNECT through the proxy; true once it has answered 2xx, after which the
// socket carries the TLS session to the origin.
bool CTransferDlg::OpenTunnel(UniqueFd& socket, const HttpTarget& target, const ProxyRoute& route,
                              HttpExchange& outcome) {
    SocketStream stream(std::move(socket), &m_wake);
    long sent = stream.Send(FormatConnectRequest(target, userAgent, route));
    HttpResponseReader reader([](std::string_view) {});
    while (sent >= 0 && reader.status() == 0) {
        long got = stream.Receive(m_buffer.data(), m_buffer.size());
        if (got == ByteStream::kStopped) {
            outcome = HttpExchange::Stopped;
            return false;
        }
        if (got <= 0 || (got > 0 && reader.feed({m_buffer.data(), std::size_t(got)}) ==
                                        HttpResponseReader::State::Invalid))
            break;
    }
    if (sent == ByteStream::kStopped) {
        outcome = HttpExchange::Stopped;
        return false;
    }
    if (reader.status() / 100 != 2) {
        outcome =
            FailExchange(reader.status() == 0 ? "Proxy Refused: no answer to CONNECT"
                                              : ProxyRefusal(reader.status(), reader.reason()));
        return false;
    }
    socket = stream.TakeSocket();
    return true;
}

// A plain socket for http://; for https:// a TLS session whose handshake has
// verified the server's certificate. Null (with the outcome) when the
// session did not come about.
std::unique_ptr<ByteStream> CTransferDlg::OpenHttpStream(UniqueFd socket, const HttpTarget& target,
                                                         HttpExchange& outcome) {
    if (!target.secure)
        return std::make_unique<SocketStream>(std::move(socket), &m_wake);
    auto trust = LoadTrust(outcome);
    if (!trust)
        return nullptr;
    auto stream = std::make_unique<TlsStream>(std::move(socket), &m_wake, std::move(trust));
    stream->SetSilenceLimit(silenceLimitMs);
    auto handshake = stream->Start(SplitHostPort(target.host, target.defaultPort())->name);
    switch (handshake) {
        case TlsStream::Handshake::Done:
            return stream;
        case TlsStream::Handshake::Stopped:
            outcome = HttpExchange::Stopped;
            break;
        case TlsStream::Handshake::Silent:
            outcome = FailExchange(SilenceText());
            break;
        case TlsStream::Handshake::Refused:
        case TlsStream::Handshake::Failed:
            outcome = FailExchange(stream->failure());
            break;
    }
    // A session cut or silent before it was made is a lost connection, which
    // a resumed try may try again; a refused certificate never is.
    m_bConnectionLost =
        handshake == TlsStream::Handshake::Failed || handshake == TlsStream::Handshake::Silent;
    return nullptr;
}

// The trust the certificate is checked against, read once per process; a
// Cancel during the read frees the worker at once.
std::shared_ptr<TlsTrust> CTransferDlg::LoadTrust(HttpExchange& outcome) {
    std::shared_ptr<TlsTrust> trust;
    std::string failure;
    if (TlsTrust::Obtain(extraAuthorityFile, m_wake, trust, failure) == WaitOutcome::Stopped)
        outcome = HttpExchange::Stopped;
    else if (!trust)
        outcome = FailExchange(failure);
    return trust;
}

// The body goes to the file as it arrives, and only a 200 answer's body. The
// response ends where its framing says; a redirect or another status ends
// it as soon as its header is read.
CTransferDlg::HttpExchange CTransferDlg::ReceiveHttpResponse(ByteStream& stream,
                                                             std::string& location) {
    m_nReceived = m_nResumeFrom;
    if (m_nResumeFrom == 0)
        m_nExpected = 0;
    m_bHttpWriteFailed = false;
    m_bConnectionLost = false;
    m_bAskWhole = false;
    m_bStoreBody = false;
    m_bodyStep.reset();
    m_bResumedRequest = m_nResumeFrom > 0;
    HttpResponseReader reader([this, &reader](std::string_view body) {
        if (DecideBody(reader))
            StoreBody(body);
    });
    bool judged = false;
    std::optional<HttpExchange> ended;
    stream.SetSilenceLimit(silenceLimitMs);
    while (!ended) {
        long got = stream.Receive(m_buffer.data(), m_buffer.size());
        if (got == ByteStream::kStopped)
            ended = HttpExchange::Stopped;
        else if (got == ByteStream::kSilent)
            ended = FailExchange(SilenceText());
        else if (got < 0)
            ended = FailExchange("Read Error");
        else
            ended = TakeResponseBytes(reader, static_cast<std::size_t>(got), judged, location);
        if (got > 0)
            m_bServerAnswered = true;
        // A reset, a silence or a close before the header's or the body's
        // end: the bytes so far may be continued.
        bool cut = got < 0 || reader.fault() == HttpResponseReader::Fault::CutBody ||
                   (!judged && got == 0);
        if (ended == HttpExchange::Failed && cut && (m_bStoreBody || !judged) &&
            !m_bHttpWriteFailed)
            m_bConnectionLost = true;
    }
    stream.Close();
    return *ended;
}

// One receive's bytes (none: the server closed): the outcome once the
// response has ended, nullopt while it goes on.
std::optional<CTransferDlg::HttpExchange> CTransferDlg::TakeResponseBytes(
    HttpResponseReader& reader, std::size_t count, bool& judged, std::string& location) {
    auto state = count == 0 ? reader.finish() : reader.feed({m_buffer.data(), count});
    if (!judged && reader.status() != 0) {
        judged = true;
        if (auto verdict = JudgeStatus(reader, location))
            return verdict;
        if (m_nResumeFrom == 0)
            m_nExpected = std::max<std::int64_t>(reader.contentLength(), 0);
    }
    if (judged)
        SetProgress(m_nReceived, m_nExpected, m_nExpected != 0);
    // A file that takes no more bytes (a full disk) ends the receive: the
    // rest of a long body would only be read to be thrown away.
    if (m_bHttpWriteFailed)
        return FailExchange("Write File Error");
    if (state == HttpResponseReader::State::Invalid)
        return FailExchange(FaultText(reader.fault()));
    if (state == HttpResponseReader::State::NeedMore)
        return std::nullopt;
    if (!m_pFile || !m_pFile->Flush())
        return FailExchange("Write File Error");
    // Parts joined must make the whole: never a file shorter or longer.
    if (m_nExpected != 0 && m_nReceived != m_nExpected)
        return FailExchange("Incomplete File Error");
    return HttpExchange::Stored;
}

// A 200 answer is stored; a redirect is followed; anything else is a file
// that is not there.
std::optional<CTransferDlg::HttpExchange> CTransferDlg::JudgeStatus(
    const HttpResponseReader& reader, std::string& location) {
    m_nHttpStatus = reader.status();
    // A redirect is followed whatever was asked; the Range goes along.
    if (m_bResumedRequest && !IsRedirectStatus(reader.status()))
        return JudgeResumedAnswer(reader);
    if (DecideBody(reader))
        return std::nullopt;
    if (reader.status() == kProxyAuthenticationRequired)
        return FailExchange(ProxyRefusal(reader.status(), reader.reason()));
    if (!IsRedirectStatus(reader.status()))
        return FailExchange("File Not Found");
    location = reader.field("Location").value_or("");
    return HttpExchange::Redirected;
}

// The answer to a Range request: the rest of the same file appends; the
// whole file again (200) starts the file anew; anything that does not prove
// the same file asks for it whole; a miss ends the download.
std::optional<CTransferDlg::HttpExchange> CTransferDlg::JudgeResumedAnswer(
    const HttpResponseReader& reader) {
    DecideBody(reader);
    if (m_bHttpWriteFailed)
        return FailExchange("Write File Error");
    if (m_bStoreBody)
        return std::nullopt;
    switch (*m_bodyStep) {
        case ResumeStep::Append:
        case ResumeStep::TakeWhole:
            return std::nullopt;
        case ResumeStep::AskAgainWhole:
            m_bAskWhole = true;
            return FailExchange("Incomplete File Error");
        case ResumeStep::Fail:
            break;
    }
    // -c: an answer about the file that does not prove the local one.
    int status = reader.status();
    if (m_bContinuing && (status == kStatusOk || status == 206 || status == 416))
        return FailExchange(kContinueRefusal);
    return FailExchange("File Not Found");
}

// Whether the body of the response is the file's, decided once, as soon as
// the status is known (the first body bytes may come with the header): a
// 200 is the whole file (a partial one is emptied first), a 206 continues
// it when it proves the same file.
bool CTransferDlg::DecideBody(const HttpResponseReader& reader) {
    if (m_bodyStep)
        return m_bStoreBody;
    FileIdentity answer{reader.field("ETag").value_or(""),
                        reader.field("Last-Modified").value_or(""), reader.contentLength()};
    if (m_nResumeFrom == 0) {
        m_bodyStep = reader.status() == kStatusOk ? ResumeStep::TakeWhole : ResumeStep::Fail;
    } else if (m_bContinuing) {
        m_bodyStep = ContinueProved(reader) ? ResumeStep::Append : ResumeStep::Fail;
    } else {
        auto range = ParseContentRange(reader.field("Content-Range").value_or(""));
        m_bodyStep = m_resume->JudgeHttp(reader.status(), range, answer, m_nResumeFrom);
    }
    m_bStoreBody = *m_bodyStep == ResumeStep::Append || *m_bodyStep == ResumeStep::TakeWhole;
    if (*m_bodyStep != ResumeStep::TakeWhole)
        return m_bStoreBody;
    if (m_nResumeFrom > 0 && (!m_pFile || !m_pFile->Truncate()))
        m_bHttpWriteFailed = true;
    m_resume->Remember(answer);
    m_nResumeFrom = 0;
    m_nReceived = 0;
    m_nExpected = 0;
    return m_bStoreBody;
}

// The local file of -c continues only with a 206 that starts where it ends
// and runs to the end of a longer file, and names the file with a validator
// (a strong ETag or a Last-Modified) that every later try must match.
bool CTransferDlg::ContinueProved(const HttpResponseReader& reader) {
    constexpr int kPartialContent = 206;
    auto range = ParseContentRange(reader.field("Content-Range").value_or(""));
    FileIdentity answer{reader.field("ETag").value_or(""),
                        reader.field("Last-Modified").value_or(""), -1};
    if (answer.etag.rfind("W/", 0) == 0)
        answer.etag.clear();
    if (reader.status() != kPartialContent || !range || range->first != m_nResumeFrom ||
        range->total <= m_nResumeFrom || range->last != range->total - 1 ||
        (answer.etag.empty() && answer.lastModified.empty()))
        return false;
    answer.total = range->total;
    m_resume->Remember(answer);
    m_nExpected = range->total;
    m_bContinuing = false;
    return true;
}

// After a lost connection (the server had sent bytes in some try), or an
// answer that could not continue the file.
bool CTransferDlg::ShouldResume() const {
    return m_resume && m_resume->TryLeft(m_nReceived) &&
           ((m_bConnectionLost && m_bServerAnswered) || m_bAskWhole);
}

// Waits, tells why, and asks again: for the rest of the file when the first
// answer gave its length, else (or when the file proved another) for all.
CTransferDlg::HttpExchange CTransferDlg::ResumeHttp(const HttpTarget& target,
                                                    std::string& location) {
    std::int64_t have = m_bAskWhole ? 0 : m_nReceived.load();
    int waitMs = m_resume->Advance(m_nReceived);
    m_szStatus.set(ResumeStatusText(m_nReceived, m_resume->remembered().total,
                                    m_resume->tryNumber(), m_resume->totalTries()));
    if (!WaitBeforeRetry(waitMs))
        return HttpExchange::Stopped;
    m_bFailed = 0;
    m_szError.set("");
    m_nResumeFrom = m_bContinuing || m_resume->CanAskRange(have) ? have : 0;
    if (!m_pFile || !m_pFile->Flush() || (m_nResumeFrom == 0 && !m_pFile->Truncate()))
        return FailExchange("Write File Error");
    // The count always says what the file holds, also when this try
    // cannot even connect.
    m_nReceived = m_nResumeFrom;
    return FetchHttpTarget(target, location);
}

// The wait between tries; false when Cancel ends it.
bool CTransferDlg::WaitBeforeRetry(int waitMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return !m_wake.StopRequested();
        if (m_wake.Wait(static_cast<int>(left.count())) == WakeChannel::WaitResult::Stopped)
            return false;
    }
}

// Range and If-Range for a resumed request; none for the first.
std::string CTransferDlg::ResumeFields() const {
    if (m_nResumeFrom == 0)
        return "";
    std::string fields = "Range: bytes=" + std::to_string(m_nResumeFrom) + "-\r\n";
    std::string validator = m_resume->IfRangeValue();
    return validator.empty() ? fields : fields + "If-Range: " + validator + "\r\n";
}

void CTransferDlg::StoreBody(std::string_view bytes) {
    m_nReceived += static_cast<std::int64_t>(bytes.size());
    if (m_pFile == nullptr)
        m_bHttpWriteFailed = true;
    if (!m_bHttpWriteFailed && !m_pFile->Write(bytes))
        m_bHttpWriteFailed = true;
}

int CTransferDlg::FailHttp(const std::string& text) {
    Fail(text);
    return 0;
}

CTransferDlg::HttpExchange CTransferDlg::FailExchange(const std::string& text) {
    Fail(text);
    return HttpExchange::Failed;
}

}  // namespace orvane
