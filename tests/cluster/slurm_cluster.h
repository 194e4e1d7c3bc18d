// A Slurm cluster of one node for a test: munged, slurmctld and slurmd of its own, reachable on
// 127.0.0.1 only, on free ports, with every file in a private temporary folder. Needs root and
// Debian's munge, slurmctld, slurmd and slurm-client.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace kmr::test {

struct SlurmCluster {
  std::string folder;  // key, sockets, configuration, state, spool and the daemons' logs
  std::string conf;    // slurm.conf; clients find it through SLURM_CONF
  std::string node;    // the one node's name, also the default partition's only node
  pid_t munged = -1, slurmctld = -1, slurmd = -1;
};

// Empty when a cluster can be started here; otherwise why not (not root, a program missing).
std::string SlurmClusterUnavailable();

// Starts the daemons and waits, within bounds, until the node takes jobs. Empty on success;
// otherwise what failed, with the end of the failing daemon's log, and nothing left running.
std::string StartSlurmCluster(SlurmCluster& cluster);

// Cancels every job, waits for their steps to end, stops the daemons by their process ids
// (TERM, then KILL after a grace period) and removes the folder. Safe to call more than once.
void StopSlurmCluster(SlurmCluster& cluster);

// What a client (sbatch, squeue, ...) needs in its environment to talk to this cluster.
std::vector<std::pair<std::string, std::string>> SlurmClientEnvironment(const SlurmCluster& cluster);

// The daemons' log files, for a failing test's message.
std::string SlurmLogs(const SlurmCluster& cluster);

}  // namespace kmr::test
