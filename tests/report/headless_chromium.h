// Headless Chromium driven over its DevTools protocol on a pipe (no port, no network): loads a
// page, gathers what the page reports as errors, and evaluates a check in the page.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace kmr::test {

class HeadlessChromium {
 public:
  HeadlessChromium() = default;
  ~HeadlessChromium();  // stops the browser by its process group
  HeadlessChromium(const HeadlessChromium&) = delete;
  HeadlessChromium& operator=(const HeadlessChromium&) = delete;

  // Starts the browser with a fresh profile under `workFolder`; false with Error() set when it
  // cannot be found or started.
  bool Start(const std::string& workFolder);
  // Opens `url` in a new page and waits for its load event.
  bool Load(const std::string& url);
  // The value of a JavaScript expression that gives a string (without quotes or backslashes).
  std::string Evaluate(const std::string& expression);

  // Exceptions, console errors and log entries of level error, as the browser reported them.
  const std::vector<std::string>& PageErrors() const { return pageErrors_; }
  // Every address the page asked for.
  const std::vector<std::string>& Requests() const { return requests_; }
  const std::string& Error() const { return error_; }
  std::string BrowserLog() const;

 private:
  // Sends a command and returns its response (empty on failure or timeout).
  std::string Call(const std::string& method, const std::string& params = "{}", bool toPage = true);
  bool Send(const std::string& message);
  // The next message, empty when none arrives before the deadline.
  std::string Next(std::chrono::steady_clock::time_point deadline);
  void Note(const std::string& message);  // keeps what an event tells of errors and requests

  pid_t pid_ = -1;
  int toBrowser_ = -1, fromBrowser_ = -1;
  std::string buffer_;
  int nextId_ = 1;
  std::string session_;
  std::string folder_;
  std::vector<std::string> pageErrors_, requests_;
  std::vector<std::string> events_;  // seen while waiting for a response
  std::string error_;
};

}  // namespace kmr::test
