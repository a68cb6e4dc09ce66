#include "test/subprocess.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <thread>

extern char** environ;

namespace testing_support {

namespace {

using Clock = std::chrono::steady_clock;

// Starts the child with standard input from a file holding `launch.input`
// (or /dev/null) and pipes for standard output and error; a stream whose
// pipe is not asked for (null) goes to /dev/null.
pid_t spawn(const Launch& launch, int* out, int* err) {
  std::map<std::string, std::string> merged;
  for (char** entry = environ; *entry; ++entry) {
    std::string text(*entry);
    merged[text.substr(0, text.find('='))] = text.substr(text.find('=') + 1);
  }
  for (const auto& name : launch.unset) merged.erase(name);
  for (const auto& [name, value] : launch.env) merged[name] = value;
  std::vector<std::string> env, argv = launch.argv;
  for (const auto& [name, value] : merged) env.push_back(name + "=" + value);
  auto pointers = [](std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (auto& s : strings) result.push_back(s.data());
    result.push_back(nullptr);
    return result;
  };

  int pipes[2][2];
  char inputPath[] = "/tmp/subprocess-input-XXXXXX";
  int input = ::mkstemp(inputPath);
  if (::pipe2(pipes[0], O_CLOEXEC) || ::pipe2(pipes[1], O_CLOEXEC) || input < 0)
    throw std::runtime_error("pipe");
  if (launch.input) ::write(input, launch.input->data(), launch.input->size());
  ::close(input);
  if (launch.nonBlockingOutput) ::fcntl(pipes[0][1], F_SETFL, O_NONBLOCK);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, launch.input ? inputPath : "/dev/null", O_RDONLY, 0);
  int* wanted[2] = {out, err};
  for (int i = 0; i < 2; ++i) {
    if (wanted[i]) posix_spawn_file_actions_adddup2(&actions, pipes[i][1], i + 1);
    else posix_spawn_file_actions_addopen(&actions, i + 1, "/dev/null", O_WRONLY, 0);
  }
  for (int fd : launch.closed) posix_spawn_file_actions_addclose(&actions, fd);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  // With its own group (id = its pid), whatever it forks is ended with it.
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | (launch.ownGroup ? POSIX_SPAWN_SETPGROUP : 0));
  pid_t pid;
  int error = ::posix_spawn(&pid, argv.at(0).c_str(), &actions, &attributes, pointers(argv).data(),
                            pointers(env).data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  ::unlink(inputPath);  // the child has it open already
  for (int i = 0; i < 2; ++i) {
    ::close(pipes[i][1]);
    if (wanted[i]) *wanted[i] = pipes[i][0]; else ::close(pipes[i][0]);
  }
  if (error != 0) throw std::runtime_error(std::string("spawn: ") + strerror(error));
  return pid;
}

int millisecondsUntil(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::max<long>(left.count(), 0));
}

// Appends what `fd` has to `text`; false at its end.
bool drain(int fd, std::string& text) {
  char buffer[65536];
  ssize_t n = ::read(fd, buffer, sizeof buffer);
  if (n > 0) text.append(buffer, static_cast<size_t>(n));
  return n > 0 || (n < 0 && errno == EINTR);
}

Outcome reap(pid_t pid, Clock::time_point deadline, bool group) {
  Outcome outcome;
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) != pid) {
    if (Clock::now() > deadline) ::kill(group ? -pid : pid, SIGKILL);
    ::usleep(2000);
  }
  if (group) ::kill(-pid, SIGKILL);  // whatever it left behind
  if (WIFEXITED(status)) outcome.status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
  return outcome;
}

}  // namespace

Outcome run(const Launch& launch, std::chrono::milliseconds limit) {
  int fds[2];
  pid_t pid = spawn(launch, &fds[0], &fds[1]);
  Clock::time_point deadline = Clock::now() + limit;
  std::this_thread::sleep_for(launch.readAfter);
  std::string collected[2];
  while (fds[0] >= 0 || fds[1] >= 0) {
    pollfd polled[2] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}};
    if (::poll(polled, 2, millisecondsUntil(deadline)) == 0) ::kill(pid, SIGKILL);
    for (int i = 0; i < 2; ++i) {
      if (fds[i] >= 0 && polled[i].revents && !drain(fds[i], collected[i])) {
        ::close(fds[i]);
        fds[i] = -1;
      }
    }
  }
  Outcome outcome = reap(pid, deadline, launch.ownGroup);
  outcome.out = std::move(collected[0]);
  outcome.err = std::move(collected[1]);
  return outcome;
}

Running::Running(const Launch& launch) : ownGroup_(launch.ownGroup) {
  pid_ = spawn(launch, launch.discardOutput ? nullptr : &out_, nullptr);
}

Running::~Running() {
  if (pid_ > 0) wait(std::chrono::milliseconds(0));
  if (out_ >= 0) ::close(out_);
}

std::optional<std::string> Running::nextLine(std::chrono::milliseconds limit) {
  Clock::time_point deadline = Clock::now() + limit;
  size_t end;
  while ((end = buffer_.find('\n')) == std::string::npos) {
    pollfd polled{out_, POLLIN, 0};
    if (out_ < 0 || ::poll(&polled, 1, millisecondsUntil(deadline)) <= 0 || !drain(out_, buffer_))
      return std::nullopt;
  }
  std::string line = buffer_.substr(0, end);
  buffer_.erase(0, end + 1);
  return line;
}

void Running::closeOutput() {
  ::close(out_);
  out_ = -1;
}

Outcome Running::wait(std::chrono::milliseconds limit) {
  Outcome outcome = reap(pid_, Clock::now() + limit, ownGroup_);
  pid_ = -1;
  return outcome;
}

}  // namespace testing_support
