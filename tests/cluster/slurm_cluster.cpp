#include "tests/cluster/slurm_cluster.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "tests/convert/run_program.h"

extern char** environ;

namespace kmr::test {

namespace {

using Clock = std::chrono::steady_clock;

// Short enough for a test, long enough for a loaded machine of two cores.
constexpr auto kStartLimit = std::chrono::seconds(20);
constexpr auto kDrainLimit = std::chrono::seconds(15);
constexpr auto kGrace = std::chrono::seconds(5);
constexpr int kClientSeconds = 8;  // a client retries for about ten seconds on a dead controller

const char* const kPrograms[] = {"mungekey", "munged",  "munge",   "unmunge", "slurmctld",
                                 "slurmd",   "sbatch",  "scontrol", "sinfo",   "squeue",
                                 "scancel"};

std::string FindProgram(const std::string& name) {
  std::string path = getenv("PATH") ? getenv("PATH") : "";
  path += ":/usr/sbin:/sbin:/usr/bin:/bin";  // daemons live in sbin, often not on a test's PATH
  std::istringstream folders(path);
  for (std::string folder; std::getline(folders, folder, ':');) {
    if (folder.empty()) continue;
    const std::string candidate = folder + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

Outcome Client(const SlurmCluster& cluster, const std::string& name,
               std::vector<std::string> args, std::string input = {}) {
  return RunProgram(FindProgram(name),
                    {std::move(args), SlurmClientEnvironment(cluster), std::move(input),
                     kClientSeconds});
}

// A daemon in a session of its own, reading nothing, its output in a file: a caller that
// catches our output must not wait for the daemon to close it. Should the test die (a CTest
// timeout), the daemon is sent TERM rather than left running.
pid_t SpawnDaemon(const SlurmCluster& cluster, const std::string& name,
                  const std::vector<std::string>& args) {
  const std::string program = FindProgram(name), out = cluster.folder + "/" + name + ".out";
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
  env.push_back("SLURM_CONF=" + cluster.conf);
  std::vector<char*> argv{const_cast<char*>(program.c_str())}, envp;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);

  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid != 0) return pid;
  // Only async-signal-safe calls from here on.
  const int input = open("/dev/null", O_RDONLY), output = open(out.c_str(), O_WRONLY | O_CREAT |
                                                                            O_TRUNC, 0644);
  if (setsid() < 0 || prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != parent ||
      input < 0 || output < 0 || dup2(input, 0) < 0 || dup2(output, 1) < 0 || dup2(output, 2) < 0)
    _exit(127);
  if (input > 2) close(input);
  if (output > 2) close(output);
  execve(program.c_str(), argv.data(), envp.data());
  _exit(127);
}

// The daemons are our children, so waitpid tells whether one has gone (and reaps it).
bool Running(pid_t& pid) {
  if (pid <= 0) return false;
  int status = 0;
  if (waitpid(pid, &status, WNOHANG) == 0) return true;
  pid = -1;
  return false;
}

void Stop(pid_t& pid) {
  if (!Running(pid)) return;
  kill(pid, SIGTERM);
  const auto deadline = Clock::now() + kGrace;
  while (Running(pid) && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  if (!Running(pid)) return;
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  pid = -1;
}

// Polls `ready` until it holds; gives up at the deadline or as soon as the daemon has gone.
bool WaitFor(pid_t& daemon, const std::function<bool()>& ready) {
  const auto deadline = Clock::now() + kStartLimit;
  while (Clock::now() < deadline) {
    if (!Running(daemon)) return false;
    if (ready()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

std::string Tail(const std::string& path, std::size_t lines = 15) {
  std::vector<std::string> all = Lines(Slurp(path));
  std::string text;
  for (std::size_t i = all.size() > lines ? all.size() - lines : 0; i < all.size(); ++i)
    text += "  " + all[i] + "\n";
  return text;
}

// Job steps re-parent to init, so they are found by the configuration they were started with.
std::vector<pid_t> StrayProcesses(const SlurmCluster& cluster) {
  const std::string mark = "SLURM_CONF=" + cluster.conf + '\0';
  std::vector<pid_t> found;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const pid_t pid = std::stoi(name);
    if (pid == cluster.munged || pid == cluster.slurmctld || pid == cluster.slurmd ||
        pid == getpid())
      continue;
    if ((Slurp(entry.path().string() + "/environ") + '\0').find(mark) == std::string::npos)
      continue;
    // A process that has ended but is not yet reaped is no longer running anything; a daemon's
    // own helper (slurmctld's slurmscriptd) ends with it.
    const std::string status = Slurp(entry.path().string() + "/status");
    if (Has(status, "\nState:\tZ")) continue;
    const std::size_t parent = status.find("\nPPid:\t");
    const pid_t ppid = parent == std::string::npos ? 0 : std::atoi(status.c_str() + parent + 7);
    if (ppid > 0 && ppid == cluster.slurmctld) continue;
    found.push_back(pid);
  }
  return found;
}

int ReserveTwoPorts(int& first, int& second) {
  int sockets[2] = {-1, -1}, ports[2] = {0, 0};
  for (int i = 0; i < 2; ++i) {
    sockets[i] = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (sockets[i] < 0 || bind(sockets[i], reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        getsockname(sockets[i], reinterpret_cast<sockaddr*>(&address), &size) != 0)
      break;
    ports[i] = ntohs(address.sin_port);
  }
  for (int s : sockets)
    if (s >= 0) close(s);
  first = ports[0];
  second = ports[1];
  return first > 0 && second > 0;
}

std::string ShortHostName() {
  char name[256] = {};
  gethostname(name, sizeof name - 1);
  std::string host = name;
  return host.substr(0, host.find('.'));
}

std::string Configuration(const SlurmCluster& cluster, const std::string& hardware, int ctldPort,
                          int nodePort) {
  const std::string& d = cluster.folder;
  std::ostringstream conf;
  conf << "ClusterName=kmrtest\n"
       // slurmctld insists on the machine's own short name; the address keeps it on loopback.
       << "SlurmctldHost=" << ShortHostName() << "(127.0.0.1)\n"
       << "SlurmctldPort=" << ctldPort << "\nSlurmdPort=" << nodePort << "\n"
       << "CommunicationParameters=NoCtldInAddrAny,NoInAddrAny\n"
       << "SlurmUser=root\nSlurmdUser=root\n"
       << "AuthType=auth/munge\nCredType=cred/munge\nAuthInfo=socket=" << d << "/munge.socket\n"
       << "StateSaveLocation=" << d << "/state\nSlurmdSpoolDir=" << d << "/spool\n"
       << "SlurmctldPidFile=" << d << "/slurmctld.pid\nSlurmdPidFile=" << d << "/slurmd.pid\n"
       << "SlurmctldLogFile=" << d << "/slurmctld.log\nSlurmdLogFile=" << d << "/slurmd.log\n"
       // Nothing that needs cgroups, accounting or a database.
       << "ProctrackType=proctrack/linuxproc\nTaskPlugin=task/none\n"
       << "JobAcctGatherType=jobacct_gather/none\nAccountingStorageType=accounting_storage/none\n"
       << "JobCompType=jobcomp/none\nJobContainerType=job_container/none\n"
       << "SwitchType=switch/none\nMpiDefault=none\n"
       << "SelectType=select/cons_tres\nSelectTypeParameters=CR_Core\n"
       << "SchedulerParameters=batch_sched_delay=0\nReturnToService=2\nMailProg=/bin/true\n"
       << "PlugStackConfig=" << d << "/plugstack.conf\n"
       // Finished jobs leave the queue after seconds, so `sbatch --wait` returns soon.
       << "MinJobAge=5\n"
       << "NodeName=" << cluster.node << " NodeAddr=127.0.0.1 " << hardware << "\n"
       << "PartitionName=kmr Nodes=" << cluster.node << " Default=YES MaxTime=INFINITE State=UP\n";
  return conf.str();
}

std::string Fail(SlurmCluster& cluster, const std::string& what, const std::string& log) {
  std::string message = what + "\n" + Tail(log);
  StopSlurmCluster(cluster);
  return message;
}

}  // namespace

std::string SlurmClusterUnavailable() {
  if (geteuid() != 0) return "the Slurm daemons of the test run as root, and this is not root";
  for (const char* program : kPrograms)
    if (FindProgram(program).empty())
      return std::string("no ") + program +
             " here (scripts/setup installs munge, slurmctld, slurmd and slurm-client)";
  return {};
}

std::string StartSlurmCluster(SlurmCluster& cluster) {
  char pattern[] = "/tmp/kmr_slurm_XXXXXX";
  if (mkdtemp(pattern) == nullptr) return "cannot make a temporary folder";
  cluster.folder = pattern;
  cluster.conf = cluster.folder + "/slurm.conf";
  cluster.node = "kmrnode";
  const std::string& d = cluster.folder;
  // munged wants every folder above its socket open to all.
  chmod(d.c_str(), 0755);
  for (const char* sub : {"/state", "/spool"}) mkdir((d + sub).c_str(), 0755);
  std::ofstream(d + "/plugstack.conf");

  const std::string key = d + "/munge.key", socket = d + "/munge.socket";
  const Outcome made = RunProgram(FindProgram("mungekey"),
                                  {{"--create", "--keyfile=" + key}, {}, {}, kClientSeconds});
  if (made.status != 0) return Fail(cluster, "mungekey failed: " + made.err, "");
  chmod(key.c_str(), 0600);
  cluster.munged = SpawnDaemon(cluster, "munged",
                               {"--foreground", "--socket=" + socket, "--key-file=" + key,
                                "--pid-file=" + d + "/munged.pid", "--seed-file=" + d + "/munged.seed",
                                "--log-file=" + d + "/munged.log"});
  const bool mungeUp = WaitFor(cluster.munged, [&] {
    const Outcome credential = Client(cluster, "munge", {"-n", "-S", socket});
    return credential.status == 0 &&
           Client(cluster, "unmunge", {"-S", socket}, credential.out).status == 0;
  });
  if (!mungeUp) return Fail(cluster, "munged did not come up", d + "/munged.out");

  const Outcome hardware = Client(cluster, "slurmd", {"-C"});
  std::string words = Lines(hardware.out).empty() ? "" : Lines(hardware.out)[0];
  if (hardware.status != 0 || words.rfind("NodeName=", 0) != 0)
    return Fail(cluster, "slurmd -C said no hardware: " + hardware.out + hardware.err, "");
  words = words.substr(words.find(' ') + 1);  // the node gets our name, keeps its true sizes
  int ctldPort = 0, nodePort = 0;
  if (!ReserveTwoPorts(ctldPort, nodePort)) return Fail(cluster, "no free ports on 127.0.0.1", "");
  std::ofstream(cluster.conf) << Configuration(cluster, words, ctldPort, nodePort);

  cluster.slurmctld = SpawnDaemon(cluster, "slurmctld", {"-D", "-i", "-f", cluster.conf});
  const bool controllerUp = WaitFor(cluster.slurmctld, [&] {
    return Has(Client(cluster, "scontrol", {"ping"}).out, "is UP");
  });
  if (!controllerUp) return Fail(cluster, "slurmctld did not come up", d + "/slurmctld.log");

  cluster.slurmd = SpawnDaemon(cluster, "slurmd", {"-D", "-N", cluster.node, "-f", cluster.conf});
  const bool nodeUp = WaitFor(cluster.slurmd, [&] {
    return Client(cluster, "sinfo", {"-h", "-n", cluster.node, "-o", "%T"}).out == "idle\n";
  });
  if (!nodeUp) return Fail(cluster, "slurmd's node did not become idle", d + "/slurmd.log");
  return {};
}

void StopSlurmCluster(SlurmCluster& cluster) {
  if (cluster.folder.empty()) return;
  if (Running(cluster.slurmctld)) {
    const Outcome queue = Client(cluster, "squeue", {"-h", "-o", "%i"});
    std::vector<std::string> jobs = Lines(queue.out);
    if (!jobs.empty()) {
      jobs.insert(jobs.begin(), "--quiet");
      Client(cluster, "scancel", jobs);
    }
    const auto deadline = Clock::now() + kDrainLimit;
    while (Clock::now() < deadline && Running(cluster.slurmctld) &&
           (!Client(cluster, "squeue", {"-h", "-o", "%i"}).out.empty() ||
            !StrayProcesses(cluster).empty()))
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  Stop(cluster.slurmd);
  Stop(cluster.slurmctld);
  Stop(cluster.munged);
  // Whatever a job left behind, found by its configuration: nothing of ours outlives the test.
  for (pid_t pid : StrayProcesses(cluster)) kill(pid, SIGKILL);
  std::error_code ignored;
  std::filesystem::remove_all(cluster.folder, ignored);
  cluster.folder.clear();
}

std::vector<std::pair<std::string, std::string>> SlurmClientEnvironment(
    const SlurmCluster& cluster) {
  return {{"SLURM_CONF", cluster.conf}};
}

std::string SlurmLogs(const SlurmCluster& cluster) {
  std::string text;
  for (const char* log : {"slurmctld.log", "slurmd.log", "munged.out"})
    text += std::string(log) + ":\n" + Tail(cluster.folder + "/" + log, 30);
  return text;
}

}  // namespace kmr::test
