# Sourced by the publisher benchmarks: whole processes timed, and medians.

# Runs a command as a whole process; prints its seconds, its peak memory in
# KiB goes to the file named first (when /usr/bin/time is there).
timed() {
  local rss=$1 start end
  shift
  start=$(date +%s%N)
  if [ -x /usr/bin/time ]; then
    /usr/bin/time -f %M -o "$rss" "$@" > /dev/null
  else
    "$@" > /dev/null
  fi
  end=$(date +%s%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f\n", (b - a) / 1e9 }'
}

# The median of the numbers on stdin, one a line.
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
