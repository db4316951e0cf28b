#!/usr/bin/env bash
# Upload speed of our SFTP road beside curl (sftp://, libssh2) and OpenSSH's
# sftp -b, all against the same sshd on 127.0.0.1 in the same run: one file
# of 100 MB, and 200 files of 50 KB in one session. Ours runs three ways:
# through the Uploader as the program uploads (its record, temporary name,
# then rename), the same again right after with nothing changed, and the bare
# session storing straight under the name, as the others do. Fresh server
# folders each run; the figures are median wall times of whole processes.
#
#   bench/publish/sftp_upload_bench.sh [BUILD_DIR] [RUNS]
#
# Needs openssh-server and curl (scripts/deps.sh test), root (sshd), and the
# target kaviro_sftp_upload built in BUILD_DIR (default: build).
set -euo pipefail

top=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$top/build}
runs=${2:-5}
tool=$build/bin/kaviro_sftp_upload
[ -x "$tool" ] || { echo "Fehlt: $tool (cmake --build $build --target kaviro_sftp_upload)" >&2; exit 1; }
for program in /usr/sbin/sshd ssh-keygen sftp curl; do
  command -v "$program" >/dev/null || { echo "Fehlt: $program (scripts/deps.sh test)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/kaviro-sftpbench-XXXXXX)
server_pid=""
cleanup() {
  [ -z "$server_pid" ] || { kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; }
  rm -rf "$work"
}
trap cleanup EXIT

. "$top/bench/publish/upload_data.sh"
make_upload_data "$work/data"
mkdir -p "$work/upload" "$work/client"

ssh-keygen -q -t ed25519 -N '' -f "$work/host_key"
ssh-keygen -q -t ed25519 -N '' -f "$work/client/id_ed25519"
cp "$work/client/id_ed25519.pub" "$work/authorized_keys"
fingerprint=$(ssh-keygen -l -E sha256 -f "$work/host_key.pub" | awk '{ print $2 }')
mkdir -p /run/sshd
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
echo "[127.0.0.1]:$port $(cut -d' ' -f1,2 "$work/host_key.pub")" >"$work/client/known_hosts"
cat >"$work/sshd_config" <<EOF
Port $port
ListenAddress 127.0.0.1
HostKey $work/host_key
PidFile none
AuthorizedKeysFile $work/authorized_keys
StrictModes no
UsePAM no
PermitRootLogin yes
Subsystem sftp internal-sftp
LogLevel ERROR
EOF
/usr/sbin/sshd -D -e -f "$work/sshd_config" 2>"$work/sshd.log" &
server_pid=$!
for _ in $(seq 1 200); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  sleep 0.05
done

user=$(id -un)
key=$work/client/id_ed25519

elapsed() { # milliseconds of one command
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null
  end=$(date +%s%N)
  awk -v ns=$((end - start)) 'BEGIN { printf "%.3f", ns / 1e6 }'
}

sftp_batch() { # folder files...
  local folder=$1; shift
  printf 'cd %s\n' "$folder" >"$work/batch"
  printf 'put %s\n' "$@" >>"$work/batch"
  sftp -q -b "$work/batch" -i "$key" -P "$port" -o UserKnownHostsFile="$work/client/known_hosts" \
       -o BatchMode=yes "$user@127.0.0.1"
}
curl_put() { # folder files-pattern
  curl -sS --key "$key" --pubkey "$key.pub" --hostpubsha256 "${fingerprint#SHA256:}" -u "$user:" \
       -T "$2" "sftp://127.0.0.1:$port$1/"
}

# Each first upload of ours starts without a record, as after a new folder.
ours_big() { rm -f "$work/data/.kaviro-upload"; again_big "$1"; }
again_big() { "$tool" 127.0.0.1 "$port" "$user" "$work/client" "$fingerprint" "$1" "$work/data/big.bin"; }
direct_big() { "$tool" --direct 127.0.0.1 "$port" "$user" "$work/client" "$fingerprint" "$1" "$work/data/big.bin"; }
curl_big() { curl_put "$1" "$work/data/big.bin"; }
sftp_big() { sftp_batch "$1" "$work/data/big.bin"; }
ours_small() { rm -f "$work/data/small/.kaviro-upload"; again_small "$1"; }
again_small() { "$tool" 127.0.0.1 "$port" "$user" "$work/client" "$fingerprint" "$1" "${small_files[@]}"; }
direct_small() { "$tool" --direct 127.0.0.1 "$port" "$user" "$work/client" "$fingerprint" "$1" "${small_files[@]}"; }
curl_small() { curl_put "$1" "{$small_list}"; }
sftp_small() { sftp_batch "$1" "${small_files[@]}"; }

check() { # folder bytes files
  local got
  got=$(find "$1" -type f | wc -l)
  [ "$got" -eq "$3" ] || { echo "Upload unvollständig in $1: $got von $3 Dateien" >&2; exit 1; }
  got=$(find "$1" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
  [ "$got" -eq "$2" ] || { echo "Upload unvollständig in $1: $got von $2 Bytes" >&2; exit 1; }
}

clients="ours direct curl sftp"
declare -A times
for run in $(seq 1 "$runs"); do
  # A different client first each run, so that none always meets a warm cache.
  order=$(tr ' ' '\n' <<<"$clients" | awk -v r="$run" '{ a[NR] = $0 } END { for (i = 0; i < NR; i++) print a[(i + r) % NR + 1] }')
  for kind in big small; do
    for client in $order; do
      folder=$work/upload/$run-$client-$kind
      mkdir -p "$folder"
      times[$client-$kind]+="$(elapsed "${client}_$kind" "$folder") "
      # The second upload right after finds every page unchanged.
      [ "$client" != ours ] || times[again-$kind]+="$(elapsed "again_$kind" "$folder") "
      if [ "$kind" = big ]; then
        check "$folder" $((100 * 1024 * 1024)) 1
        rm -f "$folder/big.bin" # keep the disk free; one delete is cheap
      else
        check "$folder" $((200 * 50 * 1024)) 200
      fi
    done
  done
done

median() {
  tr ' ' '\n' <<<"$1" | grep -v '^$' | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

printf 'Upload to sshd on 127.0.0.1, median of %d runs, milliseconds\n' "$runs"
printf '%-12s %10s %10s %10s %10s %10s %13s %11s\n' "" "uploader" "unchanged" "direct" "curl" "sftp -b" \
       "uploader/curl" "direct/curl"
for kind in big small; do
  label=$([ "$kind" = big ] && echo "1 x 100 MB" || echo "200 x 50 KB")
  ours=$(median "${times[ours-$kind]}")
  again=$(median "${times[again-$kind]}")
  direct=$(median "${times[direct-$kind]}")
  curl_ms=$(median "${times[curl-$kind]}")
  sftp_ms=$(median "${times[sftp-$kind]}")
  printf '%-12s %10s %10s %10s %10s %10s %13s %11s\n' "$label" "$ours" "$again" "$direct" "$curl_ms" "$sftp_ms" \
         "$(awk -v a="$ours" -v b="$curl_ms" 'BEGIN { printf "%.2f", a / b }')" \
         "$(awk -v a="$direct" -v b="$curl_ms" 'BEGIN { printf "%.2f", a / b }')"
done
