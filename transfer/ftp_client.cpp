#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>

#include "platform/console.h"
#include "transfer/socket_relay.h"
#include "transfer/transfer_dialog.h"

namespace orvane {

namespace {

constexpr int kFtpPort = 21;
constexpr int kPollMs = 250;
constexpr std::size_t kReplySize = 1024;
constexpr int kDataChunk = 1024;

int ReplyCode(const std::string& reply) {
    return std::atoi(reply.substr(0, 3).c_str());
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

void CTransferDlg::RunFtp() {
    auto control = OpenStreamSocket(m_szHost, kFtpPort);
    if (!control) {
        if (!m_wake.StopRequested())
            m_bFailed = 1;
        return;
    }
    {
        std::lock_guard guard(m_socketLock);
        socklen_t length = sizeof m_controlPeer;
        ::getpeername(control->fd(), reinterpret_cast<sockaddr*>(&m_controlPeer), &length);
        m_ctrlSocket = std::make_unique<FtpSocket>();
        m_ctrlSocket->stream = std::move(control);
    }
    AskForNotifications();
    if (!WaitForControlDrain())
        return;
    AppendCommand("USER anonymous");
    AppendCommand("PASS FtpGuest01@");
    if (!LoginWait())
        return;
    m_szStatus.set("Receiving data...");
    if (!BeginRetrieve("RETR " + m_szPath)) {
        m_bFailed = 1;
        return;
    }
    if (!WaitForFlags([this] { return m_bDataDone || m_bNotFound; }, -1))
        return;
    if (m_bNotFound)
        Fail("File Not Found");
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
    ::listen(listener.get(), 3);
    SetNonBlocking(listener.get());
    sockaddr_in listening{};
    socklen_t length = sizeof listening;
    ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&listening), &length);
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
    AppendCommand(FormatPortLine(local.sin_addr, ntohs(listening.sin_port)));
    if (UpperCase(command.substr(0, 4)) == "RETR") {
        m_bRetrieving = 1;
        AppendCommand("TYPE I");
        AppendCommand(command);
    }
    return 1;
}

void CTransferDlg::AppendCommand(std::string line) {
    std::lock_guard guard(m_commandLock);
    m_commands.push_back(std::move(line));
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
bool CTransferDlg::WaitForControlDrain() {
    constexpr std::int64_t kDrainWaitMs = 4 * kPollMs;
    WaitForFlags([this] { return m_bControlDrained.load(); }, kDrainWaitMs);
    return !m_wake.StopRequested();
}

bool CTransferDlg::LoginWait() {
    WaitForFlags([this] { return m_bLoggedIn || m_bLoginFailed; },
                 std::int64_t{loginPolls} * kPollMs);
    if (m_wake.StopRequested())
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

// User-interface side.

void CTransferDlg::PumpCommands() {
    if (m_nSendState == 0) {
        std::string line;
        {
            std::lock_guard guard(m_commandLock);
            if (m_commands.empty() || m_bAwaitingReply)
                return;
            m_bAwaitingReply = 1;
            m_bReplyIn = 0;
            line = std::move(m_commands.front());
            m_commands.pop_front();
        }
        SendCommandLine(line);
        m_nSendState = 1;
    } else if (m_bReplyIn) {
        m_bAwaitingReply = 0;
        m_bReplyIn = 0;
        m_nSendState = 0;
    }
}

void CTransferDlg::SendCommandLine(const std::string& line) {
    std::lock_guard guard(m_socketLock);
    if (!m_ctrlSocket || !m_ctrlSocket->stream)
        return;
    m_ctrlSocket->stream->Send(line);
    m_ctrlSocket->stream->Send("\r\n");
}

int CTransferDlg::OnControlEvent(std::uintptr_t, long lParam) {
    long event = lParam & 0xFFFF;
    if (event == FD_READ)
        OnControlRead();
    if (event == FD_WRITE) {
        std::lock_guard guard(m_socketLock);
        char dropped[kReplySize];
        if (m_ctrlSocket && m_ctrlSocket->stream)
            m_ctrlSocket->stream->ReceiveNow(dropped, sizeof dropped);
        m_bControlDrained = true;
        m_wake.Notify();
    }
    if (event == FD_CLOSE) {
        std::lock_guard guard(m_socketLock);
        m_ctrlSocket.reset();
    }
    return 0;
}

void CTransferDlg::OnControlRead() {
    char reply[kReplySize];
    long got = ByteStream::kFailed;
    {
        std::lock_guard guard(m_socketLock);
        if (m_ctrlSocket && m_ctrlSocket->stream)
            got = m_ctrlSocket->stream->ReceiveNow(reply, sizeof reply);
    }
    m_szReply = got > 0 ? std::string(reply, static_cast<std::size_t>(got)) : std::string();
    // A reply is the text up to its first NUL, as the terminated field held it.
    m_szReply.resize(std::min(m_szReply.size(), m_szReply.find('\0')));
    int code = ReplyCode(m_szReply);
    if (code == 230)
        m_bLoggedIn = 1;
    if (code == 150)
        m_nExpected = ParseReplySize(m_szReply);
    if (code == 530)
        m_bLoginFailed = 1;
    if (code == 550)
        m_bNotFound = 1;
    m_bReplyIn = 1;
    if (code == 230 || code == 530 || code == 550)
        m_wake.Notify();
}

int CTransferDlg::OnListenEvent(std::uintptr_t, long lParam) {
    long event = lParam & 0xFFFF;
    if (event == FD_ACCEPT)
        AcceptDataConnection();
    if (event == FD_CLOSE) {
        std::lock_guard guard(m_socketLock);
        m_listenSocket.reset();
    }
    return 0;
}

void CTransferDlg::AcceptDataConnection() {
    int listener = -1;
    in_addr_t controlPeer = 0;
    {
        std::lock_guard guard(m_socketLock);
        if (!m_listenSocket)
            return;
        listener = m_listenSocket->listener.get();
        controlPeer = m_controlPeer.sin_addr.s_addr;
    }
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    UniqueFd connection(::accept4(listener, reinterpret_cast<sockaddr*>(&peer), &length,
                                  SOCK_CLOEXEC | SOCK_NONBLOCK));
    // Only the server we logged in to may deliver the file; anyone else is
    // closed at once and the wait goes on.
    if (!connection.valid() || peer.sin_family != AF_INET || peer.sin_addr.s_addr != controlPeer)
        return;
    m_nChunk = kDataChunk;
    int fd = connection.get();
    m_dataSocket = std::make_unique<FtpSocket>();
    m_dataSocket->stream = std::make_unique<SocketStream>(std::move(connection), nullptr);
    m_dataSocket->watch =
        loop_.WatchSocket(fd, SocketKind::Stream, [&host = host_, fd](long event) {
            RelayFtpMessage(host, WM_FTP_DATA, static_cast<std::uintptr_t>(fd), event);
        });
}

int CTransferDlg::OnDataEvent(std::uintptr_t, long lParam) {
    long event = lParam & 0xFFFF;
    m_dataBuf.fill(0);
    if (event == FD_READ && m_dataSocket) {
        if (m_bRetrieving)
            ReadDataChunk();
        else
            m_dataSocket->stream->ReceiveNow(m_dataBuf.data(), ChunkSize());
    }
    if (event == FD_CLOSE) {
        if (m_bRetrieving && !m_bDataDone)
            DrainDataConnection();
        m_dataSocket.reset();
        {
            std::lock_guard guard(m_socketLock);
            m_listenSocket.reset();
        }
        m_bDataDone = 1;
        m_bRetrieving = 0;
        m_wake.Notify();
    }
    return 0;
}

std::size_t CTransferDlg::ChunkSize() const {
    return static_cast<std::size_t>(std::clamp(m_nChunk, 1, kDataChunk));
}

CTransferDlg::ChunkResult CTransferDlg::ReadDataChunk() {
    if (!m_dataSocket)
        return ChunkResult::End;
    long got = m_dataSocket->stream->ReceiveNow(m_dataBuf.data(), ChunkSize());
    if (got == ByteStream::kWouldBlock)
        return ChunkResult::WouldBlock;
    if (got == 0)
        return EndData(nullptr);
    if (got < 0)
        return EndData("Data Read Error");
    // A file that takes fewer bytes than arrived would be reported complete.
    if (m_pFile && !m_pFile->Write(std::string_view(m_dataBuf.data(), std::size_t(got))))
        return EndData("Write File Error");
    m_nReceived += got;
    // The texts are formatted when they are next shown, not for every piece.
    m_bProgressPending = true;
    return ChunkResult::Data;
}

void CTransferDlg::FormatDataProgress() {
    if (!m_bProgressPending)
        return;
    m_bProgressPending = false;
    std::int64_t expected = m_nExpected;
    SetProgress(m_nReceived, expected, expected != 0);
}

CTransferDlg::ChunkResult CTransferDlg::EndData(const char* failure) {
    if (failure != nullptr)
        Fail(failure);
    m_bDataDone = 1;
    m_bRetrieving = 0;
    m_wake.Notify();
    return ChunkResult::End;
}

void CTransferDlg::DrainDataConnection() {
    // Ends at the end of the stream, or when nothing more is waiting.
    while (!m_bDataDone && ReadDataChunk() == ChunkResult::Data) {
    }
}

void CTransferDlg::ResetFtp() {
    m_dataSocket.reset();
    {
        std::lock_guard guard(m_socketLock);
        m_listenSocket.reset();
        m_ctrlSocket.reset();
    }
    m_bDataDone = 0;
    m_bRetrieving = 0;
    m_bAwaitingReply = 0;
    m_bReplyIn = 0;
    m_nSendState = 0;
    {
        std::lock_guard guard(m_commandLock);
        m_commands.clear();
    }
    host_.ActiveTransfer() = nullptr;
    m_bNotFound = 0;
    m_bLoginFailed = 0;
    m_bLoggedIn = 0;
    m_bControlDrained = false;
}

}  // namespace orvane
