#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/unique_fd.h"
#include "transfer/byte_stream.h"
#include "transfer/net_address.h"

// GnuTLS's own types, kept out of the engine's headers.
struct gnutls_session_int;
struct gnutls_certificate_credentials_st;

namespace orvane {

class WakeChannel;

// The authorities a server's certificate must lead to: the system's trust
// store (the one the browser's view trusts), and one more file of
// authorities when one is named, which tests use for an authority of their
// own. Both go through the same verification.
class TlsTrust {
  public:
    // The environment variable that names the extra authorities (PEM).
    static constexpr const char* kExtraAuthorityVariable = "ORVANE_EXTRA_CA_FILE";

    // Reads the system's store and the extra file; null when the extra file
    // cannot be read, and failure then says so.
    static std::shared_ptr<TlsTrust> Load(const std::string& extraAuthorityFile,
                                          std::string& failure);
    // The trust for the extra file, read once per process. Reading takes
    // tens of milliseconds and cannot be interrupted, so it runs on a thread
    // of its own (joined when the process ends) while the caller waits on
    // its wake channel: Stopped at once on a stop request, else Done with
    // the trust, or with null and the failure.
    // Starts the read for the extra file, when none has been started, and
    // returns at once: the system's store takes longer to read than a
    // loopback connection to open, so a secure download starts it first.
    static void StartReading(const std::string& extraAuthorityFile);
    static WaitOutcome Obtain(const std::string& extraAuthorityFile, WakeChannel& wake,
                              std::shared_ptr<TlsTrust>& trust, std::string& failure);

    // Trusts nothing yet; Load fills one.
    TlsTrust() = default;
    ~TlsTrust();
    TlsTrust(const TlsTrust&) = delete;
    TlsTrust& operator=(const TlsTrust&) = delete;

    gnutls_certificate_credentials_st* credentials() const { return credentials_; }

  private:
    gnutls_certificate_credentials_st* credentials_ = nullptr;
};

// The value of ORVANE_EXTRA_CA_FILE, empty when it is not set.
std::string ExtraAuthorityFileFromEnvironment();

// A TLS session over a connected non-blocking TCP socket: the HTTP client
// reads and writes it like any other stream. Every wait (handshake, receive,
// send) watches the wake channel, so Cancel stops it as soon as a plain
// socket's wait. The server's certificate is verified by GnuTLS during the
// handshake, the host name included; nothing passes without that.
class TlsStream final : public ByteStream {
  public:
    enum class Handshake { Done, Stopped, Refused, Failed, Silent };

    TlsStream(UniqueFd socket, WakeChannel* wake, std::shared_ptr<TlsTrust> trust);
    ~TlsStream() override;
    TlsStream(const TlsStream&) = delete;
    TlsStream& operator=(const TlsStream&) = delete;

    // Runs the handshake with the server named hostName (a name or an
    // address, without port). Refused: the certificate was not accepted;
    // Failed: no TLS session came about (failure() then says why); Silent:
    // the server sent nothing for the silence limit (SetSilenceLimit).
    Handshake Start(const std::string& hostName);
    const std::string& failure() const { return failure_; }

    int fd() const override { return socket_.get(); }
    long ReceiveNow(char* buffer, std::size_t size) override;
    long Receive(char* buffer, std::size_t size) override;
    long Send(std::string_view bytes) override;
    void Close() override;

  private:
    // Waits for the socket in the direction GnuTLS last needed, within the
    // silence limit.
    SocketWait WaitForSession();
    // The same wait for a record to receive or send: 0 when the session
    // can go on, else kStopped or kSilent.
    long WaitForRecord();
    std::size_t TakePendingRecords(char* buffer, std::size_t got, std::size_t size);

    UniqueFd socket_;
    WakeChannel* wake_;
    std::shared_ptr<TlsTrust> trust_;
    gnutls_session_int* session_ = nullptr;
    std::string failure_;
};

// "Certificate Refused: " and the reasons GnuTLS gave for refusing the
// certificate of hostName (its verification status bits).
std::string CertificateRefusalText(unsigned status, const std::string& hostName);

}  // namespace orvane
