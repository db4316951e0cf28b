#!/usr/bin/env bash
# Upload speed of our FTP client beside curl, both against the same vsftpd on
# 127.0.0.1 in the same run: one file of 100 MB, and 200 files of 50 KB in
# one session, in active mode (curl -P -), passive mode (curl's default) and
# passive over TLS (curl --ssl-reqd, against a vsftpd that demands TLS for
# login and data and session reuse; curl offers TLS 1.2 at most, since it
# reuses one TLS 1.3 ticket for every file, which vsftpd takes once). "again" is a second upload of the 200
# unchanged files into the same folder, which the upload record skips. In
# passive mode also the 20,000 pages of a pages-of-five run (4.3 KB each):
# ours stores each under a temporary name and renames it (two round trips
# more per page), curl stores them under their names. Each
# run writes into fresh server folders; the figures are the median wall
# times of whole processes.
#
#   bench/publish/ftp_upload_bench.sh [BUILD_DIR] [RUNS]
#
# Needs vsftpd, curl and openssl (scripts/deps.sh test) and the target
# kaviro_ftp_upload built in BUILD_DIR (default: build).
set -euo pipefail

top=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$top/build}
runs=${2:-3}
tool=$build/bin/kaviro_ftp_upload
if [ ! -x "$tool" ]; then
  echo "Fehlt: $tool (cmake --build $build --target kaviro_ftp_upload)" >&2
  exit 1
fi
for program in /usr/sbin/vsftpd curl openssl; do
  command -v "$program" >/dev/null || { echo "Fehlt: $program (scripts/deps.sh test)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/kaviro-ftpbench-XXXXXX)
chmod 755 "$work"
server_pids=()
cleanup() {
  for pid in "${server_pids[@]}"; do
    kill -- "-$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

. "$top/bench/publish/upload_data.sh"
make_upload_data "$work/data"
mkdir -p "$work/root/upload"
chmod 755 "$work/root"
chmod 777 "$work/root/upload"
mkdir -p "$work/data/pages"
python3 - "$work/data/pages" <<'PY'
import os, sys
for i in range(1, 20001):
    with open(os.path.join(sys.argv[1], f"liste{i}.html"), "wb") as f:
        f.write(os.urandom(4400))
PY
page_files=("$work/data/pages"/*)

openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout "$work/key.pem" \
  -out "$work/cert.pem" -days 2 -subj /CN=127.0.0.1 2>/dev/null
fingerprint=$(openssl x509 -in "$work/cert.pem" -noout -fingerprint -sha256 | sed 's/^.*=//')

# vsftpd as in the tests: anonymous uploads below a read-only root; without
# root it must run as the launching user.
start_vsftpd() { # name extra-config; sets the variable named after it
  local port conf=$work/$1.conf
  port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  cat >"$conf" <<EOF
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
$2
EOF
  [ "$(id -u)" -eq 0 ] || echo "run_as_launching_user=YES" >>"$conf"
  setsid /usr/sbin/vsftpd "$conf" >/dev/null 2>&1 &
  server_pids+=($!)
  for _ in $(seq 1 200); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
    sleep 0.05
  done
  printf -v "$1_port" '%s' "$port"
}
start_vsftpd plain ""
start_vsftpd tls "ssl_enable=YES
allow_anon_ssl=YES
force_anon_logins_ssl=YES
force_anon_data_ssl=YES
require_ssl_reuse=YES
ssl_ciphers=HIGH
rsa_cert_file=$work/cert.pem
rsa_private_key_file=$work/key.pem"

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

# Each client as mode, kind ("big" or "small") and server folder.
ours() {
  local -a files
  case $2 in
    big) files=("$work/data/big.bin") ;;
    small) files=("${small_files[@]}") ;;
    pages) files=("${page_files[@]}") ;;
  esac
  case $1 in
    active) "$tool" --active 127.0.0.1 "$plain_port" "$user" "$password" "$3" "${files[@]}" ;;
    passive) "$tool" 127.0.0.1 "$plain_port" "$user" "$password" "$3" "${files[@]}" ;;
    tls) "$tool" --tls "$fingerprint" 127.0.0.1 "$tls_port" "$user" "$password" "$3" "${files[@]}" ;;
  esac
}
theirs() {
  local files
  if [ "$2" = pages ]; then
    # Too many names for one argument: a config of file and address pairs,
    # which curl sends over one connection all the same.
    for file in "${page_files[@]}"; do
      printf 'upload-file = "%s"\nurl = "ftp://127.0.0.1:%s%s/"\n' "$file" "$plain_port" "$3"
    done >"$work/pages.curl"
    curl -sS -u "$user:$password" -K "$work/pages.curl"
    return
  fi
  case $2 in
    big) files=$work/data/big.bin ;;
    small) files="{$small_list}" ;;
  esac
  case $1 in
    active) curl -sS -P - -u "$user:$password" -T "$files" "ftp://127.0.0.1:$plain_port$3/" ;;
    passive) curl -sS -u "$user:$password" -T "$files" "ftp://127.0.0.1:$plain_port$3/" ;;
    tls) curl -sS -k --ssl-reqd --tls-max 1.2 -u "$user:$password" -T "$files" "ftp://127.0.0.1:$tls_port$3/" ;;
  esac
}

check() {
  local folder=$work/root$1 expected=$2 count=$3
  local got
  got=$(find "$folder" -type f | wc -l)
  [ "$got" -eq "$count" ] || { echo "Upload unvollständig in $folder: $got von $count Dateien" >&2; exit 1; }
  got=$(find "$folder" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
  [ "$got" -eq "$expected" ] || { echo "Upload unvollständig in $folder: $got von $expected Bytes" >&2; exit 1; }
}

declare -A times
run_case() { # client mode kind run
  local folder
  folder=$(fresh_folder "$4-$1-$2-$3")
  times[$1-$2-$3]+="$(elapsed "$1" "$2" "$3" "$folder") "
  if [ "$3" = big ]; then
    check "$folder" $((100 * 1024 * 1024)) 1
    rm -f "$work/root$folder/big.bin" # keep the disk free; one delete is cheap
  elif [ "$3" = pages ]; then
    check "$folder" $((20000 * 4400)) 20000
    if [ "$1" = ours ]; then
      times[ours-$2-pages-again]+="$(elapsed ours "$2" pages "$folder") "
    fi
  else
    check "$folder" $((200 * 50 * 1024)) 200
    if [ "$1" = ours ]; then
      # The same pages again into the same folder: nothing has changed.
      times[ours-$2-again]+="$(elapsed ours "$2" small "$folder") "
      check "$folder" $((200 * 50 * 1024)) 200
    fi
  fi
}

modes="active passive tls"
for run in $(seq 1 "$runs"); do
  # Alternate who goes first, so that neither always meets a warm cache.
  if [ $((run % 2)) -eq 1 ]; then order="ours theirs"; else order="theirs ours"; fi
  for mode in $modes; do
    for kind in big small; do
      for client in $order; do
        run_case "$client" "$mode" "$kind" "$run"
      done
    done
  done
  for client in $order; do
    run_case "$client" passive pages "$run"
  done
done

median() {
  tr ' ' '\n' <<<"$1" | grep -v '^$' | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

printf 'Upload to vsftpd on 127.0.0.1, median of %d runs, milliseconds\n' "$runs"
printf '%-8s %-14s %10s %10s %8s\n' "mode" "" "kaviro" "curl" "ratio"
for mode in $modes; do
  for kind in big small; do
    ours_ms=$(median "${times[ours-$mode-$kind]}")
    curl_ms=$(median "${times[theirs-$mode-$kind]}")
    label=$([ "$kind" = big ] && echo "1 x 100 MB" || echo "200 x 50 KB")
    printf '%-8s %-14s %10s %10s %8s\n' "$mode" "$label" "$ours_ms" "$curl_ms" \
      "$(awk -v a="$ours_ms" -v b="$curl_ms" 'BEGIN { printf "%.2f", a / b }')"
  done
  printf '%-8s %-14s %10s\n' "$mode" "again, same" "$(median "${times[ours-$mode-again]}")"
done
pages_ours=$(median "${times[ours-passive-pages]}")
pages_curl=$(median "${times[theirs-passive-pages]}")
printf '%-8s %-14s %10s %10s %8s\n' passive "20000 x 4.3 KB" "$pages_ours" "$pages_curl" \
  "$(awk -v a="$pages_ours" -v b="$pages_curl" 'BEGIN { printf "%.2f", a / b }')"
printf '%-8s %-14s %10s\n' passive "again, same" "$(median "${times[ours-passive-pages-again]}")"
