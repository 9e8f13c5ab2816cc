// The FTP client's user-interface side: replies read as lines and acted on
// at once, the command pump, the data connection (accepted in active mode,
// handed over by the worker in passive mode) and the reset.
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>

#include "platform/ascii_text.h"
#include "transfer/ftp_verbs.h"
#include "transfer/socket_relay.h"
#include "transfer/transfer_dialog.h"

namespace orvane {

namespace {

constexpr std::size_t kReplySize = 1024;
constexpr int kDataChunk = 65536;
// A listing larger than this is not a folder a page can show.
constexpr std::size_t kMaxListing = 16 << 20;

std::string VerbOf(const std::string& line) {
    return asciiUppered(line.substr(0, line.find(' ')));
}

}  // namespace

void CTransferDlg::PumpCommands() {
    if (m_nSendState == 1) {
        if (!m_bReplyIn)
            return;
        m_bAwaitingReply = 0;
        m_bReplyIn = 0;
        m_nSendState = 0;
    }
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
    m_lastVerb = VerbOf(line);
    SendCommandLine(line);
    m_nSendState = 1;
}

// A line that cannot go out ends the transfer: its reply would never come.
// A control connection already gone is told by its close.
void CTransferDlg::SendCommandLine(const std::string& line) {
    std::lock_guard guard(m_socketLock);
    if (!m_ctrlSocket || !m_ctrlSocket->stream)
        return;
    std::string bytes = line + "\r\n";
    if (m_ctrlSocket->stream->Send(bytes) == static_cast<long>(bytes.size()))
        return;
    Fail("Send Command Error: " + VerbOf(line));
    m_wake.Notify();
}

int CTransferDlg::OnControlEvent(std::uintptr_t, long lParam) {
    long event = lParam & 0xFFFF;
    if (event == FD_READ)
        OnControlRead();
    if (event == FD_WRITE) {
        std::lock_guard guard(m_socketLock);
        char dropped[kReplySize];
        long got = ByteStream::kFailed;
        if (m_ctrlSocket && m_ctrlSocket->stream)
            got = m_ctrlSocket->stream->ReceiveNow(dropped, sizeof dropped);
        // The greeting is dropped; when only its start has come, its rest
        // is dropped too and never taken for a reply.
        if (got > 0) {
            if (!m_replies.Take(std::string_view(dropped, static_cast<std::size_t>(got))).empty())
                m_bGreeted = true;
            m_bDropNextReply = m_replies.Pending();
        }
        m_bControlDrained = true;
        m_wake.Notify();
    }
    if (event == FD_CLOSE) {
        {
            std::lock_guard guard(m_socketLock);
            m_ctrlSocket.reset();
        }
        m_bControlClosed = 1;
        m_wake.Notify();
    }
    return 0;
}

void CTransferDlg::OnControlRead() {
    char bytes[kReplySize];
    long got = ByteStream::kFailed;
    {
        std::lock_guard guard(m_socketLock);
        if (m_ctrlSocket && m_ctrlSocket->stream)
            got = m_ctrlSocket->stream->ReceiveNow(bytes, sizeof bytes);
    }
    if (got <= 0) {
        if (got != ByteStream::kWouldBlock)
            m_szReply.clear();
        return;
    }
    m_nLastByteAtMs = NowMs();
    bool handled = false;
    for (const FtpReply& reply : m_replies.Take(std::string_view(bytes, std::size_t(got)))) {
        if (m_bDropNextReply) {
            m_bDropNextReply = false;
            m_bGreeted = true;
            m_wake.Notify();
            continue;
        }
        HandleReply(reply);
        handled = true;
    }
    // The next line goes out as soon as its permission has come.
    if (handled)
        PumpCommands();
}

// Each reply is classified once: the login flags whenever they come, the
// rest by the command it answers. Every reply releases the next command.
void CTransferDlg::HandleReply(const FtpReply& reply) {
    m_szReply = reply.text;
    int code = reply.code;
    if (m_lastVerb.empty())
        m_bGreeted = true;
    if (code == 230)
        m_bLoggedIn = 1;
    // The SIZE, when the server gave it, is the file's whole length (a 150
    // reply after REST names the rest or the whole, as servers differ).
    if (code == 150)
        m_nExpected = m_nFtpSize > 0 ? m_nFtpSize.load() : ParseReplySize(reply.text);
    if (code == 530)
        m_bLoginFailed = 1;
    // A 550 to PORT (vsftpd's refusal of active mode) is no missing file,
    // nor one to SIZE or REST (a server that keeps them for other modes).
    if (code == 550 && !IsFtpModeVerb(m_lastVerb) && m_lastVerb != "TYPE" && m_lastVerb != "SIZE" &&
        m_lastVerb != "REST")
        m_bNotFound = 1;
    HandleTransferReply(reply);
    m_bReplyIn = 1;
    m_wake.Notify();
}

void CTransferDlg::HandleTransferReply(const FtpReply& reply) {
    int code = reply.code;
    const std::string& verb = m_lastVerb;
    if ((verb == "PORT" || verb == "EPRT") && code >= 400) {
        EndWithReply(reply, code >= 500 ? kRetryPassive : kNoRetry);
    } else if (verb == "PASV" || verb == "EPSV") {
        int port = code == 227 && verb == "PASV"   ? ParsePassivePort(reply.text)
                   : code == 229 && verb == "EPSV" ? ParseExtendedPassivePort(reply.text)
                                                   : 0;
        if (port > 0)
            m_nPassivePort = port;
        else if (verb == "PASV" && code >= 500)
            EndWithReply(reply, kRetryExtendedPassive);
        else if (code >= 200)
            EndWithReply(reply, kNoRetry);
    } else if (verb == "TYPE" && code >= 400) {
        EndWithReply(reply, kNoRetry);
    } else if (verb == "SIZE") {
        OnSizeReply(reply);
    } else if (verb == "REST") {
        OnRestReply(reply);
    } else if (IsFtpTransferVerb(verb)) {
        if (code < 200) {
            m_nOpenedAtMs = NowMs();
            m_bOpened = 1;
            // The server has begun to send the file: a loss from here on
            // is worth another try.
            m_bServerAnswered = true;
        } else if (code < 300 && !m_bOpened) {
            // A 2xx before the 1xx answers an earlier line, not this one.
            // Should neither a 1xx nor the server's connection follow, the
            // wait for it is bounded from here as from a 1xx.
            m_nOpenedAtMs = NowMs();
            m_bOpened = 1;
        } else if (code < 300) {
            m_szFinalReply.set(reply.LastLine());
            m_bFinalOk = 1;
            m_bFinalReply = 1;
        } else if (code == 425 && !m_bPassive) {
            EndWithReply(reply, kRetryPassive);
        } else if (verb == "LIST" && (code == 500 || code == 502 || code == 504)) {
            EndWithReply(reply, kRetryNameList);
        } else if (code >= 400) {
            EndWithReply(reply, kNoRetry);
        }
    }
}

// A refusal: the lines still queued are dropped (they depend on what was
// refused); the worker retries or fails with the reply.
void CTransferDlg::EndWithReply(const FtpReply& reply, int retry) {
    m_szFinalReply.set(reply.LastLine());
    DropQueuedCommands();
    if (retry != kNoRetry) {
        m_nRetry = retry;
        return;
    }
    m_bFinalOk = 0;
    m_bFinalReply = 1;
}

// The first SIZE names the file. On a later try a REST is queued after
// SIZE: a size that changed means another file, fetched from byte 0. With
// -c the server's file must be longer than the local one.
void CTransferDlg::OnSizeReply(const FtpReply& reply) {
    std::int64_t size = ParseSizeReply(reply.code, reply.text);
    m_nFtpSize = size;
    std::int64_t named = m_nFtpFileSize, restAt = m_nFtpRestAt;
    if (restAt > 0 && named < 0) {
        // The local file of -c: only a longer server file may continue it.
        if (size > restAt) {
            m_nFtpFileSize = size;
            return;
        }
        m_bFtpRefused = 1;
        EndAttempt(kContinueRefusal);
        return;
    }
    if (size >= 0 && size != named)
        m_nFtpFileSize = size;
    if (restAt > 0 && size != named) {
        {
            std::lock_guard guard(m_commandLock);
            if (!m_commands.empty() && VerbOf(m_commands.front()) == "REST")
                m_commands.pop_front();
        }
        StartFileAgain();
    }
}

// 350: the transfer continues the file. A refused REST fetches it from
// byte 0 (the RETR that follows sends it whole); with -c it is a refusal.
void CTransferDlg::OnRestReply(const FtpReply& reply) {
    constexpr int kRestAccepted = 350;
    if (reply.code == kRestAccepted)
        return;
    if (m_nLocalStart > 0 && m_nFtpRestAt == m_nLocalStart && !m_bServerAnswered) {
        m_bFtpRefused = 1;
        EndAttempt(kContinueRefusal);
        return;
    }
    StartFileAgain();
}

void CTransferDlg::StartFileAgain() {
    m_nFtpRestAt = 0;
    m_nReceived = 0;
    if (!m_pFile || !m_pFile->Truncate())
        EndAttempt("Write File Error");
}

// Ends the attempt with a failure: the queued lines do not go out.
void CTransferDlg::EndAttempt(const std::string& failure) {
    Fail(failure);
    m_szFinalReply.set(failure);
    DropQueuedCommands();
    m_bFinalOk = 0;
    m_bFinalReply = 1;
}

void CTransferDlg::DropQueuedCommands() {
    std::lock_guard guard(m_commandLock);
    m_commands.clear();
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
    NetAddress controlPeer;
    {
        std::lock_guard guard(m_socketLock);
        if (!m_listenSocket)
            return;
        listener = m_listenSocket->listener.get();
        controlPeer = m_controlPeer;
    }
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    UniqueFd connection(::accept4(listener, reinterpret_cast<sockaddr*>(&peer), &length,
                                  SOCK_CLOEXEC | SOCK_NONBLOCK));
    // Only the server we logged in to may deliver the file; anyone else is
    // closed at once and the wait goes on.
    if (!connection.valid() || !AddressFrom(peer, length).SameHost(controlPeer))
        return;
    WatchDataConnection(std::move(connection));
}

// The passive data connection, connected by the worker.
void CTransferDlg::AdoptDataConnection(UniqueFd connection) {
    if (!connection.valid() || m_bDataDone)
        return;
    WatchDataConnection(std::move(connection));
}

void CTransferDlg::WatchDataConnection(UniqueFd connection) {
    m_nChunk = kDataChunk;
    int fd = connection.get();
    m_dataSocket = std::make_unique<FtpSocket>();
    m_dataSocket->stream = std::make_unique<SocketStream>(std::move(connection), nullptr);
    m_dataSocket->watch =
        loop_.WatchSocket(fd, SocketKind::Stream, [&host = host_, fd](long event) {
            RelayFtpMessage(host, WM_FTP_DATA, static_cast<std::uintptr_t>(fd), event);
        });
    m_bDataConnected = 1;
    m_wake.Notify();
}

int CTransferDlg::OnDataEvent(std::uintptr_t, long lParam) {
    long event = lParam & 0xFFFF;
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
        m_nDataDoneAtMs = NowMs();
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
    if (got < 0) {
        m_bFtpCut = 1;
        return EndData("Data Read Error");
    }
    if (!StoreData(static_cast<std::size_t>(got)))
        return ChunkResult::End;
    m_bServerAnswered = true;
    m_nReceived += got;
    m_nLastByteAtMs = NowMs();
    // The texts are formatted when they are next shown, not for every piece.
    m_bProgressPending = true;
    return ChunkResult::Data;
}

// A file that takes fewer bytes than arrived would be reported complete.
bool CTransferDlg::StoreData(std::size_t count) {
    if (m_bListing) {
        if (m_listing.size() + count > kMaxListing) {
            EndData("Listing too large");
            return false;
        }
        m_listing.append(m_dataBuf.data(), count);
        return true;
    }
    if (m_pFile && !m_pFile->Write(std::string_view(m_dataBuf.data(), count))) {
        EndData("Write File Error");
        return false;
    }
    return true;
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
    m_nDataDoneAtMs = NowMs();
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

// Back to a session without sockets, for a new connection.
void CTransferDlg::ResetSession() {
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
    DropQueuedCommands();
    m_replies.Clear();
    m_lastVerb.clear();
    m_bDropNextReply = false;
    m_bNotFound = 0;
    m_bLoginFailed = 0;
    m_bLoggedIn = 0;
    m_bControlDrained = false;
    m_bGreeted = false;
    m_bControlClosed = 0;
    m_nFtpSize = -1;
    m_bSessionReset = 1;
    m_wake.Notify();
}

void CTransferDlg::ResetFtp() {
    ResetSession();
    host_.ActiveTransfer() = nullptr;
}

}  // namespace orvane
