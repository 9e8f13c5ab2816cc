#pragma once

#include <netinet/in.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "transfer/byte_stream.h"
#include "transfer/ftp_reply_splitter.h"
#include "transfer/http_client.h"
#include "transfer/local_file.h"
#include "transfer/net_address.h"
#include "transfer/progress_text.h"
#include "transfer/proxy_route.h"
#include "transfer/resume_plan.h"
#include "transfer/shared_text.h"
#include "transfer/tls_stream.h"
#include "transfer/transfer_host.h"
#include "transfer/transfer_surface.h"
#include "transfer/ui_loop.h"
#include "transfer/wake_channel.h"

namespace orvane {

// The failure text of a transfer that the user cancelled.
inline constexpr char kCanceledText[] = "Canceled";

struct TransferUrl;
class HttpResponseReader;

// The failure of -c when the server does not show that the local file is
// the start of its file.
inline constexpr char kContinueRefusal[] =
    "Can't continue: the server does not prove that the local file is the start of its file";

// One socket of an FTP transfer and the watch that reports its events; the
// watch ends before the socket closes.
struct FtpSocket {
    std::unique_ptr<ByteStream> stream;  // control and data connections
    UniqueFd listener;                   // the listening socket
    std::unique_ptr<LoopHandle> watch;
    int fd() const { return stream ? stream->fd() : listener.get(); }
    ~FtpSocket() { watch.reset(); }
};

// The transfer status dialog, which is also the record of one download: the
// URL's parts, the local file, the texts and counters the dialog shows, and
// the state of the HTTP or FTP client that runs it.
//
// Threads: the dialog, its timer, the FTP socket notifications and the end of
// the transfer run on the user-interface thread; the client's blocking part
// runs on one worker thread. Texts the worker writes are SharedText, flags
// and counters are atomics; m_bDone is stored last with release and loaded
// first with acquire. The worker is woken by m_wake and joined before the
// file, the sockets or the record are released. The join does not hold the
// user interface up: every wait of the worker (connect, TLS handshake, send,
// receive, the FTP polls) also watches m_wake, and a name lookup or a read of
// the trust store runs on a helper thread that is abandoned on Cancel, so the
// worker ends within milliseconds.
class CTransferDlg {
  public:
    CTransferDlg(TransferHost& host, TransferSurface& surface, UiLoop& loop);
    ~CTransferDlg();
    CTransferDlg(const CTransferDlg&) = delete;
    CTransferDlg& operator=(const CTransferDlg&) = delete;

    // Runs the dialog until it ends; returns IDOK or IDCANCEL.
    int DoModal();
    bool HasEnded() const { return m_bEnded; }

    bool OnInitDialog();
    int StartTransfer();
    int ParseUrl();
    int StartHttp();
    int StartFtp();
    void OnTimer();
    void FinishTransfer(bool closeDialog, bool removeFile);
    void OnCancel();

    // HTTP client, on the worker.
    enum class HttpExchange { Stored, Redirected, Failed, Stopped };
    static unsigned HttpThreadProc(CTransferDlg* dialog);
    // The target the user chose (an ftp:// one through an HTTP proxy).
    int HttpGet(HttpTarget target);
    // The receive loop and the judgement of one response, over any stream:
    // Stored (the body is in the file), Redirected (location holds the
    // field's value), Failed (m_szError says why) or Stopped.
    HttpExchange ReceiveHttpResponse(ByteStream& stream, std::string& location);

    // FTP client.
    static unsigned FtpThreadProc(CTransferDlg* dialog);
    // Connects to "name" or "name:port" (defaultPort when none is written).
    std::unique_ptr<ByteStream> OpenStreamSocket(const std::string& host, int defaultPort);
    // A socket bound to the local address and a port of the system's choice.
    UniqueFd OpenListenSocket(const NetAddress& local);
    int BeginRetrieve(const std::string& command);
    // Sends the next queued line when the last one has its reply: called
    // as soon as a reply has been handled, when the worker queues a line,
    // and by the timer as a fallback.
    void PumpCommands();
    int OnControlEvent(std::uintptr_t wParam, long lParam);
    int OnListenEvent(std::uintptr_t wParam, long lParam);
    int OnDataEvent(std::uintptr_t wParam, long lParam);
    void ResetFtp();

    // Test seams: how host names are looked up, how many 250 ms polls the
    // FTP login may take, and a file of authorities trusted besides the
    // system's store for https:// (from ORVANE_EXTRA_CA_FILE by default).
    NameLookup nameLookup = SystemNameLookup;
    // How the proxies of a URL are found.
    ProxyLookup proxyLookup = SystemProxyLookup;
    // How long each address of a server may take to accept the connection.
    int connectTimeoutMs = kConnectTimeoutMs;
    int loginPolls = 600;
    // How long the server may send nothing, on the control or the data
    // connection, before the connection counts as lost.
    int silenceLimitMs = kSilenceLimitMs;
    static constexpr int kSilenceLimitMs = 60000;
    // How many more tries a connection lost after some bytes gets (0: none),
    // and the wait before each (a test makes them short).
    int retries = 3;
    std::vector<int> retryWaitsMs = {1000, 2000, 4000};
    // How long an active-mode server may take to connect after its 150
    // reply before the transfer tries passive mode, and how long the final
    // reply may take after the data connection has closed.
    int dataConnectTimeoutMs = 10000;
    int finalReplyTimeoutMs = 30000;
    // Runs on the user-interface thread when the transfer has finished,
    // good or failed (after the dialog's own end).
    std::function<void()> onFinished;
    // Set before the start: the transfer fetches the folder listing of the
    // URL (LIST, else NLST) into m_listing instead of a file.
    int m_bListing = 0;
    std::string m_listing;
    std::string extraAuthorityFile = ExtraAuthorityFileFromEnvironment();

    int m_bHttp = 0;
    ProgressBar m_progress;
    std::string m_szLocalPath;
    std::string m_szDirectory;
    std::string m_szFileName;
    std::string m_szHost;
    std::string m_szUrl;
    // Set before the start: the URL asked for once more when the server
    // says that the file at m_szUrl is not there (HTTP 404 or 410, FTP 550),
    // the lower-cased URL of a link written with capitals. It names the
    // local file. Only a path on the same server counts.
    std::string m_szFallbackUrl;
    std::string m_szFallbackPath;
    // Set before the start: the local file's name in the download directory
    // instead of the URL's last part.
    std::string m_szSaveName;
    // Set before the start: a file of that name already there (left by an
    // earlier run or another program) is continued, not fetched again, when
    // the server proves that it is the start of the same file; otherwise the
    // transfer fails and the file stays as it was.
    bool m_bContinueLocal = false;
    // The User-Agent of every HTTP request: the program and its version.
    std::string userAgent;
    bool m_bSecure = false;  // the URL is https://
    SharedText m_szStatus;
    SharedText m_szReceived;
    SharedText m_szPercent;
    std::atomic<int> m_bDone{0};
    std::atomic<int> m_bFailed{0};
    unsigned m_nTimer = 0;
    std::atomic<int> m_nPercent{0};
    int m_bBusy = 0;
    std::atomic<std::int64_t> m_nReceived{0};
    std::atomic<std::int64_t> m_nExpected{0};
    std::thread m_hThread;
    std::unique_ptr<LocalFile> m_pFile;
    std::string m_szPath;
    SharedText m_szError;

    int m_nChunk = 0;
    std::unique_ptr<FtpSocket> m_ctrlSocket;
    std::unique_ptr<FtpSocket> m_listenSocket;
    std::unique_ptr<FtpSocket> m_dataSocket;
    std::atomic<int> m_bReplyIn{0};
    std::atomic<int> m_bAwaitingReply{0};
    std::atomic<int> m_bDataDone{0};
    std::atomic<int> m_bRetrieving{0};
    std::string m_szReply;
    std::vector<char> m_dataBuf = std::vector<char>(65536);
    std::deque<std::string> m_commands;
    int m_nSendState = 0;
    std::atomic<int> m_bLoggedIn{0};
    std::atomic<int> m_bLoginFailed{0};
    std::atomic<int> m_bNotFound{0};
    // The mode of the data connection in use: 0 active (PORT), 1 passive.
    std::atomic<int> m_bPassive{0};
    // The final reply of the transfer command (or a refusal) has come; it
    // was a 2xx; its last line.
    std::atomic<int> m_bFinalReply{0};
    std::atomic<int> m_bFinalOk{0};
    SharedText m_szFinalReply;

    // One receive's bytes: large, so that a fast server's TLS records are
    // taken several at a time and written to the file in one piece.
    std::vector<char> m_buffer = std::vector<char>(kReceiveBufferSize);
    static constexpr std::size_t kReceiveBufferSize = 256 * 1024;

  private:
    enum class ChunkResult { Data, End, WouldBlock };
    // What one attempt at the transfer command came to.
    enum class Attempt { Done, Stopped, Passive, PassiveNewSession, NameList, Unconfirmed };
    // What a reply asks of the worker besides its flags.
    enum Retry : int { kNoRetry = 0, kRetryPassive, kRetryNameList, kRetryExtendedPassive };

    int StartClient(bool ftp);
    std::string FallbackPath(const TransferUrl& url) const;
    void EndDialog(int code);
    void ShowStartFailure(const std::string& text);
    bool StartWorker(unsigned (*proc)(CTransferDlg*), const char* failureText);
    void StopWorker();
    void OnWorkerDone();
    void ShowProgressTexts();
    // Worker side.
    void Fail(const std::string& text);
    void PublishDone();
    void AppendCommand(std::string line);
    void AppendCommands(std::vector<std::string> lines);
    // Waits until the flag test holds (true), or until maxMs (-1: none) have
    // passed or Cancel (false), looking every 250 ms and whenever woken.
    template <typename Test>
    bool WaitForFlags(Test test, std::int64_t maxMs);
    bool LoginWait();
    bool WaitForControlDrain();
    void AskForNotifications();
    void InstallWatches();
    // User-interface side of FTP.
    void OnControlRead();
    void SendCommandLine(const std::string& line);
    void AcceptDataConnection();
    ChunkResult ReadDataChunk();
    ChunkResult EndData(const char* failure);
    std::size_t ChunkSize() const;
    void RunFtp();
    bool OpenSession();
    bool RestartSession();
    Attempt RunAttempt(bool passive, const std::string& command);
    std::optional<Attempt> BeginPassive(const std::string& command);
    Attempt AwaitAttempt();
    bool DataConnectOverdue() const;
    // The FTP server has sent nothing for longer than the silence limit.
    bool SilentTooLong() const;
    std::string SilenceText() const;
    bool FinalReplyOverdue() const;
    // Resuming an FTP download cut short: whether the attempt lost its
    // connection after bytes had come, and the wait and new session of the
    // next try (false when Cancel or a failure ends the transfer).
    bool TookProxyRoute();
    bool FtpTryWasCut(Attempt attempt) const;
    bool ResumeFtp(bool& sessionOpen);
    bool ResetAndWait();
    bool PrepareFtpFile();
    void OnSizeReply(const FtpReply& reply);
    void OnRestReply(const FtpReply& reply);
    void StartFileAgain();
    void EndAttempt(const std::string& failure);
    // asked: the path of the last command, which a miss names.
    void JudgeAttempt(Attempt attempt, const std::string& asked);
    void QueueTransferCommand(const std::string& command, std::string before = {});
    void PostToUi(std::function<void()> call);
    // User-interface side of the reply handling and the passive mode.
    void HandleReply(const FtpReply& reply);
    void HandleTransferReply(const FtpReply& reply);
    void EndWithReply(const FtpReply& reply, int retry);
    void DropQueuedCommands();
    void AdoptDataConnection(UniqueFd connection);
    void WatchDataConnection(UniqueFd connection);
    void ResetSession();
    bool StoreData(std::size_t count);
    static std::int64_t NowMs();
    bool ResolveFtpHost(const std::string& name, const std::optional<HostPort>& hostPort,
                        std::vector<NetAddress>& addresses);
    void DrainDataConnection();
    void FormatDataProgress();
    void SetProgress(std::int64_t received, std::int64_t expected, bool withSize);
    // HTTP.
    HttpExchange FetchHttpTarget(const HttpTarget& target, std::string& location);
    std::unique_ptr<ByteStream> OpenHttpStream(UniqueFd socket, const HttpTarget& target,
                                               HttpExchange& outcome);
    std::shared_ptr<TlsTrust> LoadTrust(HttpExchange& outcome);
    WaitOutcome FindProxyRoute(const std::string& url, ProxyRoute& route);
    // The route already found for the first request (worker only).
    std::optional<ProxyRoute> m_knownRoute;
    bool OpenTunnel(UniqueFd& socket, const HttpTarget& target, const ProxyRoute& route,
                    HttpExchange& outcome);
    std::optional<HttpExchange> TakeResponseBytes(HttpResponseReader& reader, std::size_t count,
                                                  bool& judged, std::string& location);
    std::optional<HttpExchange> JudgeStatus(const HttpResponseReader& reader,
                                            std::string& location);
    void StoreBody(std::string_view bytes);
    // Resuming an HTTP download cut short.
    bool ShouldResume() const;
    HttpExchange ResumeHttp(const HttpTarget& target, std::string& location);
    bool WaitBeforeRetry(int waitMs);
    std::string ResumeFields() const;
    std::optional<HttpExchange> JudgeResumedAnswer(const HttpResponseReader& reader);
    bool DecideBody(const HttpResponseReader& reader);
    std::optional<ResumeStep> m_bodyStep;  // of the last response, once known
    std::unique_ptr<ResumePlan> m_resume = std::make_unique<ResumePlan>(0);
    std::int64_t m_nResumeFrom = 0;              // the byte the request asks from
    bool m_bConnectionLost = false;              // the last response ended early
    bool m_bAskWhole = false;                    // its answer could not continue the file
    bool m_bStoreBody = false;                   // the last response's body is the file's
    bool m_bResumedRequest = false;              // the last request asked for a range
    std::atomic<bool> m_bServerAnswered{false};  // a try has had bytes from the server
    // -c: the bytes of the local file continued, and the refusal when the
    // server does not prove the same file.
    std::int64_t m_nLocalStart = 0;
    bool ContinueProved(const HttpResponseReader& reader);
    bool m_bContinuing = false;  // -c: not yet proved (worker only)
    // FTP resume (set by the worker before the transfer command, read and
    // changed by the reply handling): the SIZE of this session's file, the
    // SIZE that names the file (the first try's), the REST offset asked for.
    std::atomic<std::int64_t> m_nFtpSize{-1};
    std::atomic<std::int64_t> m_nFtpFileSize{-1};
    std::atomic<std::int64_t> m_nFtpRestAt{0};
    std::atomic<int> m_bFtpCut{0};      // the data connection broke or fell silent
    std::atomic<int> m_bFtpRefused{0};  // -c: the server did not prove the file
    int FailHttp(const std::string& text);
    HttpExchange FailExchange(const std::string& text);

    TransferHost& host_;
    TransferSurface& surface_;
    UiLoop& loop_;
    std::unique_ptr<LoopHandle> timer_;
    WakeChannel m_wake;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    std::mutex m_commandLock;  // guards m_commands
    std::mutex m_socketLock;   // guards m_ctrlSocket and m_listenSocket
    NetAddress m_controlPeer;
    // The control connection's write-ready drain has run (user-interface
    // thread); the worker queues USER only after it.
    std::atomic<bool> m_bControlDrained{false};
    // The server's greeting has come (drained or read before any command).
    std::atomic<bool> m_bGreeted{false};
    // Reply handling (user-interface thread): the splitter, the verb of the
    // line last sent, and a reply begun by the greeting the drain took.
    FtpReplySplitter m_replies;
    std::string m_lastVerb;
    bool m_bDropNextReply = false;
    // Between the user-interface side and the worker, per attempt.
    std::atomic<int> m_nRetry{kNoRetry};
    std::atomic<int> m_bOpened{0};         // a 1xx reply to the command
    std::atomic<int> m_bDataConnected{0};  // the data connection is up
    std::atomic<int> m_nPassivePort{0};    // from the 227 reply
    std::atomic<int> m_bControlClosed{0};
    std::atomic<int> m_bSessionReset{0};
    std::atomic<std::int64_t> m_nOpenedAtMs{0};
    std::atomic<std::int64_t> m_nDataDoneAtMs{0};
    // When the last byte came on an FTP connection (control or data).
    std::atomic<std::int64_t> m_nLastByteAtMs{0};
    bool m_bHttpWriteFailed = false;
    std::atomic<int> m_nHttpStatus{0};  // of the last response (0: none read)
    bool m_bProgressPending = false;    // FTP texts lag m_nReceived
    TransferRate m_rate;                // of the thread that formats the progress
    bool m_bEnded = false;
    int m_nEndCode = 0;
};

// The PORT command for a local IPv4 address and a listening port.
std::string FormatPortLine(in_addr localAddress, int port);
// The line that opens active mode for the control connection's local
// address: PORT for IPv4, EPRT |2|address|port| for IPv6 (RFC 2428).
std::string FormatActiveLine(const NetAddress& local, int port);
// The port of a 229 reply "(|||port|)"; 0 when none.
int ParseExtendedPassivePort(const std::string& reply);
// The byte count in a 150 reply's parentheses; 0 when there is none.
std::int64_t ParseReplySize(const std::string& reply);
// The size of a 213 reply to SIZE (RFC 3659); -1 for any other reply.
std::int64_t ParseSizeReply(int code, const std::string& reply);
// The port of a 227 reply's six numbers "h1,h2,h3,h4,p1,p2"; 0 when none.
int ParsePassivePort(const std::string& reply);
// A URL's path with its %XX escapes decoded (RFC 1738), as FTP commands
// take it.
std::string DecodeUrlPath(const std::string& path);

}  // namespace orvane
