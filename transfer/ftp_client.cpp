#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "platform/ascii_text.h"
#include "platform/console.h"
#include "platform/hex_digit.h"
#include "transfer/ftp_verbs.h"
#include "transfer/socket_relay.h"
#include "transfer/transfer_dialog.h"

namespace orvane {

namespace {

constexpr int kFtpPort = 21;
constexpr int kPollMs = 250;
// No NUL, CR or LF: each would end the command line early.
bool IsSafeCommandText(const std::string& text) {
    return text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

}  // namespace

std::string FormatPortLine(in_addr localAddress, int port) {
    std::uint32_t address = ntohl(localAddress.s_addr);
    return formatText("PORT %d,%d,%d,%d,%d,%d", int(address >> 24), int((address >> 16) & 0xFF),
                      int((address >> 8) & 0xFF), int(address & 0xFF), (port >> 8) & 0xFF,
                      port & 0xFF);
}

std::string FormatActiveLine(const NetAddress& local, int port) {
    if (local.family() != AF_INET6)
        return FormatPortLine(reinterpret_cast<const sockaddr_in*>(&local.storage)->sin_addr, port);
    return formatText("EPRT |2|%s|%d|", local.text().c_str(), port);
}

int ParseExtendedPassivePort(const std::string& reply) {
    // "229 Entering Extended Passive Mode (|||6446|)": any delimiter, the
    // same one four times (RFC 2428).
    auto open = reply.find('(');
    if (open == std::string::npos || open + 4 >= reply.size())
        return 0;
    char delimiter = reply[open + 1];
    if (reply.compare(open + 1, 3, std::string(3, delimiter)) != 0)
        return 0;
    std::size_t digits = open + 4, end = reply.find(delimiter, digits);
    if (end == std::string::npos || end == digits || end - digits > 5)
        return 0;
    int port = 0;
    for (std::size_t at = digits; at < end; ++at) {
        if (reply[at] < '0' || reply[at] > '9')
            return 0;
        port = port * 10 + (reply[at] - '0');
    }
    return port >= 1 && port <= 65535 ? port : 0;
}

std::int64_t ParseReplySize(const std::string& reply) {
    auto open = reply.find('(');
    if (open == std::string::npos)
        return 0;
    std::int64_t value = 0;
    std::size_t end = std::min(reply.size(), open + 1 + 20);
    for (std::size_t at = open + 1; at < end; ++at) {
        char c = reply[at];
        if (c == ')' || c == '\0')
            break;
        if (c == ' ' || c == ',')
            continue;
        if (c < '0' || c > '9')
            break;
        value = value > (INT64_MAX - 9) / 10 ? INT64_MAX : value * 10 + (c - '0');
    }
    return value;
}

std::int64_t ParseSizeReply(int code, const std::string& reply) {
    constexpr int kFileStatus = 213;
    if (code != kFileStatus || reply.size() < 5)
        return -1;
    std::int64_t value = 0;
    std::size_t at = 4, end = reply.find_first_of("\r\n", at);
    end = end == std::string::npos ? reply.size() : end;
    if (at == end || end - at > 18)
        return -1;
    for (; at < end; ++at) {
        if (!isAsciiDigit(reply[at]))
            return -1;
        value = value * 10 + (reply[at] - '0');
    }
    return value;
}

int ParsePassivePort(const std::string& reply) {
    // The numbers begin at the first digit after the code (RFC 1123, 4.1.2.6).
    auto first = reply.find_first_of("0123456789", std::min<std::size_t>(reply.size(), 4));
    if (first == std::string::npos)
        return 0;
    int h[6] = {};
    if (std::sscanf(reply.c_str() + first, "%d,%d,%d,%d,%d,%d", &h[0], &h[1], &h[2], &h[3], &h[4],
                    &h[5]) != 6)
        return 0;
    for (int part : h)
        if (part < 0 || part > 255)
            return 0;
    return h[4] * 256 + h[5];
}

std::string DecodeUrlPath(const std::string& path) {
    auto hex = hexDigitValue;
    std::string decoded;
    for (std::size_t at = 0; at < path.size(); ++at) {
        if (path[at] == '%' && at + 2 < path.size() && hex(path[at + 1]) >= 0 &&
            hex(path[at + 2]) >= 0) {
            decoded += static_cast<char>(hex(path[at + 1]) * 16 + hex(path[at + 2]));
            at += 2;
        } else {
            decoded += path[at];
        }
    }
    return decoded;
}

std::int64_t CTransferDlg::NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Worker side.

unsigned CTransferDlg::FtpThreadProc(CTransferDlg* dialog) {
    dialog->m_szStatus.set("Connecting to host...");
    dialog->m_bNotFound = 0;
    dialog->m_bLoginFailed = 0;
    dialog->m_bLoggedIn = 0;
    dialog->m_nReceived = 0;
    dialog->m_nLastByteAtMs = NowMs();
    dialog->host_.ActiveTransfer() = dialog;
    dialog->RunFtp();
    dialog->PublishDone();
    return 1;
}

// Active mode first; passive once when active cannot work; for a listing,
// NLST once when LIST is not understood; the fallback path once, in a new
// session, when the server has no file at the path; after a lost
// connection the next try in a new session, with REST where the file ends.
void CTransferDlg::RunFtp() {
    std::string asked = m_szPath;
    std::string path = DecodeUrlPath(asked);
    // An escaped line end would end the command and start another.
    if (!IsSafeCommandText(path) || !IsSafeCommandText(DecodeUrlPath(m_szFallbackPath))) {
        Fail("Error: Can't parse host and file name");
        return;
    }
    if (!m_bListing && TookProxyRoute())
        return;
    m_resume = std::make_unique<ResumePlan>(m_bListing ? 0 : retries, retryWaitsMs);
    m_resume->StartAt(m_bListing ? 0 : m_nLocalStart);
    m_nFtpFileSize = -1;
    m_nFtpRestAt = m_bListing ? 0 : m_nLocalStart;
    m_nReceived = m_nFtpRestAt.load();
    bool sessionOpen = OpenSession();
    bool passive = false, nameList = false, fallbackLeft = !m_szFallbackPath.empty();
    for (;;) {
        if (!sessionOpen) {
            if (FtpTryWasCut(Attempt::Unconfirmed) && ResumeFtp(sessionOpen))
                continue;
            return;
        }
        std::string verb = nameList ? "NLST " : m_bListing ? "LIST " : "RETR ";
        Attempt attempt = RunAttempt(passive, verb + path);
        if ((attempt == Attempt::Passive || attempt == Attempt::PassiveNewSession) && !passive) {
            passive = true;
            if (attempt == Attempt::PassiveNewSession && !RestartSession())
                return;
            continue;
        }
        if (attempt == Attempt::NameList && m_bListing && !nameList) {
            nameList = true;
            continue;
        }
        if (attempt == Attempt::Done && m_bNotFound && !m_bFailed && fallbackLeft) {
            fallbackLeft = false;
            asked = m_szFallbackPath;
            path = DecodeUrlPath(asked);
            // A fresh session: nothing of the refused command's data
            // connection can reach the next one.
            if (!RestartSession())
                return;
            continue;
        }
        if (FtpTryWasCut(attempt)) {
            if (ResumeFtp(sessionOpen))
                continue;
            if (m_wake.StopRequested())
                return;
        }
        JudgeAttempt(attempt, asked);
        return;
    }
}

// The proxy a file's URL goes through, when there is one: as curl and wget
// do, GET ftp://... of the HTTP proxy. True when the transfer has ended so
// (or could not start, or was cancelled).
bool CTransferDlg::TookProxyRoute() {
    ProxyRoute route;
    if (FindProxyRoute("ftp://" + m_szHost + m_szPath, route) == WaitOutcome::Stopped)
        return true;
    if (route.kind == ProxyRoute::Kind::Unusable) {
        Fail(UnusableProxyText(route));
        return true;
    }
    if (route.kind != ProxyRoute::Kind::Http)
        return false;
    m_knownRoute = route;
    HttpGet({false, m_szHost, m_szPath, true});
    return true;
}

// A try that lost its connection after the server had sent bytes of the
// file (a reset or a silence on the data connection, a 426 or 451, a data
// connection closed short of the size, a control connection gone), or a
// resumed try that could not connect at all, while tries are left.
bool CTransferDlg::FtpTryWasCut(Attempt attempt) const {
    if (!m_resume || !m_resume->TryLeft(m_nReceived) || attempt == Attempt::Stopped ||
        m_bNotFound || m_bLoginFailed || m_bFtpRefused || !m_bServerAnswered ||
        m_wake.StopRequested())
        return false;
    if (m_bFtpCut || attempt == Attempt::Unconfirmed)
        return true;
    if (m_bFailed)
        return false;
    std::string reply = m_szFinalReply.get();
    if (m_bFinalReply && !m_bFinalOk)
        return reply.rfind("426", 0) == 0 || reply.rfind("451", 0) == 0;
    std::int64_t expected = m_nExpected;
    return m_bFinalOk && expected > 0 && m_nReceived < expected;
}

// The wait, then a new session whose transfer continues the file where it
// ends (REST) when the first try's SIZE names the file, else from byte 0.
bool CTransferDlg::ResumeFtp(bool& sessionOpen) {
    int waitMs = m_resume->Advance(m_nReceived);
    m_szStatus.set(ResumeStatusText(m_nReceived,
                                    m_nFtpFileSize > 0 ? m_nFtpFileSize.load() : m_nExpected.load(),
                                    m_resume->tryNumber(), m_resume->totalTries()));
    PostToUi([this] {
        if (m_bBusy)
            ShowProgressTexts();
    });
    if (!WaitBeforeRetry(waitMs) || !ResetAndWait())
        return false;
    m_bFailed = 0;
    m_bFtpCut = 0;
    m_szError.set("");
    if (!PrepareFtpFile())
        return false;
    m_szStatus.set("Connecting to host...");
    sessionOpen = OpenSession();
    return sessionOpen || !m_wake.StopRequested();
}

// After the old session is gone (no byte can reach the file any more): the
// file is kept for a REST when the server's SIZE can tell whether it is the
// same file, else emptied.
bool CTransferDlg::PrepareFtpFile() {
    std::int64_t have = m_nReceived, size = m_nFtpFileSize;
    m_nFtpRestAt = have > 0 && size > have ? have : 0;
    if (m_nFtpRestAt == 0 && (!m_pFile || !m_pFile->Flush() || !m_pFile->Truncate())) {
        Fail("Write File Error");
        return false;
    }
    m_nReceived = m_nFtpRestAt.load();
    return true;
}

// The session is closed on the user-interface thread; true once it is.
bool CTransferDlg::ResetAndWait() {
    m_bSessionReset = 0;
    PostToUi([this] { ResetSession(); });
    return WaitForFlags([this] { return m_bSessionReset.load() != 0; }, -1);
}

bool CTransferDlg::OpenSession() {
    m_nLastByteAtMs = NowMs();
    auto control = OpenStreamSocket(m_szHost, kFtpPort);
    if (!control) {
        if (!m_wake.StopRequested())
            m_bFailed = 1;
        return false;
    }
    // A line and its CR LF go out in two sends: without this the second
    // waits for the server's delayed ACK of the first (40 ms a command).
    // Without it the transfer still works, only slower: no failure.
    int one = 1;
    [[maybe_unused]] bool noDelay =
        ::setsockopt(control->fd(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one) == 0;
    {
        std::lock_guard guard(m_socketLock);
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        if (::getpeername(control->fd(), reinterpret_cast<sockaddr*>(&peer), &length) != 0) {
            Fail("Socket Error: getpeername()");
            return false;
        }
        m_controlPeer = AddressFrom(peer, length);
        m_ctrlSocket = std::make_unique<FtpSocket>();
        m_ctrlSocket->stream = std::move(control);
    }
    AskForNotifications();
    if (!WaitForControlDrain())
        return false;
    AppendCommand("USER anonymous");
    AppendCommand("PASS FtpGuest01@");
    return LoginWait();
}

// The server took a PORT and then never connected: the session is closed
// on the user-interface thread and a new one opened for the passive try.
bool CTransferDlg::RestartSession() {
    if (!ResetAndWait())
        return false;
    m_szStatus.set("Connecting to host...");
    return OpenSession();
}

CTransferDlg::Attempt CTransferDlg::RunAttempt(bool passive, const std::string& command) {
    m_nRetry = kNoRetry;
    m_bFinalReply = 0;
    m_bFinalOk = 0;
    m_bOpened = 0;
    m_bDataConnected = 0;
    m_bDataDone = 0;
    m_nPassivePort = 0;
    m_bPassive = passive ? 1 : 0;
    m_szStatus.set(passive ? "Receiving data (passive mode)..."
                           : "Receiving data (active mode)...");
    // Shown at once: a small file may be done before the next tick.
    PostToUi([this] {
        if (m_bBusy)
            ShowProgressTexts();
    });
    if (!passive) {
        if (!BeginRetrieve(command)) {
            m_bFailed = 1;
            return Attempt::Done;
        }
    } else if (auto ended = BeginPassive(command)) {
        return *ended;
    }
    return AwaitAttempt();
}

// PASV (EPSV over IPv6, and over IPv4 when PASV is refused, RFC 2428),
// then the data connection to the control connection's peer at the port
// the reply names (a 227 reply's address is not used: behind NAT it is
// often a private one), then the type and the command.
std::optional<CTransferDlg::Attempt> CTransferDlg::BeginPassive(const std::string& command) {
    AppendCommand(m_controlPeer.family() == AF_INET6 ? "EPSV" : "PASV");
    auto answered = [this] {
        return m_nPassivePort != 0 || m_bFinalReply || m_nRetry != kNoRetry || m_bControlClosed ||
               m_bFailed || SilentTooLong();
    };
    if (!WaitForFlags(answered, -1))
        return Attempt::Stopped;
    if (m_nRetry == kRetryExtendedPassive) {
        m_nRetry = kNoRetry;
        AppendCommand("EPSV");
        if (!WaitForFlags(answered, -1))
            return Attempt::Stopped;
    }
    if (!m_bFailed && m_nPassivePort == 0 && !m_bFinalReply && SilentTooLong()) {
        m_bFtpCut = 1;
        Fail(SilenceText());
    }
    if (m_bFailed)
        return Attempt::Done;
    if (m_nPassivePort == 0)
        return m_bFinalReply ? Attempt::Done : Attempt::Unconfirmed;
    NetAddress peer = m_controlPeer.WithPort(m_nPassivePort);
    UniqueFd socket(::socket(peer.family(), SOCK_STREAM | SOCK_CLOEXEC, 0));
    auto connected = socket.valid() ? ConnectSocket(socket.get(), peer, m_wake, connectTimeoutMs)
                                    : WaitOutcome::Failed;
    if (connected == WaitOutcome::Stopped)
        return Attempt::Stopped;
    if (connected == WaitOutcome::Failed) {
        Fail(formatText("Cannot connect to %s:%d", m_controlPeer.text().c_str(),
                        m_nPassivePort.load()));
        return Attempt::Done;
    }
    auto connection = std::make_shared<UniqueFd>(std::move(socket));
    PostToUi([this, connection] { AdoptDataConnection(std::move(*connection)); });
    QueueTransferCommand(command);
    return std::nullopt;
}

CTransferDlg::Attempt CTransferDlg::AwaitAttempt() {
    bool ended = WaitForFlags(
        [this] {
            return m_nRetry != kNoRetry || m_bNotFound || m_bFailed ||
                   (m_bFinalReply && (m_bDataDone || !m_bFinalOk)) || m_bControlClosed ||
                   DataConnectOverdue() || FinalReplyOverdue() || SilentTooLong();
        },
        -1);
    if (!ended)
        return Attempt::Stopped;
    if (SilentTooLong() && !m_bFailed && !m_bFinalReply) {
        m_bFtpCut = 1;
        Fail(SilenceText());
        return Attempt::Done;
    }
    if (m_nRetry == kRetryPassive)
        return Attempt::Passive;
    if (m_nRetry == kRetryNameList)
        return Attempt::NameList;
    if (m_bFailed || m_bNotFound || m_bFinalReply)
        return Attempt::Done;
    return DataConnectOverdue() ? Attempt::PassiveNewSession : Attempt::Unconfirmed;
}

bool CTransferDlg::SilentTooLong() const {
    return silenceLimitMs >= 0 && NowMs() - m_nLastByteAtMs > silenceLimitMs;
}

std::string CTransferDlg::SilenceText() const {
    return formatText("Connection Timed Out: nothing from the server for %g s",
                      silenceLimitMs / 1000.0);
}

bool CTransferDlg::DataConnectOverdue() const {
    return !m_bPassive && m_bOpened && !m_bDataConnected &&
           NowMs() - m_nOpenedAtMs > dataConnectTimeoutMs;
}

bool CTransferDlg::FinalReplyOverdue() const {
    return m_bDataDone && !m_bFinalReply && NowMs() - m_nDataDoneAtMs > finalReplyTimeoutMs;
}

// A download is good only when the data connection has closed and the
// server's final reply is a 2xx with no fewer bytes than its 150 reply
// announced.
void CTransferDlg::JudgeAttempt(Attempt attempt, const std::string& asked) {
    if (attempt == Attempt::Stopped || m_bFailed)
        return;
    if (m_bNotFound) {
        Fail("File Not Found: ftp://" + m_szHost + asked);
        return;
    }
    if (attempt == Attempt::Unconfirmed) {
        Fail("Transfer failed: the server did not confirm the transfer");
        return;
    }
    std::string reply = m_szFinalReply.get();
    if (!m_bFinalOk) {
        Fail("Transfer failed: " + reply);
        return;
    }
    std::int64_t expected = m_nExpected, received = m_nReceived;
    // With the SIZE known, a longer file is as wrong as a shorter one.
    if (expected > 0 && (received < expected || (m_nFtpSize > 0 && received != expected)))
        Fail(formatText("Transfer incomplete: %lld of %lld bytes (%s)",
                        static_cast<long long>(received), static_cast<long long>(expected),
                        reply.c_str()));
}

std::unique_ptr<ByteStream> CTransferDlg::OpenStreamSocket(const std::string& host,
                                                           int defaultPort) {
    std::string name = host.substr(std::min(host.find_first_not_of(' '), host.size()));
    auto hostPort = SplitHostPort(name, defaultPort);
    std::vector<NetAddress> addresses;
    if (!ResolveFtpHost(name, hostPort, addresses))
        return nullptr;
    UniqueFd socket;
    auto connected =
        ConnectToFirstAnswering(addresses, hostPort->port, m_wake, connectTimeoutMs, socket);
    if (connected == WaitOutcome::Stopped)
        return nullptr;
    if (connected == WaitOutcome::Failed) {
        m_szError.set(formatText("Cannot connect to %s", name.c_str()));
        return nullptr;
    }
    return std::make_unique<SocketStream>(std::move(socket), nullptr);
}

// An address (IPv4, or IPv6 in brackets) is used without a lookup, and a
// name that begins with a digit must be one; any other is looked up. False
// with m_szError set (or on Cancel).
bool CTransferDlg::ResolveFtpHost(const std::string& name, const std::optional<HostPort>& hostPort,
                                  std::vector<NetAddress>& addresses) {
    if (!hostPort) {
        m_szError.set(formatText("Error: Connecting to %s.", name.c_str()));
        return false;
    }
    if (isAsciiDigit(hostPort->name[0]) && !ParseAddressLiteral(hostPort->name)) {
        m_szError.set(formatText("Cannot connect to %s", name.c_str()));
        return false;
    }
    auto found = LookUpHost(hostPort->name, nameLookup, m_wake, addresses);
    if (found == WaitOutcome::Failed)
        m_szError.set(formatText("Error: Connecting to %s.", name.c_str()));
    return found == WaitOutcome::Done;
}

// On the control connection's own local address: the address that the
// PORT or EPRT line names.
UniqueFd CTransferDlg::OpenListenSocket(const NetAddress& local) {
    UniqueFd socket(::socket(local.family(), SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket.valid()) {
        m_szError.set("Error opening stream socket");
        return socket;
    }
    NetAddress any = local.WithPort(0);
    if (::bind(socket.get(), any.get(), any.length) != 0) {
        m_szError.set("Cannot bind to 0");
        socket.reset();
    }
    return socket;
}

int CTransferDlg::BeginRetrieve(const std::string& command) {
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    {
        std::lock_guard guard(m_socketLock);
        if (!m_ctrlSocket ||
            ::getsockname(m_ctrlSocket->fd(), reinterpret_cast<sockaddr*>(&local), &length) != 0) {
            m_szError.set("Socket Error: getsockname()");
            return 0;
        }
    }
    NetAddress localAddress = AddressFrom(local, length);
    UniqueFd listener = OpenListenSocket(localAddress);
    if (!listener.valid())
        return 0;
    if (::listen(listener.get(), 3) != 0 || !SetNonBlocking(listener.get())) {
        m_szError.set("Socket Error: listen()");
        return 0;
    }
    sockaddr_storage listening{};
    length = sizeof listening;
    if (::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&listening), &length) != 0) {
        m_szError.set("Socket Error: getsockname()");
        return 0;
    }
    int port = ntohs(listening.ss_family == AF_INET6
                         ? reinterpret_cast<sockaddr_in6*>(&listening)->sin6_port
                         : reinterpret_cast<sockaddr_in*>(&listening)->sin_port);
    {
        std::lock_guard guard(m_socketLock);
        m_listenSocket = std::make_unique<FtpSocket>();
        m_listenSocket->listener = std::move(listener);
    }
    AskForNotifications();
    QueueTransferCommand(command, FormatActiveLine(localAddress, port));
    return 1;
}

// RETR goes in binary; a listing (LIST, NLST) in ASCII, as it is text.
void CTransferDlg::QueueTransferCommand(const std::string& command, std::string before) {
    std::vector<std::string> lines;
    if (!before.empty())
        lines.push_back(std::move(before));
    std::string verb = asciiUppered(command.substr(0, 4));
    if (IsFtpTransferVerb(verb)) {
        m_bRetrieving = 1;
        bool file = verb == "RETR";
        lines.push_back(file ? "TYPE I" : "TYPE A");
        // The size names the file for a later try (and gives the percent
        // when the 150 reply does not); REST continues a file cut short.
        if (file)
            lines.push_back("SIZE " + command.substr(5));
        if (file && m_nFtpRestAt > 0)
            lines.push_back("REST " + std::to_string(m_nFtpRestAt.load()));
        lines.push_back(command);
    }
    AppendCommands(std::move(lines));
}

void CTransferDlg::AppendCommand(std::string line) {
    AppendCommands({std::move(line)});
}

// The lines go into the queue together: a refusal of the first, however
// fast it comes, drops the rest before any of them can go out (a server
// such as pyftpdlib keeps a RETR sent without a data connection and sends
// its file down the next one).
void CTransferDlg::AppendCommands(std::vector<std::string> lines) {
    {
        std::lock_guard guard(m_commandLock);
        for (std::string& line : lines)
            m_commands.push_back(std::move(line));
    }
    // Sent at once when the pump is idle, not at the next tick.
    PostToUi([this] { PumpCommands(); });
}

void CTransferDlg::PostToUi(std::function<void()> call) {
    std::weak_ptr<int> alive = alive_;
    loop_.Post([alive, call = std::move(call)] {
        if (alive.lock())
            call();
    });
}

template <typename Test>
bool CTransferDlg::WaitForFlags(Test test, std::int64_t maxMs) {
    auto start = std::chrono::steady_clock::now();
    for (;;) {
        if (test())
            return true;
        std::int64_t waitMs = kPollMs;
        if (maxMs >= 0) {
            auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - start)
                             .count();
            if (spent >= maxMs)
                return false;
            waitMs = std::min<std::int64_t>(waitMs, maxMs - spent);
        }
        if (m_wake.Wait(static_cast<int>(waitMs)) == WakeChannel::WaitResult::Stopped)
            return false;
    }
}

// The write-ready notification drops what the control connection holds (a
// greeting). It must come before USER goes out, or it drops USER's reply and
// the login waits for a reply that never comes: the timer may send a queued
// line before the watch is even installed, so USER is queued only after it.
// The greeting itself is awaited as well (a second at most): a greeting that
// came after USER would be taken as USER's reply, and every later reply as
// the reply of the line before its own.
bool CTransferDlg::WaitForControlDrain() {
    constexpr std::int64_t kDrainWaitMs = 4 * kPollMs;
    WaitForFlags([this] { return m_bControlDrained && m_bGreeted; }, kDrainWaitMs);
    return !m_wake.StopRequested();
}

bool CTransferDlg::LoginWait() {
    WaitForFlags(
        [this] {
            return m_bLoggedIn || m_bLoginFailed || m_bFailed || m_bControlClosed ||
                   SilentTooLong();
        },
        std::int64_t{loginPolls} * kPollMs);
    if (m_wake.StopRequested() || m_bFailed)
        return false;
    // A server that closes the session before the login (421) has gone.
    if (!m_bLoggedIn && !m_bLoginFailed && m_bControlClosed) {
        m_bFtpCut = 1;
        Fail("Login failed: the server closed the connection");
        return false;
    }
    if (!m_bLoggedIn && !m_bLoginFailed && SilentTooLong()) {
        m_bFtpCut = 1;
        Fail(SilenceText());
        return false;
    }
    if (m_bLoginFailed) {
        Fail("Login failed");
        return false;
    }
    if (!m_bLoggedIn) {
        Fail("Login Connect Timeout");
        return false;
    }
    return true;
}

// The watches are made on the user-interface thread, which owns the loop.
void CTransferDlg::AskForNotifications() {
    std::weak_ptr<int> alive = alive_;
    loop_.Post([this, alive] {
        if (alive.lock())
            InstallWatches();
    });
}

void CTransferDlg::InstallWatches() {
    std::lock_guard guard(m_socketLock);
    auto watch = [this](FtpSocket* socket, unsigned message, SocketKind kind) {
        if (socket == nullptr || socket->watch)
            return;
        int fd = socket->fd();
        socket->watch = loop_.WatchSocket(fd, kind, [&host = host_, message, fd](long event) {
            RelayFtpMessage(host, message, static_cast<std::uintptr_t>(fd), event);
        });
    };
    watch(m_ctrlSocket.get(), WM_FTP_CONTROL, SocketKind::Stream);
    watch(m_listenSocket.get(), WM_FTP_LISTEN, SocketKind::Listener);
}

}  // namespace orvane
