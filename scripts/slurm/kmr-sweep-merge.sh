#!/usr/bin/env bash
#SBATCH --job-name=kmr-sweep-merge
# Joins the N shard files that kmr-sweep-array.sh wrote into DIR into the result a local sweep gives:
#
#   sbatch --dependency=afterok:ARRAYJOB --kill-on-invalid-dep=yes kmr-sweep-merge.sh N DIR OUT.jsonl
#
# writes OUT.jsonl and OUT.csv, or nothing when a shard is missing, incomplete or of another sweep.
set -euo pipefail

if [ $# -ne 3 ] || ! [[ $1 =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: kmr-sweep-merge.sh N DIR OUT.jsonl" >&2
  exit 2
fi
shards=()
for ((k = 0; k < $1; ++k)); do shards+=("$2/shard-$k.jsonl"); done
exec "${KMR_SWEEP:-kmr-sweep}" --merge --out "$3" "${shards[@]}"
