#include "tests/live/live_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace kmr::test {

Process::~Process() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
}

void Process::Start(const std::vector<std::string>& args, const std::string& logBase,
                    const std::vector<std::string>& env) {
  logBase_ = logBase;
  std::vector<std::string> environment;
  for (char** e = environ; *e != nullptr; ++e) environment.emplace_back(*e);
  for (const std::string& added : env) {
    const std::string key = added.substr(0, added.find('=') + 1);
    std::erase_if(environment, [&](const std::string& e) { return e.rfind(key, 0) == 0; });
    environment.push_back(added);
  }
  std::vector<char*> argv, envp;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (const std::string& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  const std::string out = logBase + ".out", err = logBase + ".err";
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int n = ::open("/dev/null", O_RDONLY);
    ::dup2(n, 0);
    ::dup2(o, 1);
    ::dup2(e, 2);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
}

bool Process::Wait(double seconds, int& status) {
  if (pid_ <= 0) return false;
  const bool done = WaitFor(seconds, [&] {
    int raw = 0;
    const pid_t got = ::waitpid(pid_, &raw, WNOHANG);
    if (got != pid_) return false;
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    pid_ = -1;
    return true;
  });
  return done;
}

void Process::Signal(int signal) {
  if (pid_ > 0) ::kill(pid_, signal);
}

int Process::Stop(double seconds) {
  int status = -1;
  Signal(SIGTERM);
  if (Wait(seconds, status)) return status;
  Signal(SIGKILL);
  Wait(5, status);
  return status;
}

std::string Process::Out() const { return Slurp(logBase_ + ".out"); }
std::string Process::Err() const { return Slurp(logBase_ + ".err"); }

int FreePort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t size = sizeof address;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(s);
  return ntohs(address.sin_port);
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace kmr::test
