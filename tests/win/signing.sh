#!/usr/bin/env bash
# Signing at build time with a throw-away certificate made here: the setup
# target built with SETUP_SIGN_PKCS12 and a fixed time in <work dir>/build
# (the Wine tier installs it: wine_signed_install). Both programs verify, and
# without their signatures are the linker's outputs; a flipped payload byte
# breaks the signature; the same time signs to the same bytes; a wrong
# password fails the build and leaves no uninstaller behind.
#   signing.sh <work dir> <source dir> <toolchain file> <build type> [cmake -D options...]
set -u
work=$1 src=$2 toolchain=$3 build_type=$4
shift 4
build=$work/build
time=1767225600 # any fixed time
status=0
ok() { echo "ok: $*"; }
fail() { echo "FAIL: $*"; status=1; }
# verify FILE: osslsigncode's verdict on FILE; true when it accepts it.
verify() {
  local out rc
  out=$(osslsigncode verify -CAfile "$work/cert.pem" -in "$1" 2>&1)
  rc=$?
  grep -m1 -E '^Signature verification|MISMATCH' <<<"$out" || echo "exit status $rc"
  return $rc
}
build() { cmake --build "$build" --target setup >"$work/$1.log" 2>&1; }

# A new certificate on every run; the build folder is kept, and the new
# certificate makes it link and sign both programs again.
mkdir -p "$work"
echo "throw-away password" >"$work/password"
if ! openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Tidewell test signing" \
      -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" >"$work/openssl.log" 2>&1 ||
   ! openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -passout "file:$work/password" \
      -out "$work/cert.p12" >>"$work/openssl.log" 2>&1; then
  echo "FAIL: openssl could not make a certificate:" && cat "$work/openssl.log" && exit 1
fi
if ! cmake -S "$src" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE="$build_type" \
      -DSETUP_SIGN_PKCS12="$work/cert.p12" -DSETUP_SIGN_PASSWORD_FILE="$work/password" -DSETUP_SIGN_TIME=$time \
      "$@" >"$work/configure.log" 2>&1 || ! build build; then
  echo "FAIL: the signed build in $build failed:" && tail -n 30 "$work/configure.log" "$work/build.log" && exit 1
fi

for signed in "$build/setup.exe" "$build/setup_payload/uninst.exe"; do
  name=${signed##*/} unsigned=$build/setup_payload/unsigned/${signed##*/}
  if verdict=$(verify "$signed"); then ok "$name: $verdict"; else fail "$name: expected a valid signature, got: $verdict"; fi
  rm -f "$work/removed.exe"
  osslsigncode remove-signature -in "$signed" -out "$work/removed.exe" >/dev/null 2>&1
  if cmp -s "$work/removed.exe" "$unsigned"; then
    ok "$name without its signature is the linker's output ($(stat -c %s "$unsigned") of $(stat -c %s "$signed") bytes)"
  else
    fail "$name without its signature differs from $unsigned: $(cmp "$work/removed.exe" "$unsigned" 2>&1)"
  fi
done

# One byte flipped in the middle of the payload blob inside setup.exe.
flip=$(python3 -c 'import sys; exe = open(sys.argv[1], "rb").read(); blob = open(sys.argv[2], "rb").read()
at = exe.find(blob) + len(blob) // 2 if exe.find(blob) >= 0 else -1
print(at); at >= 0 and open(sys.argv[3], "wb").write(exe[:at] + bytes([exe[at] ^ 1]) + exe[at + 1:])' \
  "$build/setup.exe" "$build/setup_payload/payload.bin" "$work/flipped.exe")
if [ "$flip" -lt 0 ]; then
  fail "the payload blob is not in setup.exe"
elif verdict=$(verify "$work/flipped.exe"); then
  fail "setup.exe with payload byte $flip flipped: expected a broken signature, got: $verdict"
else
  ok "setup.exe with payload byte $flip flipped: $verdict"
fi

# The linker's output signed again by the build's script: the same time
# gives the same bytes, a second later other bytes.
for when in $time $((time + 1)); do
  cp "$build/setup_payload/unsigned/setup.exe" "$work/again.exe"
  cmake -DOSSLSIGNCODE=osslsigncode -DFILE="$work/again.exe" -DUNSIGNED="$work/again-unsigned.exe" -DTIME="$when" \
    -DPKCS12="$work/cert.p12" -DPASSWORD_FILE="$work/password" -P "$src/cmake/SignExecutable.cmake" >/dev/null
  same=no
  cmp -s "$work/again.exe" "$build/setup.exe" && same=yes
  expected=no
  [ "$when" == $time ] && expected=yes
  check="signed again at $when, the same bytes as the built setup.exe"
  if [ $same == $expected ]; then ok "$check: $same"; else fail "$check: expected $expected, got $same"; fi
done

cp "$build/setup.exe" "$work/good.exe"
echo wrong >"$work/password"
if build wrong-password; then
  fail "with a wrong password: expected a failed build, got success"
elif [ -e "$build/setup_payload/uninst.exe" ]; then
  fail "with a wrong password: expected no uninst.exe left, got one"
else
  ok "with a wrong password the build fails and leaves no uninst.exe: $(grep -m1 -o 'Signing .*' "$work/wrong-password.log")"
fi
echo "throw-away password" >"$work/password"
if build right-password && cmp -s "$build/setup.exe" "$work/good.exe"; then
  ok "the right password again: the same signed setup.exe"
else
  fail "the right password again: expected the same setup.exe, got $(cmp "$build/setup.exe" "$work/good.exe" 2>&1)"
fi
[ $status -eq 0 ] && echo "PASS: signing"
exit $status
