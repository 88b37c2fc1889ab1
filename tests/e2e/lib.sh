# Shared helpers of the host end-to-end tests. Each test sources this file
# with the setup binary, the two product files and the setup's payload blob
# as its arguments.
set -u
SETUP_BIN=$1
PRODUCT_MAIN=$2
PRODUCT_UNINST=$3
PAYLOAD_BLOB=${4:-}
FAILURES=0

SCRATCH=$(mktemp -d /tmp/tidewell-e2e-XXXXXX)
trap 'rm -rf "$SCRATCH"' EXIT
export SETUP_DRIVE_C=$SCRATCH/c
export SETUP_WINDOWS_DIR=$SCRATCH/windows
export XDG_DATA_HOME=$SCRATCH/data
export XDG_CONFIG_HOME=$SCRATCH/config
export TIDEWELL_PRODUCT_LOG=$SCRATCH/product.log
export SETUP_SLEEP_SCALE=0
# Named mutexes live beside the scratch drive, away from other runs.
export XDG_RUNTIME_DIR=$SCRATCH
unset HOMEDRIVE HOMEPATH SETUP_NO_PROGMAN
mkdir -p "$SETUP_DRIVE_C" "$SETUP_WINDOWS_DIR"
INI=$SETUP_WINDOWS_DIR/tidewell.ini

# run_setup ANSWER... : runs the setup with one answer per line, started in
# $START_DIR (default: the scratch folder); the output is in $OUT and the
# exit code in $STATUS.
run_setup() {
  OUT=$(printf '%s\n' "$@" | (cd "${START_DIR:-$SCRATCH}" && "$SETUP_BIN") 2>&1)
  STATUS=$?
}

pass() { echo "ok: $*"; }
fail() { echo "FAIL: $*"; FAILURES=$((FAILURES + 1)); }

expect_eq() {  # WHAT EXPECTED ACTUAL
  if [ "$2" == "$3" ]; then pass "$1: $3"; else fail "$1: expected '$2', got '$3'"; fi
}
expect_output() {  # TEXT
  if grep -qF -- "$1" <<<"$OUT"; then pass "shown: $1"; else fail "not shown: $1"; fi
}
expect_no_output() {  # TEXT
  if grep -qF -- "$1" <<<"$OUT"; then fail "shown but must not be: $1"; else pass "not shown: $1"; fi
}
expect_same_file() {  # EXPECTED ACTUAL
  if cmp -s "$1" "$2"; then pass "$2 is identical to $1"; else fail "$2 differs from $1 (or is missing)"; fi
}
expect_missing() {
  if [ -e "$1" ] || [ -L "$1" ]; then fail "$1 exists"; else pass "$1 is absent"; fi
}
# wait_for_file PATH SECONDS: the started product writes its log detached.
wait_for_file() {
  local deadline=$((SECONDS + $2))
  while [ ! -s "$1" ] && [ $SECONDS -lt "$deadline" ]; do sleep 0.1; done
  [ -s "$1" ]
}
profile_value() { sed -n 's/^dataDir=//p' "$INI" 2>/dev/null; }

finish() {
  if [ "$FAILURES" -ne 0 ]; then
    echo "--- setup output of the last run ---"
    echo "$OUT"
    echo "$FAILURES check(s) failed"
    exit 1
  fi
  echo "all checks passed"
  exit 0
}
