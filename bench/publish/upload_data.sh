# Sourced by the upload benchmarks: the files both upload, random bytes so
# that nothing on the way profits from repetition: big.bin (100 MB), and
# small_files (200 of 50 KB) with small_list (their names for curl's {a,b}).
make_upload_data() { # folder
  mkdir -p "$1/small"
  head -c $((100 * 1024 * 1024)) /dev/urandom >"$1/big.bin"
  small_files=()
  for i in $(seq -w 1 200); do
    head -c $((50 * 1024)) /dev/urandom >"$1/small/seite$i.html"
    small_files+=("$1/small/seite$i.html")
  done
  small_list=$(IFS=,; echo "${small_files[*]}")
}
