#!/usr/bin/env bash
#SBATCH --job-name=kmr-sweep-merge
# Joins the N shard files that kmr-sweep-array.sh wrote into DIR into the result a local sweep gives:
#
#   sbatch --dependency=afterok:ARRAYJOB --kill-on-invalid-dep=yes \
#     kmr-sweep-merge.sh N DIR OUT.jsonl [--rank-by STAT] [--top K]
#
# writes OUT.jsonl and OUT.csv and prints the best runs, or writes nothing when a shard is missing,
# incomplete or of another sweep.
set -euo pipefail

if [ $# -lt 3 ] || ! [[ $1 =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: kmr-sweep-merge.sh N DIR OUT.jsonl [--rank-by STAT] [--top K]" >&2
  exit 2
fi
shards=()
for ((k = 0; k < $1; ++k)); do shards+=("$2/shard-$k.jsonl"); done
out=$3
shift 3
exec "${KMR_SWEEP:-kmr-sweep}" --merge "$@" --out "$out" "${shards[@]}"
