#include "tests/report/headless_chromium.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace kmr::test {

namespace {

constexpr std::chrono::seconds kWait{60};

std::string FindBrowser() {
  for (const char* name : {"/usr/bin/chromium", "/usr/bin/chromium-browser"})
    if (access(name, X_OK) == 0) return name;
  return {};
}

// The text of the first "key":"..." in a message.
std::string StringField(const std::string& message, const std::string& key) {
  const std::string marker = "\"" + key + "\":\"";
  const std::size_t at = message.find(marker);
  if (at == std::string::npos) return {};
  const std::size_t begin = at + marker.size();
  std::size_t end = begin;
  while (end < message.size() && message[end] != '"') end += message[end] == '\\' ? 2 : 1;
  return message.substr(begin, end - begin);
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

HeadlessChromium::~HeadlessChromium() {
  if (pid_ > 0) {
    if (toBrowser_ >= 0) Send(R"({"id":999999,"method":"Browser.close"})");
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (waitpid(pid_, &status, WNOHANG) == 0 && std::chrono::steady_clock::now() < deadline)
      usleep(50'000);
    kill(-pid_, SIGKILL);  // the wrapper, the browser and its helpers
    waitpid(pid_, &status, WNOHANG);
  }
  if (toBrowser_ >= 0) close(toBrowser_);
  if (fromBrowser_ >= 0) close(fromBrowser_);
}

bool HeadlessChromium::Start(const std::string& workFolder) {
  folder_ = workFolder;
  const std::string browser = FindBrowser();
  if (browser.empty()) {
    error_ = "chromium is missing (scripts/setup installs the Debian package)";
    return false;
  }
  int commands[2], replies[2];
  if (pipe2(commands, O_CLOEXEC) != 0 || pipe2(replies, O_CLOEXEC) != 0) {
    error_ = std::strerror(errno);
    return false;
  }
  const std::string profile = "--user-data-dir=" + workFolder + "/profile";
  const std::string log = workFolder + "/chromium.log";
  std::vector<std::string> args = {browser,
                                   "--headless",
                                   "--no-sandbox",
                                   "--disable-gpu",
                                   "--disable-quic",
                                   "--no-first-run",
                                   "--disable-background-networking",
                                   "--disable-component-update",
                                   "--disable-sync",
                                   "--disable-extensions",
                                   "--disable-crash-reporter",
                                   "--disable-breakpad",
                                   "--remote-debugging-pipe",
                                   "--window-size=1280,900",
                                   profile,
                                   "about:blank"};
  pid_ = fork();
  if (pid_ < 0) {
    error_ = std::strerror(errno);
    return false;
  }
  if (pid_ == 0) {
    setpgid(0, 0);
    // The protocol talks on descriptors 3 (commands in) and 4 (replies out).
    const int in = fcntl(commands[0], F_DUPFD, 10), out = fcntl(replies[1], F_DUPFD, 10);
    dup2(in, 3);
    dup2(out, 4);
    const int sink = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (sink >= 0) dup2(sink, 1), dup2(sink, 2);
    const int null = open("/dev/null", O_RDONLY);
    if (null >= 0) dup2(null, 0);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  setpgid(pid_, pid_);
  close(commands[0]);
  close(replies[1]);
  toBrowser_ = commands[1];
  fromBrowser_ = replies[0];
  signal(SIGPIPE, SIG_IGN);

  const std::string target = Call("Target.createTarget", R"({"url":"about:blank"})", false);
  const std::string targetId = StringField(target, "targetId");
  if (targetId.empty()) {
    error_ = "the browser did not open a page: " + target + BrowserLog();
    return false;
  }
  const std::string attached =
      Call("Target.attachToTarget", R"({"targetId":")" + targetId + R"(","flatten":true})", false);
  session_ = StringField(attached, "sessionId");
  if (session_.empty()) {
    error_ = "cannot attach to the page: " + attached;
    return false;
  }
  for (const char* domain : {"Runtime.enable", "Log.enable", "Page.enable", "Network.enable"})
    if (Call(domain).empty()) {
      error_ = std::string(domain) + " got no answer";
      return false;
    }
  return true;
}

bool HeadlessChromium::Load(const std::string& url) {
  if (Call("Page.navigate", R"({"url":")" + url + R"("})").empty()) return false;
  const auto deadline = std::chrono::steady_clock::now() + kWait;
  for (const std::string& seen : events_)
    if (Has(seen, "\"method\":\"Page.loadEventFired\"")) return true;
  for (;;) {
    const std::string message = Next(deadline);
    if (message.empty()) {
      error_ = "no load event from " + url;
      return false;
    }
    Note(message);
    if (Has(message, "\"method\":\"Page.loadEventFired\"")) return true;
  }
}

std::string HeadlessChromium::Evaluate(const std::string& expression) {
  std::string quoted;
  for (char c : expression) {
    if (c == '"' || c == '\\') quoted += '\\';
    if (c == '\n') {
      quoted += "\\n";
      continue;
    }
    quoted += c;
  }
  const std::string reply =
      Call("Runtime.evaluate", R"({"expression":")" + quoted + R"(","returnByValue":true})");
  if (Has(reply, "\"exceptionDetails\"")) pageErrors_.push_back("evaluate: " + reply);
  return StringField(reply, "value");
}

std::string HeadlessChromium::Call(const std::string& method, const std::string& params,
                                   bool toPage) {
  const int id = nextId_++;
  std::string message =
      "{\"id\":" + std::to_string(id) + ",\"method\":\"" + method + "\",\"params\":" + params;
  if (toPage && !session_.empty()) message += ",\"sessionId\":\"" + session_ + "\"";
  if (!Send(message + "}")) return {};
  const std::string answer = "{\"id\":" + std::to_string(id) + ",";
  const auto deadline = std::chrono::steady_clock::now() + kWait;
  for (;;) {
    const std::string reply = Next(deadline);
    if (reply.empty()) return {};
    if (reply.rfind(answer, 0) == 0) return reply;
    Note(reply);
    events_.push_back(reply);
  }
}

bool HeadlessChromium::Send(const std::string& message) {
  std::string framed = message + '\0';
  const char* at = framed.data();
  std::size_t left = framed.size();
  while (left > 0) {
    const ssize_t written = write(toBrowser_, at, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    at += written;
    left -= static_cast<std::size_t>(written);
  }
  return true;
}

std::string HeadlessChromium::Next(std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    if (const std::size_t end = buffer_.find('\0'); end != std::string::npos) {
      std::string message = buffer_.substr(0, end);
      buffer_.erase(0, end + 1);
      return message;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return {};
    pollfd ready{fromBrowser_, POLLIN, 0};
    if (poll(&ready, 1, static_cast<int>(left.count())) <= 0) continue;
    char chunk[65536];
    const ssize_t got = read(fromBrowser_, chunk, sizeof chunk);
    if (got <= 0) return {};  // the browser went away
    buffer_.append(chunk, static_cast<std::size_t>(got));
  }
}

void HeadlessChromium::Note(const std::string& message) {
  if (Has(message, "\"method\":\"Runtime.exceptionThrown\"") ||
      (Has(message, "\"method\":\"Runtime.consoleAPICalled\"") &&
       Has(message, "\"type\":\"error\"")) ||
      (Has(message, "\"method\":\"Log.entryAdded\"") && Has(message, "\"level\":\"error\"")))
    pageErrors_.push_back(message);
  if (Has(message, "\"method\":\"Network.requestWillBeSent\""))
    requests_.push_back(StringField(message, "url"));
}

std::string HeadlessChromium::BrowserLog() const {
  std::ifstream in(folder_ + "/chromium.log");
  std::stringstream text;
  text << in.rdbuf();
  return "\n--- chromium.log ---\n" + text.str();
}

}  // namespace kmr::test
