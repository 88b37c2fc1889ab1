#!/usr/bin/env bash
# The setup signed by win_signing, installed: the uninst.exe it writes is
# the signed uninstaller of that build, and its signature verifies.
set -u
. "$(dirname "$0")/lib.sh"
tw_begin signed_install

signed_build="$TW_SIGNED_DIR/build"
for file in "$signed_build/setup.exe" "$signed_build/setup_payload/uninst.exe" "$TW_SIGNED_DIR/cert.pem"; do
  [ -f "$file" ] || tw_fatal "no $file: the signed build of win_signing is missing"
done
clean_product_state
data_win='C:\tw-signed'
data_dir=$(fresh_dir "$data_win")
write_profile '[Options]' "dataDir=$data_win"

TW_SETUP="$signed_build/setup.exe" run_setup
finish_install n
check_eq "exit code of the signed setup.exe" 0 "$TW_SETUP_RC"
check_file_same "installed uninstaller" "$signed_build/setup_payload/uninst.exe" "$data_dir/uninst.exe"
verdict=$(osslsigncode verify -CAfile "$TW_SIGNED_DIR/cert.pem" -in "$data_dir/uninst.exe" 2>&1)
check_eq "signature of the installed uninst.exe" "Signature verification: ok" \
  "$(grep -m1 -E '^Signature verification|MISMATCH|Failed' <<<"$verdict")"

tw_end
