#include "transfer/tls_stream.h"

#include <arpa/inet.h>
#include <gnutls/gnutls.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/console.h"
#include "transfer/wake_channel.h"

namespace orvane {

namespace {

constexpr char kSecureConnectionFailure[] = "Secure Connection Error";

bool IsAddressLiteral(const std::string& host) {
    in6_addr address{};
    return ::inet_pton(AF_INET, host.c_str(), &address) == 1 ||
           ::inet_pton(AF_INET6, host.c_str(), &address) == 1;
}

bool IsRetry(long result) {
    return result == GNUTLS_E_AGAIN || result == GNUTLS_E_INTERRUPTED;
}

// A warning alert or a renegotiation request: the session goes on.
bool IsWarning(long result) {
    return gnutls_error_is_fatal(static_cast<int>(result)) == 0;
}

}  // namespace

std::shared_ptr<TlsTrust> TlsTrust::Load(const std::string& extraAuthorityFile,
                                         std::string& failure) {
    auto trust = std::make_shared<TlsTrust>();
    if (gnutls_certificate_allocate_credentials(&trust->credentials_) != GNUTLS_E_SUCCESS) {
        trust->credentials_ = nullptr;
        failure = kSecureConnectionFailure;
        return nullptr;
    }
    // Without a system store nothing is trusted, and every server is refused
    // with its reason: the handshake says so better than a failure here.
    gnutls_certificate_set_x509_system_trust(trust->credentials_);
    if (!extraAuthorityFile.empty() &&
        gnutls_certificate_set_x509_trust_file(trust->credentials_, extraAuthorityFile.c_str(),
                                               GNUTLS_X509_FMT_PEM) <= 0) {
        failure = formatText("Can't read trust file %s", extraAuthorityFile.c_str());
        return nullptr;
    }
    return trust;
}

namespace {

// The reads of the trust, one per extra file, each on a thread of its own.
// The process joins them before it ends: a read abandoned by Cancel must not
// be inside GnuTLS while the library is torn down.
class TrustReads {
  public:
    struct Read {
        std::shared_ptr<TlsTrust> trust;
        std::string failure;
        bool finished = false;
        // Readable for good once the read has finished: every waiter sees it.
        UniqueFd finishedEvent{::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)};
        std::thread thread;
    };

    ~TrustReads() {
        for (auto& [file, read] : reads_)
            if (read->thread.joinable())
                read->thread.join();
    }

    // The read for the file: finished, running, or started now (again when
    // the last one failed).
    std::shared_ptr<Read> ReadFor(const std::string& file) {
        std::lock_guard guard(lock_);
        std::shared_ptr<Read>& read = reads_[file];
        if (read && (!read->finished || read->trust))
            return read;
        if (read)
            read->thread.join();
        read = std::make_shared<Read>();
        read->thread = std::thread([this, read = read, file] { Run(*read, file); });
        return read;
    }

    // True (with the outcome) once the read has finished.
    bool Finished(const Read& read, std::shared_ptr<TlsTrust>& trust, std::string& failure) {
        std::lock_guard guard(lock_);
        if (!read.finished)
            return false;
        trust = read.trust;
        failure = read.failure;
        return true;
    }

  private:
    void Run(Read& read, const std::string& file) {
        std::string failure;
        auto trust = TlsTrust::Load(file, failure);
        std::lock_guard guard(lock_);
        read.trust = std::move(trust);
        read.failure = failure;
        read.finished = true;
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t written = ::write(read.finishedEvent.get(), &one, sizeof one);
    }

    std::mutex lock_;
    std::map<std::string, std::shared_ptr<Read>> reads_;
};

TrustReads& Reads() {
    static TrustReads reads;
    return reads;
}

}  // namespace

void TlsTrust::StartReading(const std::string& extraAuthorityFile) {
    Reads().ReadFor(extraAuthorityFile);
}

WaitOutcome TlsTrust::Obtain(const std::string& extraAuthorityFile, WakeChannel& wake,
                             std::shared_ptr<TlsTrust>& trust, std::string& failure) {
    TrustReads& reads = Reads();
    auto read = reads.ReadFor(extraAuthorityFile);
    while (!reads.Finished(*read, trust, failure))
        if (wake.Wait(-1, read->finishedEvent.get(), POLLIN) == WakeChannel::WaitResult::Stopped)
            return WaitOutcome::Stopped;
    return WaitOutcome::Done;
}

TlsTrust::~TlsTrust() {
    if (credentials_ != nullptr)
        gnutls_certificate_free_credentials(credentials_);
}

std::string ExtraAuthorityFileFromEnvironment() {
    const char* file = std::getenv(TlsTrust::kExtraAuthorityVariable);
    return file == nullptr ? std::string() : std::string(file);
}

std::string CertificateRefusalText(unsigned status, const std::string& hostName) {
    const std::pair<unsigned, std::string> reasons[] = {
        {GNUTLS_CERT_EXPIRED, "expired"},
        {GNUTLS_CERT_NOT_ACTIVATED, "not valid yet"},
        {GNUTLS_CERT_UNEXPECTED_OWNER, "not made for " + hostName},
        {GNUTLS_CERT_SIGNER_NOT_FOUND, "not issued by a trusted authority"},
        {GNUTLS_CERT_SIGNER_NOT_CA, "issued by a certificate that is no authority"},
        {GNUTLS_CERT_REVOKED, "revoked"},
        {GNUTLS_CERT_INSECURE_ALGORITHM, "signed with an insecure algorithm"},
    };
    std::string text;
    for (const auto& [bit, reason] : reasons)
        if ((status & bit) != 0)
            text += (text.empty() ? "" : ", ") + reason;
    return "Certificate Refused: " + (text.empty() ? std::string("not valid") : text);
}

TlsStream::TlsStream(UniqueFd socket, WakeChannel* wake, std::shared_ptr<TlsTrust> trust)
    : socket_(std::move(socket)), wake_(wake), trust_(std::move(trust)) {}

TlsStream::~TlsStream() {
    Close();
}

TlsStream::Handshake TlsStream::Start(const std::string& hostName) {
    if (gnutls_init(&session_, GNUTLS_CLIENT | GNUTLS_NONBLOCK | GNUTLS_NO_SIGNAL) !=
            GNUTLS_E_SUCCESS ||
        gnutls_set_default_priority(session_) != GNUTLS_E_SUCCESS ||
        gnutls_credentials_set(session_, GNUTLS_CRD_CERTIFICATE, trust_->credentials()) !=
            GNUTLS_E_SUCCESS) {
        failure_ = kSecureConnectionFailure;
        return Handshake::Failed;
    }
    // Server Name Indication takes names only, never addresses.
    if (!IsAddressLiteral(hostName))
        gnutls_server_name_set(session_, GNUTLS_NAME_DNS, hostName.data(), hostName.size());
    // The handshake fails unless the chain leads to a trusted authority, is
    // valid today and was made for this host name (or address).
    gnutls_session_set_verify_cert(session_, hostName.c_str(), 0);
    gnutls_transport_set_int(session_, socket_.get());
    for (;;) {
        int result = gnutls_handshake(session_);
        if (result == GNUTLS_E_SUCCESS)
            return Handshake::Done;
        if (IsRetry(result)) {
            auto waited = WaitForSession();
            if (waited != SocketWait::Ready)
                return waited == SocketWait::Stopped ? Handshake::Stopped : Handshake::Silent;
            continue;
        }
        if (IsWarning(result))
            continue;
        if (result == GNUTLS_E_CERTIFICATE_VERIFICATION_ERROR) {
            failure_ =
                CertificateRefusalText(gnutls_session_get_verify_cert_status(session_), hostName);
            return Handshake::Refused;
        }
        failure_ = kSecureConnectionFailure;
        return Handshake::Failed;
    }
}

SocketWait TlsStream::WaitForSession() {
    short events = gnutls_record_get_direction(session_) == 1 ? POLLOUT : POLLIN;
    return WaitForSocketWithin(socket_.get(), events, wake_, silenceMs_);
}

long TlsStream::WaitForRecord() {
    auto waited = WaitForSession();
    if (waited == SocketWait::Ready)
        return 0;
    return waited == SocketWait::Stopped ? kStopped : kSilent;
}

// After one record, the records GnuTLS has already decrypted or the socket
// already holds, while they fit: one receive then carries many records.
std::size_t TlsStream::TakePendingRecords(char* buffer, std::size_t got, std::size_t size) {
    constexpr std::size_t kRecordSize = 16384;
    while (size - got >= kRecordSize) {
        auto more = gnutls_record_recv(session_, buffer + got, size - got);
        if (more <= 0)
            break;  // nothing waiting (or the end, which the next receive reports)
        got += static_cast<std::size_t>(more);
    }
    return got;
}

long TlsStream::ReceiveNow(char* buffer, std::size_t size) {
    for (;;) {
        if (session_ == nullptr)
            return kFailed;
        auto got = gnutls_record_recv(session_, buffer, size);
        if (got >= 0)
            return static_cast<long>(got);
        if (IsRetry(got))
            return kWouldBlock;
        if (!IsWarning(got))
            return kFailed;
    }
}

// A count, 0 at the server's orderly close (close_notify), kFailed or
// kStopped. A connection that ends without close_notify may have been cut
// by someone else: that is a failure, not an end.
long TlsStream::Receive(char* buffer, std::size_t size) {
    for (;;) {
        // As with a plain socket, a fast server never makes the worker wait:
        // the stop request is looked at before every record.
        if (wake_ != nullptr && wake_->StopRequested())
            return kStopped;
        if (session_ == nullptr)
            return kFailed;
        auto got = gnutls_record_recv(session_, buffer, size);
        if (got > 0)
            return static_cast<long>(
                TakePendingRecords(buffer, static_cast<std::size_t>(got), size));
        if (got == 0)
            return 0;
        if (IsRetry(got)) {
            long waited = WaitForRecord();
            if (waited != 0)
                return waited;
            continue;
        }
        if (!IsRetry(got) && !IsWarning(got))
            return kFailed;
    }
}

long TlsStream::Send(std::string_view bytes) {
    if (session_ == nullptr)
        return kFailed;
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t done = gnutls_record_send(session_, bytes.data() + sent, bytes.size() - sent);
        if (done > 0) {
            sent += static_cast<std::size_t>(done);
            continue;
        }
        if (!IsRetry(done))
            return kFailed;
        if (long waited = WaitForRecord())
            return waited;
    }
    return static_cast<long>(sent);
}

void TlsStream::Close() {
    if (session_ != nullptr) {
        // The close_notify is offered once, never waited for.
        gnutls_bye(session_, GNUTLS_SHUT_WR);
        gnutls_deinit(session_);
        session_ = nullptr;
    }
    socket_.reset();
}

}  // namespace orvane
