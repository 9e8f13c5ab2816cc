#include "transfer/transfer_dialog.h"

#include "transfer/proxy_route.h"

#include <climits>
#include <cstdio>
#include <system_error>

#include "platform/console.h"
#include "transfer/progress_text.h"
#include "transfer/transfer_url.h"

namespace orvane {

namespace {

constexpr unsigned kTimerId = 1;
constexpr unsigned kTimerPeriodMs = 250;
// The URL and the local path live in 256-byte fields: at most 255 characters.
constexpr std::size_t kMaxFieldText = 255;
constexpr char kParseFailure[] = "Error: Can't parse host and file name";

}  // namespace

CTransferDlg::CTransferDlg(TransferHost& host, TransferSurface& surface, UiLoop& loop)
    : host_(host), surface_(surface), loop_(loop) {
    m_progress.Bind(&surface_);
}

CTransferDlg::~CTransferDlg() {
    StopWorker();
    timer_.reset();
    m_dataSocket.reset();
    m_listenSocket.reset();
    m_ctrlSocket.reset();
    CTransferDlg* self = this;
    host_.ActiveTransfer().compare_exchange_strong(self, nullptr);
}

int CTransferDlg::DoModal() {
    surface_.Open();
    OnInitDialog();
    loop_.RunUntil([this] { return m_bEnded; });
    return m_nEndCode;
}

bool CTransferDlg::OnInitDialog() {
    m_nTimer = 0;
    m_nExpected = 0;
    m_pFile.reset();
    m_progress.Bind(&surface_);
    m_progress.SetStep(5);
    m_progress.SetRange(0, 100);
    m_progress.SetPos(0);
    if (m_bHttp == 1)
        surface_.SetTitle("HTTP Transfer Status");
    StartTransfer();
    return true;
}

int CTransferDlg::StartTransfer() {
    m_szPercent.set("");
    m_szReceived.set("");
    m_szStatus.set("");
    m_szError.set("");
    m_nPercent = 0;
    m_bDone = 0;
    m_bFailed = 0;
    m_pFile.reset();
    m_nTimer = 0;
    if (!ParseUrl()) {
        ShowStartFailure(kParseFailure);
        return 0;
    }
    surface_.SetText(transfer_control::kHost, m_szHost);
    surface_.SetText(transfer_control::kRemotePath, m_szPath);
    surface_.SetText(transfer_control::kFileName, m_szFileName);
    surface_.SetText(transfer_control::kDirectory, m_szDirectory);
    m_szReceived.set("0");
    surface_.SetText(transfer_control::kReceived, "0");
    surface_.SetText(transfer_control::kPercent, "");
    int started = m_bHttp == 1 ? StartHttp() : StartFtp();
    if (!started) {
        ShowStartFailure(formatText("Error: %s", m_szError.get().c_str()));
        return 0;
    }
    return 1;
}

void CTransferDlg::ShowStartFailure(const std::string& text) {
    surface_.SetText(transfer_control::kStatus, text);
    m_bFailed = 1;
}

int CTransferDlg::ParseUrl() {
    // Longer URLs never fit the field the view hands them in: refused rather
    // than cut, which would fetch some other file.
    if (m_szUrl.size() > kMaxFieldText)
        return 0;
    auto url = SplitTransferUrl(m_szUrl);
    if (!url)
        return 0;
    m_bSecure = url->secure;
    m_szHost = url->host;
    m_szPath = url->path;
    m_szFallbackPath = FallbackPath(*url);
    // A listing is kept in memory: no local file.
    if (m_bListing)
        return 1;
    // The local file is named as the fallback names it (the lower-cased
    // name that stored folders and the viewer know).
    const std::string& namedBy = m_szFallbackPath.empty() ? m_szPath : m_szFallbackPath;
    std::string name = m_szSaveName.empty() ? namedBy.substr(namedBy.rfind('/') + 1) : m_szSaveName;
    // "." and ".." name the download folder or its parent, never a file.
    if (name.empty() || name == "." || name == "..")
        return 0;
    m_szFileName = name;
    m_szDirectory = host_.DownloadDirectory();
    m_szLocalPath = m_szDirectory + m_szFileName;
    return m_szLocalPath.size() <= kMaxFieldText ? 1 : 0;
}

// The path of the fallback URL when it names another file on the same
// server with the same client; empty otherwise.
std::string CTransferDlg::FallbackPath(const TransferUrl& url) const {
    std::string fallback = m_szFallbackUrl;
    auto parts = fallback.size() <= kMaxFieldText ? SplitTransferUrl(fallback) : std::nullopt;
    if (!parts || parts->ftp != url.ftp || parts->secure != url.secure || parts->host != url.host ||
        parts->path == url.path)
        return "";
    return parts->path;
}

int CTransferDlg::StartHttp() {
    // The trust is read while the proxy is looked up and the server reached.
    if (m_bSecure)
        TlsTrust::StartReading(extraAuthorityFile);
    return StartClient(false);
}

int CTransferDlg::StartFtp() {
    // The sockets are none and the client idle before the shared start.
    m_dataSocket.reset();
    m_listenSocket.reset();
    m_ctrlSocket.reset();
    ResetFtp();
    return StartClient(true);
}

int CTransferDlg::StartClient(bool ftp) {
    PrepareSystemProxyLookup();
    if (!m_bListing)
        m_pFile = std::make_unique<LocalFile>(m_szLocalPath);
    if (!m_bListing && !m_pFile->IsOpen()) {
        m_pFile.reset();
        m_szError.set(formatText("Can't open %s file for writting.", m_szLocalPath.c_str()));
        return 0;
    }
    m_nLocalStart = 0;
    if (!m_bListing && m_bContinueLocal && (m_nLocalStart = m_pFile->TakeExisting()) < 0) {
        m_pFile.reset();
        m_nLocalStart = 0;
        m_szError.set(formatText("Can't read %s to continue it.", m_szLocalPath.c_str()));
        return 0;
    }
    timer_ = loop_.StartTimer(kTimerPeriodMs, [this] { OnTimer(); });
    if (!timer_) {
        m_szError.set("Can't start timer.");
        m_pFile.reset();
        return 0;
    }
    m_nTimer = kTimerId;
    bool started = ftp ? StartWorker(FtpThreadProc, "Can't create FTP receive thread")
                       : StartWorker(HttpThreadProc, "Can't create HTTP control thread");
    if (!started) {
        m_pFile.reset();
        timer_.reset();
        m_nTimer = 0;
        return 0;
    }
    m_bBusy = 1;
    return 1;
}

bool CTransferDlg::StartWorker(unsigned (*proc)(CTransferDlg*), const char* failureText) {
    m_wake.Reset();
    try {
        m_hThread = std::thread(proc, this);
    } catch (const std::system_error&) {
        m_szError.set(failureText);
        return false;
    }
    return true;
}

void CTransferDlg::StopWorker() {
    if (!m_hThread.joinable())
        return;
    // Every wait of the worker watches the wake channel, so the join takes
    // no longer than the worker's current file write or system call.
    m_wake.RequestStop();
    m_hThread.join();
}

void CTransferDlg::OnTimer() {
    FormatDataProgress();
    if (m_bDone.load(std::memory_order_acquire)) {
        // The last count is shown before the end, also when the whole file
        // came between two ticks.
        ShowProgressTexts();
        bool failed = m_bFailed != 0;
        FinishTransfer(!failed, failed);
        return;
    }
    if (m_bHttp != 1)
        PumpCommands();
    ShowProgressTexts();
}

void CTransferDlg::ShowProgressTexts() {
    surface_.SetText(transfer_control::kStatus, m_szStatus.get());
    surface_.SetText(transfer_control::kReceived, m_szReceived.get());
    if (m_nExpected != 0) {
        surface_.SetText(transfer_control::kPercent, m_szPercent.get());
        m_progress.SetPos(m_nPercent);
    }
}

void CTransferDlg::OnWorkerDone() {
    // The worker's end is seen at once instead of on the next tick.
    if (m_bBusy && m_bDone.load(std::memory_order_acquire))
        OnTimer();
}

void CTransferDlg::FinishTransfer(bool closeDialog, bool removeFile) {
    StopWorker();
    m_bDone = 0;
    m_bBusy = 0;
    if (m_pFile) {
        if (removeFile) {
            m_pFile->Discard();
        } else if (!m_pFile->Commit()) {
            m_szError.set("Write File Error");
            m_bFailed = 1;
            closeDialog = false;
        }
        m_pFile.reset();
    }
    if (m_nTimer != 0) {
        timer_.reset();
        m_nTimer = 0;
    }
    if (m_bHttp != 1)
        ResetFtp();
    if (closeDialog) {
        EndDialog(IDOK);
    } else {
        surface_.SetText(transfer_control::kStatus, m_szError.get());
        surface_.SetText(transfer_control::kReceived, m_szReceived.get());
        surface_.SetText(transfer_control::kFileName, "");
    }
    if (onFinished)
        onFinished();
}

void CTransferDlg::OnCancel() {
    if (!m_bBusy) {
        EndDialog(IDCANCEL);
        return;
    }
    // The worker ends first, so that nothing it writes overtakes "Canceled".
    StopWorker();
    m_bProgressPending = false;
    m_szError.set(kCanceledText);
    m_szReceived.set("");
    surface_.SetText(transfer_control::kFileName, "");
    surface_.SetText(transfer_control::kDirectory, "");
    m_bFailed = 1;
    FinishTransfer(true, true);
}

void CTransferDlg::EndDialog(int code) {
    m_bEnded = true;
    m_nEndCode = code;
    surface_.EndDialog(code);
}

void CTransferDlg::PublishDone() {
    m_bDone.store(1, std::memory_order_release);
    std::weak_ptr<int> alive = alive_;
    loop_.Post([this, alive] {
        if (alive.lock())
            OnWorkerDone();
    });
}

void CTransferDlg::Fail(const std::string& text) {
    m_szError.set(text);
    m_bFailed = 1;
}

void CTransferDlg::SetProgress(std::int64_t received, std::int64_t expected, bool withSize) {
    m_rate.Sample(received, NowMs());
    m_szReceived.set(ProgressText(received, withSize ? expected : 0, m_rate.bytesPerSecond()));
    if (!withSize)
        return;
    double percent = static_cast<double>(received) / static_cast<double>(expected) * 100 + 0.5;
    int position = percent >= INT_MAX ? INT_MAX : percent <= INT_MIN ? INT_MIN : int(percent);
    m_nPercent = position;
    m_szPercent.set(formatText("%d%%", position));
}

}  // namespace orvane
