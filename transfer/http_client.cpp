#include "transfer/http_client.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <climits>
#include <cstring>

#include "transfer/transfer_dialog.h"

namespace orvane {

namespace {

constexpr int kHttpPort = 80;
// A header still without its end after this many bytes is not one.
constexpr std::size_t kHeaderLimit = 64 * 1024;
constexpr std::size_t kFilePiece = 2048;
constexpr std::size_t kMinimumResponse = 200;
constexpr char kHeaderEnd[] = "\r\n\r\n";

}  // namespace

int BindAnyPort(int socket) {
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    return ::bind(socket, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0 ? 1 : 0;
}

WaitOutcome ConnectHttpHost(int socket, const std::string& host, const NameLookup& lookup,
                            WakeChannel& wake) {
    auto hostPort = SplitHostPort(host, kHttpPort);
    if (!hostPort)
        return WaitOutcome::Failed;
    in_addr address{};
    auto found = LookUpHost(hostPort->name, lookup, wake, address);
    if (found != WaitOutcome::Done)
        return found;
    return ConnectSocket(socket, Ipv4Address(address, hostPort->port), wake);
}

std::string FormatHttpRequest(const std::string& host, const std::string& path) {
    return "GET " + path + " HTTP/1.1\r\n" + "Referer: http://" + host + path + "\r\n" +
           "Host: " + host + "\r\n" + "\r\n";
}

const char* FindHeaderEnd(const char* data, std::size_t length) {
    for (std::size_t at = 0; at + 4 <= length; ++at)
        if (std::memcmp(data + at, kHeaderEnd, 4) == 0)
            return data + at + 4;
    return nullptr;
}

std::int64_t GetContentLength(const std::string& header) {
    auto field = header.find("Content-Length:");
    if (field == std::string::npos)
        return 0;
    const char* text = header.c_str() + field + 15;
    while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
        ++text;
    // A negative length is no length: it would show a negative count and
    // percentage while the body is judged as if there were none.
    if (*text == '-')
        return 0;
    if (*text == '+')
        ++text;
    std::int64_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        value = value > (INT64_MAX - 9) / 10 ? INT64_MAX : value * 10 + (*text - '0');
    return value;
}

unsigned CTransferDlg::HttpThreadProc(CTransferDlg* dialog) {
    dialog->m_szStatus.set("Connecting to host...");
    dialog->m_nReceived = 0;
    dialog->HttpGet();
    dialog->PublishDone();
    return 1;
}

int CTransferDlg::HttpGet() {
    m_szStatus.set("Connecting to host...");
    UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket.valid())
        return FailHttp("Create Socket Error");
    if (BindAnyPort(socket.get()) != 0)
        return FailHttp("Bind To Socket Error");
    auto connected = ConnectHttpHost(socket.get(), m_szHost, nameLookup, m_wake);
    if (connected == WaitOutcome::Stopped)
        return 0;
    if (connected == WaitOutcome::Failed)
        return FailHttp("Can't connect to server");
    SocketStream stream(std::move(socket), &m_wake);
    long sent = stream.Send(FormatHttpRequest(m_szHost, m_szPath));
    if (sent == ByteStream::kStopped)
        return 0;
    if (sent < 0)
        return FailHttp("Send Command Error");
    m_szStatus.set("Receiving data...");
    return ReceiveHttpResponse(stream);
}

// The header's bytes stay in memory (at most kHeaderLimit and one block);
// the body goes to the file as it arrives. The response is judged after the
// loop in the order the client always has: length, header, status, file.
int CTransferDlg::ReceiveHttpResponse(ByteStream& stream) {
    std::string head;
    bool headerFound = false;
    std::size_t total = 0;
    m_bHttpWriteFailed = false;
    for (;;) {
        long got = stream.Receive(m_buffer.data(), m_buffer.size());
        if (got == ByteStream::kStopped)
            return 0;
        if (got == 0)
            break;
        if (got < 0) {
            stream.Close();
            return FailHttp("Read Error");
        }
        total += static_cast<std::size_t>(got);
        std::string_view block(m_buffer.data(), static_cast<std::size_t>(got));
        if (headerFound) {
            m_nReceived += got;
            WriteBody(block);
        } else {
            head.append(block);
            headerFound = TakeHeader(head);
            if (!headerFound && head.size() >= kHeaderLimit)
                break;
        }
        if (m_nExpected != 0)
            SetProgress(m_nReceived, m_nExpected, true);
        if (headerFound && m_nReceived >= m_nExpected)
            break;
        // A file that takes no more bytes (a full disk) ends the receive: the
        // rest of a long body would only be read to be thrown away.
        if (m_bHttpWriteFailed)
            break;
    }
    stream.Close();
    return JudgeHttpResponse(head, headerFound, total);
}

// The header end is looked for in every pass: a short response from a server
// that keeps the connection open must not wait for the server to drop it.
// Once found, the header's size is taken and the bytes after it are stored.
bool CTransferDlg::TakeHeader(std::string& head) {
    const char* end = FindHeaderEnd(head.data(), head.size());
    if (end == nullptr)
        return false;
    std::size_t headerLength = static_cast<std::size_t>(end - head.data());
    m_nReceived = static_cast<std::int64_t>(head.size() - headerLength);
    m_nExpected = GetContentLength(head.substr(0, headerLength - 4));
    WriteBody(std::string_view(head).substr(headerLength));
    head.resize(headerLength);
    return true;
}

int CTransferDlg::JudgeHttpResponse(std::string& head, bool headerFound, std::size_t total) {
    if (total < kMinimumResponse)
        return FailHttp("File Length Error");
    if (!headerFound) {
        const char* end = FindHeaderEnd(head.data(), head.size());
        if (end == nullptr)
            return FailHttp("Header Error");
        std::size_t headerLength = static_cast<std::size_t>(end - head.data());
        WriteBody(std::string_view(head).substr(headerLength));
        head.resize(headerLength);
    }
    if (head.compare(0, 15, "HTTP/1.1 200 OK") != 0)
        return FailHttp("File Not Found");
    if (m_bHttpWriteFailed || !m_pFile || !m_pFile->Flush())
        return FailHttp("Write File Error");
    return 1;
}

bool CTransferDlg::WriteBody(std::string_view bytes) {
    if (m_pFile == nullptr)
        m_bHttpWriteFailed = true;
    for (std::size_t at = 0; at < bytes.size() && !m_bHttpWriteFailed; at += kFilePiece)
        if (!m_pFile->Write(bytes.substr(at, kFilePiece)))
            m_bHttpWriteFailed = true;
    return !m_bHttpWriteFailed;
}

int CTransferDlg::FailHttp(const char* text) {
    Fail(text);
    return 0;
}

}  // namespace orvane
