// Worker processes of the flight runner: each case of a sweep flies in a
// process of its own (the simulation's state is process-wide), started from
// the runner's own program file.
#pragma once
#include <string>
#include <vector>

namespace flight {

struct WorkerResult {
  std::string output;  // what it wrote to standard output
  int exitCode = -1;   // when it exited
  int signal = 0;      // when a signal ended it (POSIX): its number
  std::string failure; // set when it could not be started
};

// The runner's program file, for starting workers of it.
std::string SelfProgram(const char* argv0);
// Runs `program` with `args` (argv[1..]) and waits for it; its standard
// error is dropped (a case's problems come back in its row).
WorkerResult RunWorker(const std::string& program, const std::vector<std::string>& args);
// True when standard error is a terminal.
bool ErrorIsTerminal();
// Cores of this machine, at least 1.
unsigned Cores();

}  // namespace flight
