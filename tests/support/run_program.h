#pragma once

// Running host programs from tests and collecting what they write.

#include <string>
#include <vector>

namespace test_support {

struct CommandResult {
    int exit_status;           // -1 when the command did not exit normally
    std::string output;        // standard output
    std::string error_output;  // standard error
};

// Runs a program (looked up in PATH when the name has no slash) with the
// given arguments, the first being the program itself, without a shell, and
// collects its output and exit status. Standard input is /dev/null;
// `environment` holds NAME=value strings added to the program's environment.
CommandResult run_program(const std::vector<std::string>& arguments,
                          const std::vector<std::string>& environment = {});

// Runs a command line with /bin/sh -c.
CommandResult run_host_command(const std::string& command_line);

// The exit status in a waitpid() status, or -1 when a signal ended the child.
int exit_status_of(int wait_status);

// The whole contents of a file; empty when it cannot be read.
std::string read_file(const std::string& path);

// In a forked child: points standard input at /dev/null and standard output
// and error at the given files (created or emptied).
void redirect_standard_streams(const std::string& output_path, const std::string& error_path);

// In a forked child: replaces the process with the program; exit status 127
// when it cannot be started.
[[noreturn]] void execute(const std::vector<std::string>& arguments);

}  // namespace test_support
