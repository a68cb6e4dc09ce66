#include "test/subprocess.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

extern char** environ;

namespace testing_support {

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> environmentFor(const Launch& launch) {
  std::map<std::string, std::string> merged;
  for (char** entry = environ; *entry; ++entry) {
    std::string text(*entry);
    size_t eq = text.find('=');
    if (eq != std::string::npos) merged[text.substr(0, eq)] = text.substr(eq + 1);
  }
  for (const auto& name : launch.unset) merged.erase(name);
  for (const auto& [name, value] : launch.env) merged[name] = value;
  std::vector<std::string> result;
  for (const auto& [name, value] : merged) result.push_back(name + "=" + value);
  return result;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
  std::vector<char*> result;
  for (auto& s : strings) result.push_back(s.data());
  result.push_back(nullptr);
  return result;
}

// Starts the child with pipes for the streams asked for; -1 where not.
pid_t spawn(const Launch& launch, int* in, int* out, int* err) {
  int inPipe[2], outPipe[2], errPipe[2];
  if (::pipe2(inPipe, O_CLOEXEC) || ::pipe2(outPipe, O_CLOEXEC) || ::pipe2(errPipe, O_CLOEXEC))
    throw std::runtime_error("pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (launch.input) {
    posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
  } else {
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  }
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
  if (!launch.directory.empty())
    posix_spawn_file_actions_addchdir_np(&actions, launch.directory.c_str());
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

  std::vector<std::string> argv = launch.argv;
  std::vector<std::string> env = environmentFor(launch);
  auto argvPointers = pointers(argv);
  auto envPointers = pointers(env);
  std::string executable = launch.executable.empty() ? launch.argv.at(0) : launch.executable;
  pid_t pid;
  int error = ::posix_spawn(&pid, executable.c_str(), &actions, &attributes,
                            argvPointers.data(), envPointers.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  ::close(inPipe[0]);
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  if (error != 0) throw std::runtime_error(std::string("spawn: ") + strerror(error));
  *in = inPipe[1];
  *out = outPipe[0];
  *err = errPipe[0];
  return pid;
}

Outcome reap(pid_t pid, Clock::time_point deadline) {
  Outcome outcome;
  int status = 0;
  while (true) {
    pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (Clock::now() > deadline) ::kill(pid, SIGKILL);
    ::usleep(2000);
  }
  if (WIFEXITED(status)) outcome.status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
  return outcome;
}

}  // namespace

Outcome run(const Launch& launch, std::chrono::milliseconds limit) {
  // A child may stop reading its input early; that must not end the test.
  ::signal(SIGPIPE, SIG_IGN);
  int in, out, err;
  pid_t pid = spawn(launch, &in, &out, &err);
  Clock::time_point deadline = Clock::now() + limit;
  std::string input = launch.input.value_or("");
  size_t written = 0;
  if (!launch.input || input.empty()) {
    ::close(in);
    in = -1;
  } else {
    ::fcntl(in, F_SETFL, O_NONBLOCK);
  }
  std::string collected[2];
  int fds[2] = {out, err};
  while (fds[0] >= 0 || fds[1] >= 0) {
    pollfd polled[3];
    int count = 0;
    for (int fd : fds) polled[count++] = {fd, POLLIN, 0};
    polled[count++] = {in, POLLOUT, 0};
    int wait = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                    deadline - Clock::now()).count());
    if (wait <= 0) {
      ::kill(pid, SIGKILL);
      wait = 1000;
    }
    if (::poll(polled, count, wait) < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i] < 0 || !(polled[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buffer[65536];
      ssize_t n = ::read(fds[i], buffer, sizeof buffer);
      if (n > 0) {
        collected[i].append(buffer, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        ::close(fds[i]);
        fds[i] = -1;
      }
    }
    if (in >= 0 && (polled[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
      ssize_t n = ::write(in, input.data() + written, input.size() - written);
      if (n > 0) written += static_cast<size_t>(n);
      if (n < 0 && errno != EAGAIN && errno != EINTR) written = input.size();
      if (written == input.size()) {
        ::close(in);
        in = -1;
      }
    }
  }
  if (in >= 0) ::close(in);
  Outcome outcome = reap(pid, deadline);
  outcome.out = std::move(collected[0]);
  outcome.err = std::move(collected[1]);
  return outcome;
}

Running::Running(const Launch& launch) {
  int in, err;
  pid_ = spawn(launch, &in, &out_, &err);
  ::close(in);
  ::close(err);
}

Running::~Running() {
  if (pid_ > 0) wait(std::chrono::milliseconds(0));
  if (out_ >= 0) ::close(out_);
}

std::optional<std::string> Running::nextLine(std::chrono::milliseconds limit) {
  Clock::time_point deadline = Clock::now() + limit;
  while (true) {
    size_t end = buffer_.find('\n');
    if (end != std::string::npos) {
      std::string line = buffer_.substr(0, end);
      buffer_.erase(0, end + 1);
      return line;
    }
    int wait = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                    deadline - Clock::now()).count());
    if (wait <= 0 || out_ < 0) return std::nullopt;
    pollfd polled{out_, POLLIN, 0};
    if (::poll(&polled, 1, wait) <= 0) continue;
    char buffer[4096];
    ssize_t n = ::read(out_, buffer, sizeof buffer);
    if (n <= 0) return std::nullopt;
    buffer_.append(buffer, static_cast<size_t>(n));
  }
}

void Running::closeOutput() {
  ::close(out_);
  out_ = -1;
}

Outcome Running::wait(std::chrono::milliseconds limit) {
  Outcome outcome = reap(pid_, Clock::now() + limit);
  pid_ = -1;
  return outcome;
}

}  // namespace testing_support
