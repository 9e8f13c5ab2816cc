#include "transfer/fetch_arguments.h"

#include <charconv>
#include <cstddef>

namespace orvane {

const char kFetchUsage[] =
    "usage: orvane-fetch [OPTIONS] URL [DIRECTORY]\n"
    "       orvane-fetch --list FTP-URL\n"
    "Downloads one file over HTTP, HTTPS or FTP, or lists an FTP folder.\n"
    "  -o FILE        save as FILE (through a temporary file beside it)\n"
    "  -O DIR         save into DIR (as DIRECTORY does)\n"
    "  -q, --quiet    no progress; only the result and any failure\n"
    "  --retry N      tries after a lost connection, resuming the file (default 3)\n"
    "  --timeout SECONDS  a server silent that long counts as lost (default 60)\n"
    "  -c, --continue continue a partial file of that name left by an earlier run,\n"
    "                 when the server proves it is the start of the same file\n"
    "  -h, --help     this text\n"
    "      --version  the program's version\n"
    "Exit status 0: saved (its path on standard output); 1: the transfer failed;\n"
    "2: wrong arguments.\n";

namespace {

// Reads the command line one argument at a time.
class ArgumentReader {
  public:
    ArgumentReader(const std::vector<std::string>& arguments, std::string& error)
        : arguments_(arguments), error_(error) {}

    std::optional<FetchArguments> Read() {
        while (next_ < arguments_.size()) {
            const std::string& argument = arguments_[next_++];
            if (!onlyOperands_ && argument.size() > 1 && argument[0] == '-') {
                if (!TakeOption(argument))
                    return std::nullopt;
            } else {
                operands_.push_back(argument);
            }
        }
        return Finish();
    }

  private:
    bool TakeOption(const std::string& option) {
        if (option == "--")
            onlyOperands_ = true;
        else if (option == "-h" || option == "--help")
            result_.action = FetchArguments::Action::Help;
        else if (option == "--version")
            result_.action = FetchArguments::Action::Version;
        else if (option == "-q" || option == "--quiet")
            result_.quiet = true;
        else if (option == "-c" || option == "--continue")
            result_.continueLocal = true;
        else if (option == "--list")
            list_ = true;
        else if (option == "-o")
            return TakeValue(option, result_.outputFile);
        else if (option == "-O")
            return TakeValue(option, result_.directory);
        else if (option == "--retry")
            return TakeCount(option, result_.retries);
        else if (option == "--timeout")
            return TakeSeconds(option, result_.silenceLimitMs);
        else
            return Refuse("unknown option " + option);
        return true;
    }

    bool TakeValue(const std::string& option, std::string& value) {
        if (next_ >= arguments_.size() || arguments_[next_].empty())
            return Refuse("option " + option + " needs a value");
        value = arguments_[next_++];
        return true;
    }

    // A positive number of seconds, fractions allowed, at most a day.
    bool TakeSeconds(const std::string& option, int& ms) {
        std::string text;
        if (!TakeValue(option, text))
            return false;
        double seconds = 0;
        auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
        if (error != std::errc() || end != text.data() + text.size() || !(seconds > 0) ||
            seconds > 86400)
            return Refuse("option " + option + " takes a number of seconds, not " + text);
        ms = static_cast<int>(seconds * 1000 + 0.5);
        return true;
    }

    // A count of tries, 0 to 100.
    bool TakeCount(const std::string& option, int& count) {
        std::string text;
        if (!TakeValue(option, text))
            return false;
        auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
        if (error != std::errc() || end != text.data() + text.size() || count < 0 || count > 100)
            return Refuse("option " + option + " takes a count from 0 to 100, not " + text);
        return true;
    }

    bool Refuse(const std::string& why) {
        error_ = why;
        return false;
    }

    std::optional<FetchArguments> Finish() {
        // --help and --version answer whatever else is written.
        if (result_.action != FetchArguments::Action::Fetch)
            return result_;
        if (operands_.empty())
            return Refused("no URL given");
        result_.url = operands_[0];
        if (list_)
            return FinishList();
        if (operands_.size() > 2)
            return Refused("more than one DIRECTORY");
        if (operands_.size() == 2 && !result_.directory.empty())
            return Refused("both -O and DIRECTORY given");
        if (operands_.size() == 2)
            result_.directory = operands_[1];
        if (!result_.outputFile.empty() && !result_.directory.empty())
            return Refused("-o names the whole path: no DIRECTORY with it");
        return result_;
    }

    std::optional<FetchArguments> FinishList() {
        if (operands_.size() != 1 || !result_.outputFile.empty() || !result_.directory.empty())
            return Refused("--list takes one URL and nothing else");
        result_.action = FetchArguments::Action::List;
        return result_;
    }

    std::optional<FetchArguments> Refused(const std::string& why) {
        Refuse(why);
        return std::nullopt;
    }

    const std::vector<std::string>& arguments_;
    std::string& error_;
    std::size_t next_ = 0;
    bool onlyOperands_ = false;
    bool list_ = false;
    std::vector<std::string> operands_;
    FetchArguments result_;
};

}  // namespace

std::optional<FetchArguments> ParseFetchArguments(const std::vector<std::string>& arguments,
                                                  std::string& error) {
    return ArgumentReader(arguments, error).Read();
}

}  // namespace orvane
