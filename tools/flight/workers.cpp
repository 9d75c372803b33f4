#include "tools/flight/workers.h"

#include <cstdio>
#include <thread>

#ifdef _WIN32
#include <io.h>
#include <stdlib.h>

#include "foundation/paths.h"
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
extern char** environ;
#endif

namespace flight {

std::string SelfProgram(const char* argv0) {
#ifdef _WIN32
  std::string self = ProgramFile();
  return self.empty() ? argv0 : self;
#else
  char path[4096];
  ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n > 0) return std::string(path, size_t(n));
  return argv0;
#endif
}

unsigned Cores() {
  unsigned n = std::thread::hardware_concurrency();
  return n == 0 ? 1 : n;
}

#ifdef _WIN32

bool ErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

WorkerResult RunWorker(const std::string& program, const std::vector<std::string>& args) {
  // The command line the C runtime splits back into these arguments.
  auto quote = [](const std::string& a) {
    std::string q = "\"";
    size_t slashes = 0;
    for (char c : a) {
      if (c == '\\') {
        slashes++;
        continue;
      }
      q.append(c == '"' ? slashes * 2 + 1 : slashes, '\\');
      slashes = 0;
      q += c;
    }
    q.append(slashes * 2, '\\');
    return q + "\"";
  };
  std::string command = "\"" + quote(program);
  for (const std::string& a : args) command += " " + quote(a);
  command += " 2>NUL\"";
  WorkerResult result;
  FILE* pipe = _wpopen(WideText(command).c_str(), L"rb");
  if (pipe == nullptr) {
    result.failure = "could not start a worker";
    return result;
  }
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) result.output.append(buf, n);
  result.exitCode = _pclose(pipe);
  return result;
}

#else

bool ErrorIsTerminal() { return ::isatty(2) != 0; }

namespace {

// Reads the worker's output to its end, then waits for it.
void Collect(pid_t pid, int from, WorkerResult& result) {
  char buf[4096];
  for (;;) {
    ssize_t n = ::read(from, buf, sizeof buf);
    if (n > 0) result.output.append(buf, size_t(n));
    else if (n == 0 || errno != EINTR) break;
  }
  ::close(from);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  else if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
}

// Closes every descriptor from `first` on.
void CloseFrom(int first) {
#ifdef __linux__
  if (::syscall(SYS_close_range, first, ~0u, 0) == 0) return;
#endif
  long top = ::sysconf(_SC_OPEN_MAX);
  if (top < 0 || top > 65536) top = 65536;
  for (int fd = first; fd < top; fd++) ::close(fd);
}

}  // namespace

WorkerResult RunWorker(const std::string& program, const std::vector<std::string>& args) {
  WorkerResult result;
  int out[2];
  // Both ends close on exec: a worker started meanwhile by another thread
  // must not hold this pipe open (its reader would wait for that one too).
  if (::pipe2(out, O_CLOEXEC) != 0) {
    result.failure = std::string("could not make a pipe: ") + std::strerror(errno);
    return result;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  int error = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  if (error != 0) {
    ::close(out[0]);
    result.failure = "could not start a worker: " + std::string(std::strerror(error));
    return result;
  }
  Collect(pid, out[0], result);
  return result;
}

WorkerResult RunForked(const std::function<int()>& body, std::mutex& forkLock) {
  WorkerResult result;
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) {
    result.failure = std::string("could not make a pipe: ") + std::strerror(errno);
    return result;
  }
  pid_t pid;
  {
    std::lock_guard<std::mutex> lock(forkLock);
    std::fflush(stdout);  // nothing of ours is written twice
    pid = ::fork();
  }
  if (pid == 0) {
    // The child: standard output into the pipe, standard error dropped, and
    // no other descriptor of the parent's kept (a pipe of another worker
    // held open here would keep its reader waiting).
    ::dup2(out[1], 1);
    int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) ::dup2(null, 2);
    CloseFrom(3);
    int status = body();
    std::fflush(stdout);
    ::_exit(status);
  }
  ::close(out[1]);
  if (pid < 0) {
    ::close(out[0]);
    result.failure = "could not start a worker: " + std::string(std::strerror(errno));
    return result;
  }
  Collect(pid, out[0], result);
  return result;
}

#endif

}  // namespace flight
