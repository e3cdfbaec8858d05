#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace vvp {

struct VvpdOptions {
    std::string programFolder; // --program-folder / VVP_PROGRAM_FOLDER
    std::string registryFile;  // --registry / VVP_REGISTRY
    std::string answersFile;   // --answers
    std::string peer = "127.0.0.1";
    std::vector<std::string> args; // the command and its arguments
};

// Parses the command line; false with a message in error when it is wrong.
bool ParseVvpdOptions(int argc, char** argv, VvpdOptions& options, std::string& error);

int VvpdMain(int argc, char** argv);
int RunSettingsCommand(const VvpdOptions& options, std::ostream& out, std::ostream& err);
int RunConvertCommand(const VvpdOptions& options, std::ostream& out, std::ostream& err);
int RunSetCommand(const VvpdOptions& options, std::ostream& out, std::ostream& err);
int RunJobsCommand(const VvpdOptions& options, std::ostream& out, std::ostream& err);
int RunRetryCommand(const VvpdOptions& options, std::ostream& out, std::ostream& err);
int RunDiscardCommand(const VvpdOptions& options, std::ostream& out, std::ostream& err);
int RunReloadCommand(const VvpdOptions& options, std::ostream& out, std::ostream& err);
int RunStatusCommand(const VvpdOptions& options, std::ostream& out, std::ostream& err);

struct Folders;
// What `vvpd status` shows of a running service: its status line and its last problem.
void WriteServiceStatus(const Folders& folders, const std::string& status, const std::string& lastProblem);

} // namespace vvp
