#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace orvane {

// The result of a start, in the manner of ShellExecute: 32 or more means the
// program was started; a smaller number says why not.
inline constexpr int kProgramStarted = 42;
inline constexpr int kStartFailedOther = 0;     // no resources, or another cause
inline constexpr int kStartFileNotFound = 2;    // ERROR_FILE_NOT_FOUND
inline constexpr int kStartPathNotFound = 3;    // ERROR_PATH_NOT_FOUND
inline constexpr int kStartAccessDenied = 5;    // SE_ERR_ACCESSDENIED (also a folder)
inline constexpr int kStartOutOfMemory = 8;     // SE_ERR_OOM
inline constexpr int kStartNotExecutable = 11;  // ERROR_BAD_FORMAT

inline bool programStartSucceeded(int result) {
    return result >= 32;
}

// Variables set (or replaced) in a started program's environment.
using EnvironmentChanges = std::vector<std::pair<std::string, std::string>>;

// Starts the program with the given arguments, each handed over as it is:
// no shell and no command line are involved, so blanks, quotes or shell
// characters in an argument reach the program as one argument, and a file
// that is not a program fails (it is never handed to a shell to run). A
// program name without "/" is looked for in $PATH. The program runs on its own: it
// is never waited for, and it does not become a zombie of this process.
// It inherits the environment (with the changes given), the working folder
// and the standard streams; no other descriptor of this process reaches it.
int startProgram(const std::string& program, const std::vector<std::string>& arguments,
                 const EnvironmentChanges& changes = {});

// Starts the program the same way, as a child of this process that the
// caller waits for (ProgramWatch does, on the main loop): its process id
// once it has become the program, nullopt when it could not be started.
std::optional<pid_t> startChildProgram(const std::string& program,
                                       const std::vector<std::string>& arguments,
                                       const EnvironmentChanges& changes);

}  // namespace orvane
