#include "test/subprocess.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "common/io.h"

extern char** environ;

namespace testing_support {

namespace {

using Clock = std::chrono::steady_clock;

// An unlinked file holding `text`, read from its start.
vantrel::UniqueFd temporaryFile(const std::string& text) {
  char path[] = "/tmp/subprocess-XXXXXX";
  vantrel::UniqueFd fd(::mkostemp(path, O_CLOEXEC));
  if (!fd || vantrel::writeAll(fd.get(), text) != 0) throw std::runtime_error("temporary file");
  ::unlink(path);
  ::lseek(fd.get(), 0, SEEK_SET);
  return fd;
}

// The changes to a child's environment, each sanitizer's options put after
// those it would have had: a report ends the program with status 86, which
// no program here uses, so that no test takes a report for a program's
// answer; the leaks that test/lsan-suppressions.txt names are not reported.
std::map<std::string, std::optional<std::string>> withSanitizerOptions(
    std::map<std::string, std::optional<std::string>> env) {
  for (std::string name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
    const char* inherited = std::getenv(name.c_str());
    std::optional<std::string>& options = env.try_emplace(name, inherited ? inherited : "").first->second;
    options = options.value_or("") + ":exitcode=86" + (name[0] == 'L' ? ":suppressions=" LSAN_SUPPRESSIONS : "");
  }
  return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
  std::vector<char*> result;
  for (std::string& s : strings) result.push_back(s.data());
  result.push_back(nullptr);
  return result;
}

}  // namespace

Running::Running(const Launch& launch) : ownGroup_(launch.ownGroup) {
  std::vector<std::string> argv = launch.argv, env;
  std::map<std::string, std::optional<std::string>> changes = withSanitizerOptions(launch.env);
  for (char** entry = environ; *entry; ++entry) {
    std::string text = *entry;
    if (!changes.contains(text.substr(0, text.find('=')))) env.push_back(text);
  }
  for (const auto& [name, value] : changes)
    if (value) env.push_back(name + "=" + *value);
  std::vector<char*> argvPointers = pointers(argv), envPointers = pointers(env);

  int pipe[2];
  if (::pipe2(pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  out_.reset(pipe[0]);
  vantrel::UniqueFd out(pipe[1]);
  if (launch.nonBlockingOutput) ::fcntl(out.get(), F_SETFL, O_NONBLOCK);
  vantrel::UniqueFd in = launch.input ? temporaryFile(*launch.input)
                                      : vantrel::UniqueFd(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  vantrel::UniqueFd null(::open("/dev/null", O_WRONLY | O_CLOEXEC));
  err_ = temporaryFile("");
  pid_ = ::fork();
  if (pid_ == 0) {  // only async-signal-safe calls from here on
    int streams[3] = {in.get(), launch.quiet ? null.get() : out.get(), err_.get()};
    for (int fd = 0; fd < 3; ++fd) ::dup2(streams[fd], fd);
    for (int fd : launch.closed) ::close(fd);
    // With its own group (id = its pid), whatever it forks is ended with it.
    if (launch.ownGroup) ::setpgid(0, 0);
    ::signal(SIGPIPE, launch.ignoreSigpipe ? SIG_IGN : SIG_DFL);
    ::execve(argvPointers[0], argvPointers.data(), envPointers.data());
    ::_exit(127);
  }
  if (pid_ < 0) throw std::runtime_error("fork");
}

void Running::signal(int number) { ::kill(ownGroup_ ? -pid_ : pid_, number); }

Running::~Running() {
  if (pid_ > 0) wait(std::chrono::milliseconds(0));
}

// Adds what standard output has to the buffer; false at its end or after
// `deadline`.
bool Running::read(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  pollfd polled{out_.get(), POLLIN, 0};
  if (!out_ || ::poll(&polled, 1, static_cast<int>(std::max<long>(left.count(), 0))) <= 0) return false;
  char buffer[65536];
  ssize_t n = ::read(out_.get(), buffer, sizeof buffer);
  if (n > 0) buffer_.append(buffer, static_cast<size_t>(n));
  return n > 0 || (n < 0 && errno == EINTR);
}

std::optional<std::string> Running::nextLine(std::chrono::milliseconds limit) {
  Clock::time_point deadline = Clock::now() + limit;
  size_t end;
  while ((end = buffer_.find('\n')) == std::string::npos)
    if (!read(deadline)) return std::nullopt;
  std::string line = buffer_.substr(0, end);
  buffer_.erase(0, end + 1);
  return line;
}

void Running::closeOutput() { out_.reset(); }

Outcome Running::wait(std::chrono::milliseconds limit) {
  Clock::time_point deadline = Clock::now() + limit;
  int status = 0;
  while (::waitpid(pid_, &status, WNOHANG) != pid_) {
    if (Clock::now() > deadline) ::kill(ownGroup_ ? -pid_ : pid_, SIGKILL);
    ::usleep(2000);
  }
  if (ownGroup_) ::kill(-pid_, SIGKILL);  // whatever it left behind
  pid_ = -1;
  Outcome outcome;
  if (WIFEXITED(status)) outcome.status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
  outcome.out = std::move(buffer_);
  char buffer[65536];
  ::lseek(err_.get(), 0, SEEK_SET);
  for (ssize_t n; (n = ::read(err_.get(), buffer, sizeof buffer)) > 0;) outcome.err.append(buffer, static_cast<size_t>(n));
  return outcome;
}

Outcome run(const Launch& launch, std::chrono::milliseconds limit) {
  Running child(launch);
  Clock::time_point deadline = Clock::now() + limit;
  while (child.read(deadline)) {
  }
  return child.wait(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()));
}

}  // namespace testing_support
