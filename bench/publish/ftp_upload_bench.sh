#!/usr/bin/env bash
# Upload speed of our FTP client beside curl in active mode (-P -), both
# against the same vsftpd on 127.0.0.1 in the same run: one file of 100 MB,
# and 200 files of 50 KB in one session. Each run writes into fresh server
# folders; the figures are the median wall times of whole processes.
#
#   bench/publish/ftp_upload_bench.sh [BUILD_DIR] [RUNS]
#
# Needs vsftpd and curl (scripts/deps.sh test) and the target
# kaviro_ftp_upload built in BUILD_DIR (default: build).
set -euo pipefail

top=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$top/build}
runs=${2:-5}
tool=$build/bin/kaviro_ftp_upload
if [ ! -x "$tool" ]; then
  echo "Fehlt: $tool (cmake --build $build --target kaviro_ftp_upload)" >&2
  exit 1
fi
for program in /usr/sbin/vsftpd curl; do
  command -v "$program" >/dev/null || { echo "Fehlt: $program (scripts/deps.sh test)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/kaviro-ftpbench-XXXXXX)
chmod 755 "$work"
server_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then
    kill -- "-$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# Data: random bytes, so that nothing on the way can profit from repetition.
mkdir -p "$work/data/small" "$work/root/upload"
chmod 755 "$work/root"
chmod 777 "$work/root/upload"
head -c $((100 * 1024 * 1024)) /dev/urandom >"$work/data/big.bin"
small_files=()
for i in $(seq -w 1 200); do
  head -c $((50 * 1024)) /dev/urandom >"$work/data/small/seite$i.html"
  small_files+=("$work/data/small/seite$i.html")
done
small_list=$(IFS=,; echo "${small_files[*]}")

# vsftpd as in the tests: anonymous uploads below a read-only root; without
# root it must run as the launching user.
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$work/vsftpd.conf" <<EOF
listen=YES
listen_address=127.0.0.1
listen_port=$port
background=NO
anonymous_enable=YES
anon_root=$work/root
write_enable=YES
anon_upload_enable=YES
anon_mkdir_write_enable=YES
anon_other_write_enable=YES
anon_umask=022
local_enable=NO
port_enable=YES
connect_from_port_20=NO
pasv_enable=YES
seccomp_sandbox=NO
xferlog_enable=NO
dirmessage_enable=NO
secure_chroot_dir=/var/run/vsftpd/empty
EOF
[ "$(id -u)" -eq 0 ] || echo "run_as_launching_user=YES" >>"$work/vsftpd.conf"
setsid /usr/sbin/vsftpd "$work/vsftpd.conf" >/dev/null 2>&1 &
server_pid=$!
for _ in $(seq 1 200); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  sleep 0.05
done

user=anonymous
password=kaviro@example.com

# Milliseconds (three decimals) of one command.
elapsed() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null
  end=$(date +%s%N)
  awk -v ns=$((end - start)) 'BEGIN { printf "%.3f", ns / 1e6 }'
}

fresh_folder() {
  mkdir -p "$work/root/upload/$1"
  chmod 777 "$work/root/upload/$1"
  echo "/upload/$1"
}

ours_big() { "$tool" 127.0.0.1 "$port" "$user" "$password" "$1" "$work/data/big.bin"; }
curl_big() { curl -sS -P - -u "$user:$password" -T "$work/data/big.bin" "ftp://127.0.0.1:$port$1/"; }
ours_small() { "$tool" 127.0.0.1 "$port" "$user" "$password" "$1" "${small_files[@]}"; }
curl_small() { curl -sS -P - -u "$user:$password" -T "{$small_list}" "ftp://127.0.0.1:$port$1/"; }

check() {
  local folder=$work/root$1 expected=$2 count=$3
  local got
  got=$(find "$folder" -type f | wc -l)
  [ "$got" -eq "$count" ] || { echo "Upload unvollständig in $folder: $got von $count Dateien" >&2; exit 1; }
  got=$(find "$folder" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
  [ "$got" -eq "$expected" ] || { echo "Upload unvollständig in $folder: $got von $expected Bytes" >&2; exit 1; }
}

declare -A times
run_case() { # client kind run
  local folder
  folder=$(fresh_folder "$3-$1-$2")
  times[$1-$2]+="$(elapsed "$1_$2" "$folder") "
  if [ "$2" = big ]; then
    check "$folder" $((100 * 1024 * 1024)) 1
    rm -f "$work/root$folder/big.bin" # keep the disk free; one delete is cheap
  else
    check "$folder" $((200 * 50 * 1024)) 200
  fi
}

for run in $(seq 1 "$runs"); do
  # Alternate who goes first, so that neither always meets a warm cache.
  if [ $((run % 2)) -eq 1 ]; then order="ours curl"; else order="curl ours"; fi
  for kind in big small; do
    for client in $order; do
      run_case "$client" "$kind" "$run"
    done
  done
done

median() {
  tr ' ' '\n' <<<"$1" | grep -v '^$' | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

printf 'Upload to vsftpd on 127.0.0.1, median of %d runs, milliseconds\n' "$runs"
printf '%-14s %10s %12s %8s\n' "" "kaviro" "curl -P -" "ratio"
for kind in big small; do
  ours=$(median "${times[ours-$kind]}")
  theirs=$(median "${times[curl-$kind]}")
  label=$([ "$kind" = big ] && echo "1 x 100 MB" || echo "200 x 50 KB")
  printf '%-14s %10s %12s %8s\n' "$label" "$ours" "$theirs" "$(awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "%.2f", a / b }')"
done
