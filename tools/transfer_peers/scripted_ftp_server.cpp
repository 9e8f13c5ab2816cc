#include "tools/transfer_peers/scripted_ftp_server.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "tools/transfer_peers/peer_socket.h"

namespace orvane::peers {

namespace {

std::string VerbOf(const std::string& line) {
    std::string verb = line.substr(0, line.find(' '));
    for (char& c : verb)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return verb;
}

void PauseMs(int ms) {
    ::usleep(static_cast<useconds_t>(ms) * 1000);
}

}  // namespace

ScriptedFtpServer::ScriptedFtpServer(FtpScript script, int maxSeconds, int maxSessions)
    : script_(std::move(script)) {
    listener_ = ListenOnLoopback(4, port_);
    if (listener_ >= 0)
        thread_ = std::thread([this, maxSeconds, maxSessions] { Serve(maxSeconds, maxSessions); });
}

ScriptedFtpServer::~ScriptedFtpServer() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (passiveListener_ >= 0)
        ::close(passiveListener_);
    if (listener_ >= 0)
        ::close(listener_);
}

std::vector<std::string> ScriptedFtpServer::commands() {
    std::lock_guard guard(lock_);
    return commands_;
}

std::vector<std::string> ScriptedFtpServer::transcript() {
    std::lock_guard guard(lock_);
    return transcript_;
}

void ScriptedFtpServer::Serve(int maxSeconds, int maxSessions) {
    auto end = Clock::now() + std::chrono::seconds(maxSeconds);
    for (int served = 0; !stop_ && served < maxSessions && Clock::now() < end;) {
        int control =
            AcceptBefore(listener_, std::min(end, Clock::now() + std::chrono::milliseconds(50)));
        if (control < 0)
            continue;
        RunSession(control);
        ::close(control);
        sessionEnded_ = true;
        ++served;
    }
}

void ScriptedFtpServer::RunSession(int control) {
    loggedIn_ = false;
    restAt_ = 0;
    ++session_;
    ++sessions_;
    if (std::find(script_.goneSessions.begin(), script_.goneSessions.end(), session_) !=
        script_.goneSessions.end()) {
        Reply(control, "421 Service not available.");
        return;
    }
    if (script_.greeting == FtpScript::Greeting::Immediate && !Reply(control, script_.greetingText))
        return;
    while (!stop_) {
        auto line = ReadCommand(control, Clock::now() + std::chrono::milliseconds(100));
        if (!line)
            return;  // the client closed the connection, or sent no line end
        if (line->empty() && !stop_)
            continue;
        if (!Answer(control, *line))
            return;
    }
}

std::optional<std::string> ScriptedFtpServer::ReadCommand(int control, Clock::time_point until) {
    std::string line;
    while (!stop_ && line.size() < 4096) {
        // Once a line has begun, its rest is awaited whatever the time.
        auto slice = Clock::now() + std::chrono::milliseconds(100);
        if (!WaitReadable(control, line.empty() ? std::min(until, slice) : slice)) {
            if (line.empty() && Clock::now() >= until)
                return std::string();  // nothing came in the time
            continue;
        }
        // The client sends a line and its CR LF in two pieces; acknowledged
        // at once, the second is not held back for the delayed ACK, which
        // would add 40 ms to every command.
        int one = 1;
        ::setsockopt(control, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
        char c;
        if (::recv(control, &c, 1, 0) <= 0)
            return std::nullopt;
        line += c;
        if (line.size() < 2 || line.compare(line.size() - 2, 2, "\r\n") != 0)
            continue;
        line.resize(line.size() - 2);
        std::lock_guard guard(lock_);
        commands_.push_back(line);
        transcript_.push_back("> " + line);
        return line;
    }
    return std::nullopt;
}

bool ScriptedFtpServer::Answer(int control, const std::string& line) {
    if (script_.silentAfterLogin && loggedIn_)
        return true;
    std::string verb = VerbOf(line);
    if (verb == "USER") {
        if (script_.greeting == FtpScript::Greeting::AfterUser) {
            // USER's own reply waits until the client has answered the late
            // greeting (a second at most), so that the transcript shows
            // whether it took the greeting for USER's reply.
            if (!Reply(control, "220 Scripted FTP, late"))
                return false;
            auto early = ReadCommand(control, Clock::now() + std::chrono::seconds(1));
            if (!early)
                return false;
            if (!script_.answerUser)
                return true;
            loggedIn_ = script_.loginAtUser;
            if (!Reply(control, script_.loginAtUser ? "230 Login successful."
                                                    : "331 Please specify the password."))
                return false;
            PauseMs(100);  // the two replies in separate reads, as a slow server sends them
            return early->empty() || Answer(control, *early);
        }
        if (!script_.answerUser)
            return true;
        loggedIn_ = script_.loginAtUser;
        return Reply(control, script_.loginAtUser ? "230 Login successful."
                                                  : "331 Please specify the password.");
    }
    if (verb == "PASS") {
        loggedIn_ = script_.loginAtUser || script_.passReply.rfind("230", 0) == 0;
        return Reply(control, script_.loginAtUser ? "230 Already logged in." : script_.passReply);
    }
    if (verb == "PASV")
        return AnswerPasv(control, false);
    if (verb == "EPSV" && script_.extendedPassive)
        return AnswerPasv(control, true);
    if (verb == "PORT") {
        int h[6] = {};
        if (std::sscanf(line.c_str() + 5, "%d,%d,%d,%d,%d,%d", &h[0], &h[1], &h[2], &h[3], &h[4],
                        &h[5]) != 6)
            return Reply(control, "501 Illegal PORT command.");
        dataAddress_ = std::to_string(h[0]) + "." + std::to_string(h[1]) + "." +
                       std::to_string(h[2]) + "." + std::to_string(h[3]);
        dataPort_ = h[4] * 256 + h[5];
        return Reply(control, script_.portReply);
    }
    if (verb == "TYPE")
        return Reply(control, "200 Switching to Binary mode.");
    if (verb == "SIZE")
        return Reply(control, script_.knowsSize ? "213 " + std::to_string(FileNow().size())
                                                : std::string("502 SIZE not implemented."));
    if (verb == "REST") {
        if (script_.restRefused)
            return Reply(control, "502 REST not implemented.");
        restAt_ = std::atol(line.c_str() + 5);
        return Reply(control, "350 Restart position accepted (" + std::to_string(restAt_) + ").");
    }
    if (verb == "RETR") {
        bool elsewhere = !script_.filePath.empty() && line.substr(5) != script_.filePath;
        if (script_.retrieve == FtpScript::Retrieve::NotFound550 || elsewhere)
            return Reply(control, "550 Failed to open file.");
        if (script_.retrieve == FtpScript::Retrieve::Refuse425 && passiveListener_ < 0)
            return Reply(control, "425 Can't open data connection.");
        Deliver(control, FileNow());
        return true;
    }
    if ((verb == "LIST" || verb == "NLST") && script_.retrieve == FtpScript::Retrieve::NotFound550)
        return Reply(control, "550 Failed to open directory.");
    if (verb == "LIST" && script_.listRefused)
        return Reply(control, "502 LIST not implemented.");
    if (verb == "LIST" || verb == "NLST") {
        Deliver(control, verb == "LIST" ? script_.listing : script_.nameList);
        return true;
    }
    return Reply(control, "500 Unknown command.");
}

bool ScriptedFtpServer::AnswerPasv(int control, bool extended) {
    if (!script_.pasvRefusal.empty() && !extended)
        return Reply(control, script_.pasvRefusal);
    if (passiveListener_ >= 0)
        ::close(passiveListener_);
    int port = 0;
    passiveListener_ = ListenOnLoopback(1, port);
    if (extended)
        return Reply(control,
                     "229 Entering Extended Passive Mode (|||" + std::to_string(port) + "|)");
    return Reply(control, "227 Entering Passive Mode (" + script_.pasvAddress + "," +
                              std::to_string(port / 256) + "," + std::to_string(port % 256) + ").");
}

// The client's connection to the passive port, or a connection to the
// client's PORT address; -1 when neither comes.
int ScriptedFtpServer::OpenDataConnection() {
    if (passiveListener_ >= 0) {
        int data = AcceptBefore(passiveListener_, Clock::now() + std::chrono::seconds(5));
        ::close(passiveListener_);
        passiveListener_ = -1;
        passiveConnections_ += data >= 0;
        return data;
    }
    int data = ConnectFrom("127.0.0.1", dataAddress_.c_str(), dataPort_);
    activeConnections_ += data >= 0;
    return data;
}

// The reply that opens a transfer: the 150 (or kept to go out with the final
// reply), or in active mode for FinalAtOnce the final reply alone.
bool ScriptedFtpServer::SendOpening(int control, bool passive) {
    if (script_.retrieve == FtpScript::Retrieve::FinalAtOnce && !passive)
        return Reply(control, script_.finalReply);
    if (script_.pieces == FtpScript::Pieces::OpeningWithFinal) {
        heldOpening_ = script_.openingReply + "\r\n";
        return true;
    }
    return Reply(control, script_.openingReply);
}

void ScriptedFtpServer::Deliver(int control, const std::string& content) {
    bool passive = passiveListener_ >= 0;
    if (script_.strangerFirst && !passive)
        KnockAsStranger();
    if (!SendOpening(control, passive))
        return;
    if ((script_.retrieve == FtpScript::Retrieve::OpenButNeverConnect ||
         script_.retrieve == FtpScript::Retrieve::FinalAtOnce) &&
        !passive) {
        // Holds the session until the client gives up on it.
        while (!stop_ && !PeerClosedBefore(control, Clock::now() + std::chrono::milliseconds(50))) {
        }
        return;
    }
    int data = OpenDataConnection();
    if (data < 0) {
        Reply(control, "425 Can't open data connection.");
        return;
    }
    // A REST offset holds for this transfer only.
    long from = std::min<long>(std::exchange(restAt_, 0), static_cast<long>(content.size()));
    // A cut at or past the file's end is none.
    long cut = CutNow() < static_cast<long>(content.size()) ? CutNow() : -1;
    if (cut < 0 && script_.cutEvery >= 0 &&
        from + script_.cutEvery < static_cast<long>(content.size()))
        cut = from + script_.cutEvery;
    bool reset = script_.resetAfter >= 0 || (cut >= 0 && !script_.cutInOrder);
    SendData(data, content.substr(static_cast<std::size_t>(from)),
             cut >= 0 ? std::max(0L, cut - from) : -1, cut >= 0 && !script_.cutInOrder);
    ::close(data);
    if (stop_)
        return;
    Reply(control, reset ? "426 Connection closed; transfer aborted." : script_.finalReply);
}

const std::string& ScriptedFtpServer::FileNow() const {
    return session_ > 0 && !script_.changedFile.empty() ? script_.changedFile : script_.file;
}

long ScriptedFtpServer::CutNow() const {
    auto at = static_cast<std::size_t>(session_);
    return at < script_.cutsBySession.size() ? script_.cutsBySession[at] : -1;
}

void ScriptedFtpServer::KnockAsStranger() {
    int stranger = ConnectFrom("127.0.0.2", dataAddress_.c_str(), dataPort_);
    if (stranger < 0)
        return;
    strangerClosed_ = PeerClosedBefore(stranger, Clock::now() + std::chrono::seconds(2));
    ::close(stranger);
}

void ScriptedFtpServer::SendData(int data, const std::string& content, long sessionCut,
                                 bool resetAtCut) {
    std::size_t limit = content.size();
    for (long cut : {script_.stallAfter, script_.resetAfter, script_.closeAfter, sessionCut})
        if (cut >= 0)
            limit = std::min(limit, std::size_t(cut));
    bool sent = script_.dataPaceMs > 0 ? SendPaced(data, content, limit)
                                       : SendFilePart(data, content, limit);
    if (!sent)
        return;
    if (script_.resetAfter >= 0 || resetAtCut) {
        ResetOnClose(data);
        return;
    }
    if (script_.stallAfter < 0)
        return;
    // Stalled: held until the client closes the data connection or the end.
    while (!stop_ && !PeerClosedBefore(data, Clock::now() + std::chrono::milliseconds(50))) {
    }
}

bool ScriptedFtpServer::SendFilePart(int data, const std::string& content, std::size_t limit) {
    for (std::size_t at = 0; at < limit && !stop_; at += 65536) {
        std::string piece = content.substr(at, std::min<std::size_t>(65536, limit - at));
        if (!SendAll(data, piece))
            return false;
        delivered_ += static_cast<long>(piece.size());
    }
    return !stop_;
}

// One byte, then a pause, until the limit, the stop or the client's close.
bool ScriptedFtpServer::SendPaced(int data, const std::string& content, std::size_t limit) {
    for (std::size_t at = 0; at < limit && !stop_; ++at) {
        if (!SendAll(data, content.substr(at, 1)))
            return false;
        ++delivered_;
        for (int waited = 0; waited < script_.dataPaceMs && !stop_; waited += 10)
            PauseMs(10);
    }
    return !stop_;
}

bool ScriptedFtpServer::Reply(int control, const std::string& text) {
    {
        std::lock_guard guard(lock_);
        transcript_.push_back("< " + text);
    }
    std::string bytes = heldOpening_ + text + "\r\n";
    heldOpening_.clear();
    if (script_.pieces != FtpScript::Pieces::Split || bytes.size() < 4)
        return SendAll(control, bytes);
    // Cut inside the code, so that neither piece is a reply by itself.
    if (!SendAll(control, bytes.substr(0, 2)))
        return false;
    PauseMs(30);
    return SendAll(control, bytes.substr(2));
}

}  // namespace orvane::peers
