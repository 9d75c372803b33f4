// Worker processes of the flight runner: each case of a sweep flies in a
// process of its own (the simulation's state is process-wide), started from
// the runner's own program file.
#pragma once
#include <functional>
#include <mutex>
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
#ifndef _WIN32
// Runs `body` in a child process forked from this one and waits for it: what
// it writes to standard output comes back in output, its return value is its
// exit status; its standard error is dropped. The child starts from this
// process's state (content already loaded stays loaded) and none of it comes
// back. forkLock is held while forking: threads that log or print hold it
// too, so no child starts with a half-written line or a stream locked.
WorkerResult RunForked(const std::function<int()>& body, std::mutex& forkLock);
#endif
// True when standard error is a terminal.
bool ErrorIsTerminal();
// Cores of this machine, at least 1.
unsigned Cores();

}  // namespace flight
