#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "platform/console.h"
#include "platform/hex_digit.h"
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

std::string UpperCase(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

std::string FormatPortLine(in_addr localAddress, int port) {
    std::uint32_t address = ntohl(localAddress.s_addr);
    return formatText("PORT %d,%d,%d,%d,%d,%d", int(address >> 24), int((address >> 16) & 0xFF),
                      int((address >> 8) & 0xFF), int(address & 0xFF), (port >> 8) & 0xFF,
                      port & 0xFF);
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
    dialog->host_.ActiveTransfer() = dialog;
    dialog->RunFtp();
    dialog->PublishDone();
    return 1;
}

// Active mode first; passive once when active cannot work; for a listing,
// NLST once when LIST is not understood; the fallback path once, in a new
// session, when the server has no file at the path.
void CTransferDlg::RunFtp() {
    std::string asked = m_szPath;
    std::string path = DecodeUrlPath(asked);
    // An escaped line end would end the command and start another.
    if (!IsSafeCommandText(path) || !IsSafeCommandText(DecodeUrlPath(m_szFallbackPath))) {
        Fail("Error: Can't parse host and file name");
        return;
    }
    if (!OpenSession())
        return;
    bool passive = false, nameList = false, fallbackLeft = !m_szFallbackPath.empty();
    for (;;) {
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
        JudgeAttempt(attempt, asked);
        return;
    }
}

bool CTransferDlg::OpenSession() {
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
        socklen_t length = sizeof m_controlPeer;
        if (::getpeername(control->fd(), reinterpret_cast<sockaddr*>(&m_controlPeer), &length) !=
            0) {
            Fail("Socket Error: getpeername()");
            return false;
        }
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
    m_bSessionReset = 0;
    PostToUi([this] { ResetSession(); });
    if (!WaitForFlags([this] { return m_bSessionReset.load() != 0; }, -1))
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

// PASV, then the data connection to the control connection's peer at the
// port the reply names (its address is not used: behind NAT it is often a
// private one), then the type and the command.
std::optional<CTransferDlg::Attempt> CTransferDlg::BeginPassive(const std::string& command) {
    AppendCommand("PASV");
    if (!WaitForFlags(
            [this] {
                return m_nPassivePort != 0 || m_bFinalReply || m_nRetry != kNoRetry ||
                       m_bControlClosed || m_bFailed;
            },
            -1))
        return Attempt::Stopped;
    if (m_bFailed)
        return Attempt::Done;
    if (m_nPassivePort == 0)
        return m_bFinalReply ? Attempt::Done : Attempt::Unconfirmed;
    UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in peer = Ipv4Address(m_controlPeer.sin_addr, m_nPassivePort);
    auto connected =
        socket.valid() ? ConnectSocket(socket.get(), peer, m_wake) : WaitOutcome::Failed;
    if (connected == WaitOutcome::Stopped)
        return Attempt::Stopped;
    if (connected == WaitOutcome::Failed) {
        char address[INET_ADDRSTRLEN] = "";
        ::inet_ntop(AF_INET, &m_controlPeer.sin_addr, address, sizeof address);
        Fail(formatText("Cannot connect to %s:%d", address, m_nPassivePort.load()));
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
                   DataConnectOverdue() || FinalReplyOverdue();
        },
        -1);
    if (!ended)
        return Attempt::Stopped;
    if (m_nRetry == kRetryPassive)
        return Attempt::Passive;
    if (m_nRetry == kRetryNameList)
        return Attempt::NameList;
    if (m_bFailed || m_bNotFound || m_bFinalReply)
        return Attempt::Done;
    return DataConnectOverdue() ? Attempt::PassiveNewSession : Attempt::Unconfirmed;
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
    if (expected > 0 && received < expected)
        Fail(formatText("Transfer incomplete: %lld of %lld bytes (%s)",
                        static_cast<long long>(received), static_cast<long long>(expected),
                        reply.c_str()));
}

std::unique_ptr<ByteStream> CTransferDlg::OpenStreamSocket(const std::string& host,
                                                           int defaultPort) {
    std::string name = host.substr(std::min(host.find_first_not_of(' '), host.size()));
    auto hostPort = SplitHostPort(name, defaultPort);
    in_addr address{};
    if (!ResolveFtpHost(name, hostPort, address))
        return nullptr;
    UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket.valid()) {
        m_szError.set("Error opening stream socket");
        return nullptr;
    }
    auto connected = ConnectSocket(socket.get(), Ipv4Address(address, hostPort->port), m_wake);
    if (connected == WaitOutcome::Stopped)
        return nullptr;
    if (connected == WaitOutcome::Failed) {
        m_szError.set(formatText("Cannot connect to %s", name.c_str()));
        return nullptr;
    }
    return std::make_unique<SocketStream>(std::move(socket), nullptr);
}

// A name that begins with a digit is a dotted address, used without a
// lookup; any other is looked up. False with m_szError set (or on Cancel).
bool CTransferDlg::ResolveFtpHost(const std::string& name, const std::optional<HostPort>& hostPort,
                                  in_addr& address) {
    if (!hostPort) {
        m_szError.set(formatText("Error: Connecting to %s.", name.c_str()));
        return false;
    }
    if (std::isdigit(static_cast<unsigned char>(hostPort->name[0]))) {
        if (::inet_aton(hostPort->name.c_str(), &address) != 0)
            return true;
        m_szError.set(formatText("Cannot connect to %s", name.c_str()));
        return false;
    }
    auto found = LookUpHost(hostPort->name, nameLookup, m_wake, address);
    if (found == WaitOutcome::Failed)
        m_szError.set(formatText("Error: Connecting to %s.", name.c_str()));
    return found == WaitOutcome::Done;
}

UniqueFd CTransferDlg::OpenListenSocket() {
    UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket.valid()) {
        m_szError.set("Error opening stream socket");
        return socket;
    }
    sockaddr_in any = Ipv4Address(in_addr{htonl(INADDR_ANY)}, 0);
    if (::bind(socket.get(), reinterpret_cast<sockaddr*>(&any), sizeof any) != 0) {
        m_szError.set("Cannot bind to 0");
        socket.reset();
    }
    return socket;
}

int CTransferDlg::BeginRetrieve(const std::string& command) {
    UniqueFd listener = OpenListenSocket();
    if (!listener.valid())
        return 0;
    if (::listen(listener.get(), 3) != 0 || !SetNonBlocking(listener.get())) {
        m_szError.set("Socket Error: listen()");
        return 0;
    }
    sockaddr_in listening{};
    socklen_t length = sizeof listening;
    if (::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&listening), &length) != 0) {
        m_szError.set("Socket Error: getsockname()");
        return 0;
    }
    sockaddr_in local{};
    {
        std::lock_guard guard(m_socketLock);
        m_listenSocket = std::make_unique<FtpSocket>();
        m_listenSocket->listener = std::move(listener);
        length = sizeof local;
        if (!m_ctrlSocket ||
            ::getsockname(m_ctrlSocket->fd(), reinterpret_cast<sockaddr*>(&local), &length) != 0) {
            m_szError.set("Socket Error: getsockname()");
            return 0;
        }
    }
    AskForNotifications();
    QueueTransferCommand(command, FormatPortLine(local.sin_addr, ntohs(listening.sin_port)));
    return 1;
}

// RETR goes in binary; a listing (LIST, NLST) in ASCII, as it is text.
void CTransferDlg::QueueTransferCommand(const std::string& command, std::string before) {
    std::vector<std::string> lines;
    if (!before.empty())
        lines.push_back(std::move(before));
    std::string verb = UpperCase(command.substr(0, 4));
    if (verb == "RETR" || verb == "LIST" || verb == "NLST") {
        m_bRetrieving = 1;
        lines.push_back(verb == "RETR" ? "TYPE I" : "TYPE A");
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
    WaitForFlags([this] { return m_bLoggedIn || m_bLoginFailed || m_bFailed; },
                 std::int64_t{loginPolls} * kPollMs);
    if (m_wake.StopRequested() || m_bFailed)
        return false;
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
