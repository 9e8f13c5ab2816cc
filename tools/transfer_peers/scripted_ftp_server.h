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
    // FinalAtOnce: the final reply at once, with no 1xx and no connection.
    enum class Retrieve { Deliver, NotFound550, Refuse425, OpenButNeverConnect, FinalAtOnce };
    // How replies cross the control connection: each in one piece, each cut
    // in two pieces sent 30 ms apart, or the 150 reply held back and sent
    // with the final reply in one piece.
    enum class Pieces { Whole, Split, OpeningWithFinal };

    Greeting greeting = Greeting::Immediate;
    // The greeting's lines ("220-..." lines make it a multi-line reply).
    std::string greetingText = "220 Scripted FTP";
    Pieces pieces = Pieces::Whole;
    // USER is answered with 230 at once (as vsftpd does for anonymous).
    bool loginAtUser = false;
    // False: USER is never answered (a server stuck in the login).
    bool answerUser = true;
    std::string passReply = "230 Login successful.";
    Retrieve retrieve = Retrieve::Deliver;
    // The 150 reply sent before the data.
    std::string openingReply = "150 Opening BINARY mode data connection.";
    std::string file;
    // Not empty: only a RETR of this path delivers the file, any other is
    // answered 550 (a server whose file names are case-sensitive).
    std::string filePath;
    // The reply after the data connection has closed.
    std::string finalReply = "226 Transfer complete.";
    // After this many bytes of the file the data connection is closed in
    // order (-1: never): with a 426 or 451 final reply, an aborted transfer.
    long closeAfter = -1;
    // The reply to PORT; a 5xx refuses active mode.
    std::string portReply = "200 PORT command successful.";
    // PASV: refused with this reply when not empty; otherwise a listening
    // port is opened and named with this address (the numbers h1,h2,h3,h4).
    std::string pasvRefusal;
    std::string pasvAddress = "127,0,0,1";
    // EPSV is answered with 229 and a passive port (also when PASV is
    // refused); otherwise it is an unknown command.
    bool extendedPassive = false;
    // LIST sends this text; refused with 502 when listRefused, and NLST
    // then sends nameList.
    std::string listing;
    bool listRefused = false;
    std::string nameList;
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
    // SIZE is answered 213 with the file's size; otherwise 502.
    bool knowsSize = true;
    // REST is answered 350 and the next RETR starts there; refused with 502
    // when restRefused.
    bool restRefused = false;
    // Session k's data connection is cut after byte cutsBySession[k] of the
    // file (counted from the file's start; -1 or none: not cut): reset, and
    // 426 on the control connection, or closed in order and 226 when
    // cutInOrder (a transfer short of its size).
    std::vector<long> cutsBySession{};
    // Every session's data connection is reset after this many bytes of
    // what it sends unless less is left (-1: none), as a link that drops
    // now and then.
    long cutEvery = -1;
    bool cutInOrder = false;
    // Not empty: from the second session on the file is this one (a file
    // replaced on the server between two tries).
    std::string changedFile{};
    // Sessions (counted from 0) that are refused with 421 and closed at
    // once (a server gone for a while).
    std::vector<int> goneSessions{};
};

// An FTP server on 127.0.0.1 for one session at a time: in active mode it
// connects to the address of the client's PORT command, in passive mode it
// takes the client's connection on the port its 227 reply named. It records the
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
    // Data connections made in active (PORT) and passive (PASV) mode.
    int activeConnections() const { return activeConnections_; }
    int passiveConnections() const { return passiveConnections_; }
    bool strangerWasClosed() const { return strangerClosed_; }
    long bytesDelivered() const { return delivered_; }
    bool sessionEnded() const { return sessionEnded_; }
    // Sessions begun (control connections accepted).
    int sessions() const { return sessions_; }

  private:
    void Serve(int maxSeconds, int maxSessions);
    void RunSession(int control);
    bool Answer(int control, const std::string& line);
    // The next command line, recorded; "" when none began before the time,
    // nullopt when the client closed the connection.
    std::optional<std::string> ReadCommand(int control,
                                           std::chrono::steady_clock::time_point until);
    bool SendOpening(int control, bool passive);
    void Deliver(int control, const std::string& content);
    int OpenDataConnection();
    bool AnswerPasv(int control, bool extended);
    void KnockAsStranger();
    void SendData(int data, const std::string& content, long sessionCut = -1,
                  bool resetAtCut = false);
    bool SendFilePart(int data, const std::string& content, std::size_t limit);
    bool SendPaced(int data, const std::string& content, std::size_t limit);
    bool Reply(int control, const std::string& text);

    FtpScript script_;
    int listener_ = -1;
    int port_ = 0;
    std::string dataAddress_;
    int dataPort_ = 0;
    int passiveListener_ = -1;  // after PASV, until the next transfer
    std::atomic<bool> stop_{false};
    std::atomic<bool> strangerClosed_{false};
    std::atomic<long> delivered_{0};
    std::atomic<bool> sessionEnded_{false};
    std::atomic<int> sessions_{0};
    std::atomic<int> activeConnections_{0};
    std::atomic<int> passiveConnections_{0};
    std::string heldOpening_;  // the 150 reply held for the final one
    bool loggedIn_ = false;    // in the current session; server thread only
    int session_ = -1;         // the current session's number, from 0
    long restAt_ = 0;          // the REST offset for the next RETR
    const std::string& FileNow() const;
    long CutNow() const;
    std::mutex lock_;
    std::vector<std::string> commands_;
    std::vector<std::string> transcript_;
    std::thread thread_;
};

}  // namespace orvane::peers
