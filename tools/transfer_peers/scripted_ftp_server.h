#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace orvane::peers {

// How a scripted FTP server behaves; the defaults are a plain anonymous
// server that asks for a password and delivers the file.
struct FtpScript {
    enum class Greeting { Immediate, AfterUser };
    enum class Retrieve { Deliver, NotFound550, Refuse425 };

    Greeting greeting = Greeting::Immediate;
    // USER is answered with 230 at once (as vsftpd does for anonymous).
    bool loginAtUser = false;
    // False: USER is never answered (a server stuck in the login).
    bool answerUser = true;
    std::string passReply = "230 Login successful.";
    Retrieve retrieve = Retrieve::Deliver;
    // The 150 reply sent before the data.
    std::string openingReply = "150 Opening BINARY mode data connection.";
    std::string file;
    // Before delivering, a connection from 127.0.0.2 knocks on the data port.
    bool strangerFirst = false;
    // After this many bytes of the file the data connection stalls (-1: never).
    long stallAfter = -1;
    // After this many bytes of the file the data connection is aborted with
    // a reset (RST) (-1: never).
    long resetAfter = -1;
    // The data connection sends one byte every dataPaceMs (0: at full speed).
    int dataPaceMs = 0;
    // Once the login has succeeded every command is read and recorded but
    // never answered, as by a server that hangs after the login.
    bool silentAfterLogin = false;
};

// An FTP server on 127.0.0.1 for one session at a time, in active mode: it
// connects to the address of the client's PORT command. It records the
// command lines it receives and stops when destroyed, after maxSeconds or
// after maxSessions.
class ScriptedFtpServer {
  public:
    explicit ScriptedFtpServer(FtpScript script, int maxSeconds = 30, int maxSessions = 2);
    ~ScriptedFtpServer();
    ScriptedFtpServer(const ScriptedFtpServer&) = delete;
    ScriptedFtpServer& operator=(const ScriptedFtpServer&) = delete;

    int port() const { return port_; }
    std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
    // Every command line received, without its CR LF.
    std::vector<std::string> commands();
    // Commands ("> USER ...") and replies ("< 331 ...") in the order they
    // crossed the control connection, as the server saw them.
    std::vector<std::string> transcript();
    bool strangerWasClosed() const { return strangerClosed_; }
    long bytesDelivered() const { return delivered_; }
    bool sessionEnded() const { return sessionEnded_; }

  private:
    void Serve(int maxSeconds, int maxSessions);
    void RunSession(int control);
    bool Answer(int control, const std::string& line);
    // The next command line, recorded; "" when none began before the time,
    // nullopt when the client closed the connection.
    std::optional<std::string> ReadCommand(int control,
                                           std::chrono::steady_clock::time_point until);
    void Deliver(int control);
    void KnockAsStranger();
    void SendData(int data);
    bool SendFilePart(int data, std::size_t limit);
    bool SendPaced(int data, std::size_t limit);
    bool Reply(int control, const std::string& text);

    FtpScript script_;
    int listener_ = -1;
    int port_ = 0;
    std::string dataAddress_;
    int dataPort_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> strangerClosed_{false};
    std::atomic<long> delivered_{0};
    std::atomic<bool> sessionEnded_{false};
    bool loggedIn_ = false;  // in the current session; server thread only
    std::mutex lock_;
    std::vector<std::string> commands_;
    std::vector<std::string> transcript_;
    std::thread thread_;
};

}  // namespace orvane::peers
