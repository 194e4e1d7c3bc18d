#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "tests/cluster/slurm_cluster.h"
#include "tests/convert/run_program.h"

namespace kmr::test {
namespace {

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
    chmod(dir_.c_str(), 0755);
  }

  Outcome Submit(std::vector<std::string> args) {
    return RunProgram("sbatch", {std::move(args), SlurmClientEnvironment(cluster_), {}, 40});
  }

  static inline SlurmCluster cluster_;
  static inline std::string unavailable_, started_;
};

TEST_F(SlurmRoundTrip, EveryTaskOfAnArrayRuns) {
  const std::string script = WriteFile("task.sh",
                                       "#!/bin/sh\n"
                                       "echo $SLURM_ARRAY_TASK_ID/$SLURM_ARRAY_TASK_COUNT > " +
                                           dir_ + "/task-$SLURM_ARRAY_TASK_ID\n");
  const Outcome outcome = Submit({"--wait", "--array=0-3", "--output=" + dir_ + "/%a.out", script});
  ASSERT_EQ(outcome.status, 0) << outcome.err << SlurmLogs(cluster_);
  for (int k = 0; k < 4; ++k)
    EXPECT_EQ(Slurp(Path("task-" + std::to_string(k))), std::to_string(k) + "/4\n");
}

}  // namespace
}  // namespace kmr::test
