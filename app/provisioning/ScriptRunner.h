#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace vvp {

// What became of one run of a printer administration tool.
struct ToolRun {
    bool finished = false; // exited on its own within the time allowed
    int exitStatus = -1;   // its exit status when it finished; -1 when it did not exit normally
    std::string report;    // what it wrote on its output and error output
    std::string problem;   // why it could not be started or its report not read; empty otherwise
};

// Runs the program (looked up on PATH when it has no "/") with the arguments as they are, never
// through a shell. Its output and error output go to a report file of the given name in a fresh
// private folder under tempFolder; it has no terminal and reads nothing. The run waits until the
// program exits or the time is up; then the program and everything it started are killed and
// reaped. The report is read back (bounded) and the folder removed.
ToolRun RunToReport(const std::vector<std::string>& argv, const std::string& tempFolder,
                    const std::string& reportName, std::chrono::milliseconds limit);

} // namespace vvp
