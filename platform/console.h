#pragma once

#include <memory>
#include <string>
#include <string_view>

// The printf dialect that format strings are checked against: the one the
// console's formatting implements. The Windows build names MinGW's
// GNU-compatible formatting (which takes %zx), since the compiler would
// otherwise check against Microsoft's runtime.
#ifndef ORVANE_PRINTF_DIALECT
#define ORVANE_PRINTF_DIALECT printf
#endif

namespace orvane {

// The loaders' console: progress and results on standard output, diagnostics
// on standard error, and the single key press that ends a phase early.
class Console {
  public:
    virtual ~Console() = default;
    virtual void out(std::string_view text) = 0;
    virtual void err(std::string_view text) = 0;
    virtual bool keyWaiting() = 0;
    // Takes the waiting key without echo.
    virtual void readKey() = 0;

    void print(const char* format, ...) __attribute__((format(ORVANE_PRINTF_DIALECT, 2, 3)));
    void printErr(const char* format, ...) __attribute__((format(ORVANE_PRINTF_DIALECT, 2, 3)));
};

std::string formatText(const char* format, ...)
    __attribute__((format(ORVANE_PRINTF_DIALECT, 1, 2)));

// The process's own console. A key is looked for only when standard input is
// a terminal; piped input is never read. The terminal is put into single-key
// mode only once a key is looked for, and gets its modes back when the
// console goes or SIGINT, SIGTERM or SIGHUP ends the process.
class StdConsole final : public Console {
  public:
    StdConsole();
    ~StdConsole() override;
    StdConsole(const StdConsole&) = delete;
    StdConsole& operator=(const StdConsole&) = delete;

    void out(std::string_view text) override;
    void err(std::string_view text) override;
    bool keyWaiting() override;
    void readKey() override;

  private:
    struct TerminalMode;
    std::unique_ptr<TerminalMode> terminal_;
};

}  // namespace orvane
