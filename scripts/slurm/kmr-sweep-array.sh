#!/usr/bin/env bash
#SBATCH --job-name=kmr-sweep
# One shard of a kmr-sweep per task of a Slurm job array:
#
#   sbatch --array=0-$((N-1)) kmr-sweep-array.sh N DIR [kmr-sweep arguments...] PRICEFILE
#
# Task K runs `kmr-sweep -j C --shard K/N [arguments...] --out DIR/shard-K.jsonl PRICEFILE`, C being
# the task's CPUs (--cpus-per-task, else 1). A task run again (say `sbatch --array=2 ...` after a
# node failed) carries on where its shard file ends. kmr-sweep is $KMR_SWEEP, else the one on PATH;
# it, the engine library, the price file and DIR must be reachable under the same paths on every
# node. kmr-sweep-cluster submits this and the merge in one command.
set -euo pipefail

if [ $# -lt 3 ] || [ -z "${SLURM_ARRAY_TASK_ID:-}" ]; then
  echo "usage: sbatch --array=0-(N-1) kmr-sweep-array.sh N DIR [kmr-sweep arguments...] PRICEFILE" >&2
  exit 2
fi
shards=$1 dir=$2
shift 2
task=$SLURM_ARRAY_TASK_ID
if ! [[ $shards =~ ^[1-9][0-9]*$ ]] || [ "$task" -ge "$shards" ]; then
  echo "kmr-sweep-array.sh: task $task is not a shard of N=$shards (use --array=0-$((shards-1)))" >&2
  exit 2
fi
# The price file stays last.
status=0
"${KMR_SWEEP:-kmr-sweep}" -j "${SLURM_CPUS_PER_TASK:-1}" --shard "$task/$shards" "${@:1:$#-1}" \
  --out "$dir/shard-$task.jsonl" "${@: -1}" || status=$?
# The last line of a failed task's log says so; kmr-sweep-cluster looks for it.
[ $status -eq 0 ] || echo "kmr-sweep-array.sh: shard $task/$shards failed (exit status $status)" >&2
exit $status
