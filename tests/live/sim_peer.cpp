#include "sim_peer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

#include <quickfix/FieldNumbers.h>
#include <quickfix/Session.h>
#include <quickfix/fix44/MarketDataRequest.h>
#include <quickfix/fix44/NewOrderSingle.h>

#include "live/fix/fix_number.h"

extern char** environ;

namespace kmr::test {

TempFolder::TempFolder() {
  char pattern[] = "/tmp/kmr-sim-test-XXXXXX";
  path = ::mkdtemp(pattern);
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

std::string TempFolder::Write(const std::string& name, const std::string& text) const {
  const std::filesystem::path file = path / name;
  std::ofstream(file, std::ios::binary) << text;
  return file.string();
}

int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t size = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(fd);
  return ntohs(address.sin_port);
}

namespace {

pid_t Spawn(const std::vector<std::string>& args, const std::filesystem::path& err,
            const std::filesystem::path& cwd) {
  std::vector<std::string> all{KMR_BROKER_SIM_PROGRAM};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

int ExitOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

}  // namespace

SimProcess::SimProcess(const TempFolder& folder, const std::vector<std::string>& args)
    : err_(folder.path / "sim.err") {
  pid_ = Spawn(args, err_, folder.path);
}

SimProcess::~SimProcess() {
  if (pid_ <= 0 || exit_ >= 0) return;
  ::kill(pid_, SIGTERM);
  if (WaitForExit(std::chrono::seconds(5)) < 0) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
}

bool SimProcess::WaitForStatus(const std::string& text, std::chrono::milliseconds timeout) const {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < end) {
    if (Status().find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

int SimProcess::WaitForExit(std::chrono::milliseconds timeout) {
  if (exit_ >= 0 || pid_ <= 0) return exit_;
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < end) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) return exit_ = ExitOf(status);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return -1;
}

std::string SimProcess::Status() const { return ReadFile(err_); }

int RunSim(const TempFolder& folder, const std::vector<std::string>& args, std::string& err) {
  SimProcess sim(folder, args);
  const int status = sim.WaitForExit(std::chrono::seconds(10));
  err = sim.Status();
  return status;
}

Peer::Peer(const TempFolder& folder, int port, const std::string& password,
           const std::string& caFile, const std::string& clientCert,
           const std::string& clientKey)
    : password_(password) {
  std::ostringstream s;
  s << "[DEFAULT]\nConnectionType=initiator\nSocketConnectHost=127.0.0.1\nSocketConnectPort="
    << port << "\nReconnectInterval=1\nHeartBtInt=30\nSocketNodelay=Y\nFileStorePath="
    << (folder.path / "peer-store").string()
    << "\nStartTime=00:00:00\nEndTime=00:00:00\nUseDataDictionary=Y\nDataDictionary="
    << KMR_FIX44_XML
    << "\nResetOnLogon=N\nResetOnLogout=N\nResetOnDisconnect=N\n";
  if (!caFile.empty())
    s << "CertificationAuthoritiesFile=" << caFile << "\nCertificateVerifyLevel=1\n"
      << "SSLProtocol=+TLSv1.2 +TLSv1.3\nClientCertificateFile=" << clientCert
      << "\nClientCertificateKeyFile=" << clientKey << "\n";
  s << "\n[SESSION]\n"
       "BeginString=FIX.4.4\nSenderCompID=KMR\nTargetCompID=SIM\n";
  std::istringstream in(s.str());
  settings_ = std::make_unique<FIX::SessionSettings>(in);
  store_ = std::make_unique<FIX::FileStoreFactory>(*settings_);
  if (caFile.empty())
    initiator_ = std::make_unique<FIX::SocketInitiator>(*this, *store_, *settings_);
  else
    initiator_ = MakeTlsInitiator(*this, *store_, *settings_);
  initiator_->start();
}

Peer::~Peer() { initiator_->stop(true); }

bool Peer::WaitLoggedOn(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return cv_.wait_for(lock, timeout, [&] { return loggedOn_; });
}

bool Peer::WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

void Peer::onLogon(const FIX::SessionID&) {
  std::lock_guard<std::mutex> lock(mutex_);
  loggedOn_ = true;
  cv_.notify_all();
}

void Peer::onLogout(const FIX::SessionID&) {
  std::lock_guard<std::mutex> lock(mutex_);
  loggedOn_ = false;
}

void Peer::toAdmin(FIX::Message& message, const FIX::SessionID&) {
  if (!password_.empty() && message.getHeader().getField(FIX::FIELD::MsgType) == "A")
    message.setField(FIX::FIELD::Password, password_);
}

void Peer::fromAdmin(const FIX::Message& message, const FIX::SessionID&) {
  if (message.getHeader().getField(FIX::FIELD::MsgType) != "A") return;
  std::lock_guard<std::mutex> lock(mutex_);
  ++logons_;
  logonSeqs_.push_back(std::stoi(message.getHeader().getField(FIX::FIELD::MsgSeqNum)));
}

void Peer::fromApp(const FIX::Message& message, const FIX::SessionID&) {
  std::lock_guard<std::mutex> lock(mutex_);
  app_.push_back(message);
}

void Peer::Send(FIX::Message message) { FIX::Session::sendToTarget(message, id_); }

void Peer::Subscribe(const std::string& mdReqId, const std::string& symbol) {
  FIX44::MarketDataRequest request(FIX::MDReqID(mdReqId), FIX::SubscriptionRequestType('1'),
                                   FIX::MarketDepth(1));
  request.set(FIX::MDUpdateType(1));
  for (const char type : {'0', '1'}) {
    FIX44::MarketDataRequest::NoMDEntryTypes entry;
    entry.set(FIX::MDEntryType(type));
    request.addGroup(entry);
  }
  FIX44::MarketDataRequest::NoRelatedSym related;
  related.set(FIX::Symbol(symbol));
  request.addGroup(related);
  Send(request);
}

void Peer::Order(const std::string& clOrdId, char side, const std::string& qty,
                 const std::string& symbol, char positionEffect) {
  FIX44::NewOrderSingle order(FIX::ClOrdID(clOrdId), FIX::Side(side), FIX::TransactTime(),
                              FIX::OrdType('1'));
  order.set(FIX::Symbol(symbol));
  order.setField(FIX::FIELD::OrderQty, qty);
  if (positionEffect != 0) order.set(FIX::PositionEffect(positionEffect));
  Send(order);
}

void Peer::Step(long long n) {
  FIX::Message request;
  request.getHeader().setField(FIX::FIELD::MsgType, "1");
  request.setField(FIX::FIELD::TestReqID, "KMR-STEP-" + std::to_string(n));
  Send(request);
}

std::vector<FIX::Message> Peer::AppMessages() {
  std::lock_guard<std::mutex> lock(mutex_);
  return app_;
}

std::vector<Quote> Peer::Quotes() {
  std::vector<Quote> quotes;
  for (const FIX::Message& m : AppMessages()) {
    const std::string type = m.getHeader().getField(FIX::FIELD::MsgType);
    if (type != "W" && type != "X") continue;
    Quote q;
    q.type = type[0];
    q.seq = std::stoi(m.getHeader().getField(FIX::FIELD::MsgSeqNum));
    q.possDup = m.getHeader().isSetField(FIX::FIELD::PossDupFlag) &&
                m.getHeader().getField(FIX::FIELD::PossDupFlag) == "Y";
    for (std::size_t i = 1; i <= m.groupCount(FIX::FIELD::NoMDEntries); ++i) {
      const FIX::FieldMap& e = m.getGroupRef(static_cast<int>(i), FIX::FIELD::NoMDEntries);
      const double px = ParseFixNumber(e.getField(FIX::FIELD::MDEntryPx)).value_or(-1);
      const bool bid = e.getField(FIX::FIELD::MDEntryType) == "0";
      (bid ? q.bid : q.ask) = px;
      (bid ? q.date : q.offerDate) = e.getField(FIX::FIELD::MDEntryDate);
      (bid ? q.time : q.offerTime) = e.getField(FIX::FIELD::MDEntryTime);
    }
    quotes.push_back(q);
  }
  return quotes;
}

std::vector<FIX::Message> Peer::Reports() {
  std::vector<FIX::Message> reports;
  for (const FIX::Message& m : AppMessages())
    if (m.getHeader().getField(FIX::FIELD::MsgType) == "8") reports.push_back(m);
  return reports;
}

std::vector<FIX::Message> Peer::ReportsFor(const std::string& clOrdId) {
  std::vector<FIX::Message> reports;
  for (const FIX::Message& m : Reports())
    if (m.getField(FIX::FIELD::ClOrdID) == clOrdId) reports.push_back(m);
  return reports;
}

int Peer::Logons() {
  std::lock_guard<std::mutex> lock(mutex_);
  return logons_;
}

std::vector<int> Peer::LogonSeqs() {
  std::lock_guard<std::mutex> lock(mutex_);
  return logonSeqs_;
}

}  // namespace kmr::test
