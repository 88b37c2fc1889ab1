#!/usr/bin/env bash
# Signing at build time, with a throw-away certificate made here: the setup
# target built with SETUP_SIGN_PKCS12 and a fixed signing time in
# <work dir>/build. The signed setup.exe and uninst.exe verify, and removing
# their signatures gives back the linker's output byte for byte; one flipped
# payload byte breaks the signature; the same time gives the same signed
# bytes; a failed signing fails the build and leaves no program behind.
# The Wine tier installs this setup.exe (wine_signed_install).
#   signing.sh <work dir> <source dir> <toolchain file> <build type> [cmake -D options...]
set -u
work=$1
src=$2
toolchain=$3
build_type=$4
shift 4
build=$work/build
time=1767225600  # any fixed time: 2026-01-01 00:00 UTC
status=0

ok() { echo "ok: $*"; }
fail() {
  echo "FAIL: $*"
  status=1
}

# verify FILE: prints osslsigncode's verdict; true when it accepts FILE.
verify() {
  local out rc
  out=$(osslsigncode verify -CAfile "$work/cert.pem" -in "$1" 2>&1)
  rc=$?
  printf '%s' "$out" | grep -m1 -E '^Signature verification|MISMATCH|Failed' || echo "exit status $rc"
  return $rc
}

# build LOG: builds the setup target in the signed build folder.
build() {
  cmake --build "$build" --target setup >"$work/$1.log" 2>&1
}

# A certificate for code signing and its key, in a PKCS#12 file with a
# password. Made anew on every run; the build folder is kept between runs,
# and the new certificate makes it link and sign both programs again.
mkdir -p "$work"
rm -f "$work"/*.pem "$work/cert.p12" "$work/password"
printf 'throw-away password\n' >"$work/password"
if ! openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Tidewell test signing" \
      -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" \
      >"$work/openssl.log" 2>&1 ||
   ! openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" \
      -passout "file:$work/password" -out "$work/cert.p12" >>"$work/openssl.log" 2>&1; then
  echo "FAIL: openssl could not make the certificate:"
  cat "$work/openssl.log"
  exit 1
fi
if ! cmake -S "$src" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
      -DCMAKE_BUILD_TYPE="$build_type" -DSETUP_SIGN_PKCS12="$work/cert.p12" \
      -DSETUP_SIGN_PASSWORD_FILE="$work/password" -DSETUP_SIGN_TIME=$time "$@" >"$work/configure.log" 2>&1 ||
   ! build build; then
  echo "FAIL: the signed build in $build failed:"
  tail -n 30 "$work/configure.log" "$work/build.log"
  exit 1
fi

# The signed programs and the linker's outputs kept beside them.
for name in setup.exe uninst.exe; do
  signed=$build/$name
  [ "$name" == uninst.exe ] && signed=$build/setup_payload/uninst.exe
  unsigned=$build/setup_payload/unsigned/$name
  if verdict=$(verify "$signed"); then ok "$name verifies: $verdict"; else fail "$name: expected a valid signature, got: $verdict"; fi
  rm -f "$work/removed.exe"
  osslsigncode remove-signature -in "$signed" -out "$work/removed.exe" >/dev/null 2>&1
  if cmp -s "$work/removed.exe" "$unsigned"; then
    ok "$name without its signature is the linker's output ($(stat -c %s "$unsigned") of $(stat -c %s "$signed") bytes)"
  else
    fail "$name without its signature differs from $unsigned: $(cmp "$work/removed.exe" "$unsigned" 2>&1 | head -1)"
  fi
done

# One flipped byte in the middle of the payload of the signed setup.exe.
offset=$(python3 -c 'import sys; print(open(sys.argv[1], "rb").read().find(open(sys.argv[2], "rb").read()))' \
  "$build/setup.exe" "$build/setup_payload/payload.bin")
size=$(stat -c %s "$build/setup_payload/payload.bin")
if [ "${offset:--1}" -lt 0 ]; then
  fail "the payload blob was not found in setup.exe"
else
  flip=$((offset + size / 2))
  cp "$build/setup.exe" "$work/flipped.exe"
  python3 -c 'import sys; f = open(sys.argv[1], "r+b"); f.seek(int(sys.argv[2])); b = f.read(1)[0]; f.seek(-1, 1); f.write(bytes([b ^ 1]))' \
    "$work/flipped.exe" "$flip"
  if verdict=$(verify "$work/flipped.exe"); then
    fail "setup.exe with byte $flip of its payload flipped: expected the signature to fail, got: $verdict"
  else
    ok "setup.exe with byte $flip of its payload flipped is refused: $verdict"
  fi
fi

# Signing the linker's output again, with the build's own script: the same
# time gives the same bytes, another time other bytes.
for when in $time $((time + 1)); do
  cp "$build/setup_payload/unsigned/setup.exe" "$work/again.exe"
  cmake -DOSSLSIGNCODE="$(command -v osslsigncode)" -DFILE="$work/again.exe" -DUNSIGNED="$work/again-unsigned.exe" \
    -DPKCS12="$work/cert.p12" -DPASSWORD_FILE="$work/password" -DTIME="$when" -P "$src/cmake/SignExecutable.cmake" >/dev/null
  same="not the same as"
  cmp -s "$work/again.exe" "$build/setup.exe" && same="the same as"
  expected="the same as"
  [ "$when" == $time ] || expected="not the same as"
  if [ "$same" == "$expected" ]; then
    ok "signed again at $when: $same the built setup.exe"
  else
    fail "signed again at $when: expected $expected the built setup.exe, got $same"
  fi
done

# A wrong password: the build fails and the uninstaller it was signing is
# gone, so the next build, with the right password, links and signs again.
cp "$build/setup.exe" "$work/good.exe"
printf 'wrong\n' >"$work/password"
if build wrong-password; then
  fail "with a wrong password: expected the build to fail, got success"
else
  ok "with a wrong password the build fails: $(grep -m1 -e 'Wrong password' -e 'failed (' "$work/wrong-password.log" | sed 's/^ *//')"
fi
if [ -e "$build/setup_payload/uninst.exe" ]; then fail "after the failed signing: expected no uninst.exe, got one"; else ok "after the failed signing: no uninst.exe"; fi
printf 'throw-away password\n' >"$work/password"
if build right-password && cmp -s "$build/setup.exe" "$work/good.exe"; then
  ok "with the right password again: the same signed setup.exe"
else
  fail "with the right password again: expected the same setup.exe, got $(cmp "$build/setup.exe" "$work/good.exe" 2>&1 | head -1)"
fi

[ $status -eq 0 ] && echo "PASS: signing"
exit $status
