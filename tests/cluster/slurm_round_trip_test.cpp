// kmr-sweep-cluster on a real Slurm: the merged result of the job array is the local sweep's.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/cluster/slurm_cluster.h"
#include "tests/convert/run_program.h"

namespace kmr::test {
namespace {

const std::string kPrices = std::string(KMR_TEST_DATA) + "/replay_small.txt";

// Eight runs that trade differently on the small file (history till line 100).
std::vector<std::string> SweepArguments(const std::string& axis) {
  return {"--defaults", "--library", KMR_ENGINE_LIBRARY, "--history-till", "1996-04-03 01:30:00",
          "--tick-size", "0.0001", "--tick-value", "10", "--deal-size", "1", "--spread", "0.0002",
          "--trend", "h10,t5", "--consider-first", "1", "--reversal-dev", "2", "--flags", "5",
          "--vary", "smoothing1=1,4", "--vary", "smoothing2=1,4", "--vary", axis};
}

class SlurmRoundTrip : public FolderTest {
 protected:
  static void SetUpTestSuite() {
    unavailable_ = SlurmClusterUnavailable();
    if (unavailable_.empty()) started_ = StartSlurmCluster(cluster_);
  }
  static void TearDownTestSuite() { StopSlurmCluster(cluster_); }

  void SetUp() override {
    if (!unavailable_.empty()) GTEST_SKIP() << unavailable_;
    ASSERT_TRUE(started_.empty()) << started_;
    FolderTest::SetUp();
    chmod(dir_.c_str(), 0755);  // the jobs' files, written by the job steps
  }

  Outcome Local(std::vector<std::string> args, const std::string& out) {
    args.insert(args.end(), {"-j", "2", "--out", out, kPrices});
    return RunProgram(KMR_SWEEP_PROGRAM, {args, {}, {}, 30});
  }

  // kmr-sweep-cluster as a trader types it, waiting for the result.
  Outcome Cluster(int shards, std::vector<std::string> args) {
    std::vector<std::string> all = {"--shards", std::to_string(shards), "--dir", Path("shared"),
                                    "--wait", "-j", "1"};
    all.insert(all.end(), args.begin(), args.end());
    all.push_back(kPrices);
    std::vector<std::pair<std::string, std::string>> env = SlurmClientEnvironment(cluster_);
    env.emplace_back("KMR_SWEEP", KMR_SWEEP_PROGRAM);
    return RunProgram(KMR_SLURM_SCRIPTS "/kmr-sweep-cluster", {all, env, {}, 40});
  }

  static inline SlurmCluster cluster_;
  static inline std::string unavailable_, started_;
};

TEST_F(SlurmRoundTrip, MergedShardsAreTheLocalSweep) {
  std::vector<std::string> args = SweepArguments("entry=3,o5|5,o10,t15");
  args.insert(args.end(), {"--rank-by", "trades", "--top", "3"});
  const Outcome local = Local(args, Path("local.jsonl"));
  ASSERT_EQ(local.status, 0) << local.err;
  ASSERT_EQ(Lines(Slurp(Path("local.jsonl"))).size(), 8u);
  ASSERT_FALSE(Has(Slurp(Path("local.jsonl")), "\"error\"")) << Slurp(Path("local.jsonl"));

  // Three shards of eight runs: slices of three, three and two, interleaved.
  const Outcome cluster = Cluster(3, args);
  ASSERT_EQ(cluster.status, 0) << cluster.out << cluster.err << SlurmLogs(cluster_);
  for (int k = 0; k < 3; ++k)
    EXPECT_EQ(Lines(Slurp(Path("shared/shard-" + std::to_string(k) + ".jsonl"))).size(),
              k < 2 ? 3u : 2u);
  EXPECT_EQ(Slurp(Path("shared/sweep.jsonl")), Slurp(Path("local.jsonl")));
  EXPECT_EQ(Slurp(Path("shared/sweep.csv")), Slurp(Path("local.csv")));
  // The merge prints the same best runs.
  EXPECT_TRUE(Has(cluster.out, local.out)) << cluster.out << "\n---\n" << local.out;
}

TEST_F(SlurmRoundTrip, TheSameCommandAgainFinishesAShardCutShort) {
  const std::vector<std::string> args = SweepArguments("cad-profit=5,20");
  ASSERT_EQ(Local(args, Path("local.jsonl")).status, 0);
  ASSERT_EQ(Cluster(2, args).status, 0);
  // As if shard 1's task had been killed after its first run and the merge never made.
  const std::string shard = Path("shared/shard-1.jsonl");
  WriteFile("shared/shard-1.jsonl", Lines(Slurp(shard)).at(0) + "\n");
  std::filesystem::remove(Path("shared/sweep.jsonl"));
  const Outcome again = Cluster(2, args);
  ASSERT_EQ(again.status, 0) << again.out << again.err;
  EXPECT_EQ(Lines(Slurp(shard)).size(), 4u);
  EXPECT_EQ(Slurp(Path("shared/sweep.jsonl")), Slurp(Path("local.jsonl")));
  EXPECT_EQ(Slurp(Path("shared/sweep.csv")), Slurp(Path("local.csv")));
}

TEST_F(SlurmRoundTrip, FailedShardsLeaveNoResultAndNoJobBehind) {
  // Every shard refuses the axis; the merge that waits for them must be cancelled, not left
  // pending for ever, and no result written.
  const Outcome cluster = Cluster(2, SweepArguments("entry="));
  EXPECT_EQ(cluster.status, 1) << cluster.out << cluster.err;
  EXPECT_FALSE(cluster.timedOut);
  EXPECT_TRUE(Has(cluster.err, "no result")) << cluster.err;
  EXPECT_TRUE(Has(cluster.err, "shard 1: kmr-sweep: --vary entry: no values")) << cluster.err;
  EXPECT_FALSE(std::filesystem::exists(Path("shared/sweep.jsonl")));
  const Outcome queue =
      RunProgram("squeue", {{"-h", "-o", "%i %T"}, SlurmClientEnvironment(cluster_), {}, 10});
  EXPECT_EQ(queue.out, "");
}

}  // namespace
}  // namespace kmr::test
