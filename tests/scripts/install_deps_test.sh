#!/usr/bin/env bash
# install_deps_test.sh SOURCE_DIR: scripts/install-deps.sh's decisions over stand-ins for
# apt-get, dpkg, dpkg-query and sudo (links to this file): no network, no root, no real apt.
if [ -n "${STUB:-}" ]; then # A stand-in: $STUB/absent lists the packages not installed.
  case ${0##*/} in
  sudo) exec "$@" ;; dpkg) echo i386 && exit 0 ;;
  dpkg-query) ! grep -qxF -- "${*: -1}" "$STUB/absent" && printf 'install ok installed' && exit 0 || exit 1 ;;
  esac
  args=$(sed -E 's/ -(y|q|qq)\b//g' <<<" $*") && echo "${args# }" >>"$STUB/calls"
  [ "$1" != update ] || [ "$(grep -c ^update "$STUB/calls")" -gt "$STUB_UPDATE_FAILS" ] || { echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 203.0.113.80 80]" >&2 && exit 100; }
  for refused in $STUB_REFUSE; do # "PACKAGE/plain": refused only without -t.
    p=${refused%/plain}
    [[ "$args " == *" $p "* ]] && { [ "$refused" == "$p" ] || [[ $args != *" -t "* ]]; } || continue
    [[ " $* " == *" -qq "* ]] || printf 'The following packages have unmet dependencies:\n %s : Depends: %s-libs but it is not going to be installed\n' "$p" "$p"
    echo "E: Unable to correct problems, you have held broken packages." >&2 && exit 100
  done
  for p in "$@"; do sed -i "/^$p\$/d" "$STUB/absent"; done
  exit 0
fi
t=$(mktemp -d /tmp/install-deps-test-XXXXXX) && trap 'rm -rf "$t"' EXIT && mkdir "$t/bin" "$t/zlib" && touch "$t/zlib/inflate.c"
for n in apt-get dpkg dpkg-query sudo; do ln -s "$(realpath "$0")" "$t/bin/$n"; done
c=$(. /etc/os-release && echo "$VERSION_CODENAME") E="-libs but it is not going to be installed; E: Unable to correct problems, you have held broken packages."
failures=0
# missing | updates failing | refused | lines that must come out, ' ^ ' between (exit status, calls, missing and note added)
while IFS='|' read -r absent updates refused lines; do
  rm -rf "$t/s" "$t/note" && mkdir "$t/s" && printf '%s\n' $absent >"$t/s/absent"
  out=$(PATH=$t/bin:$PATH STUB=$t/s STUB_UPDATE_FAILS=$updates STUB_REFUSE=${refused/ - /} INSTALL_DEPS_PAUSE=0 \
    INSTALL_DEPS_ZLIB_DIR=$t/zlib INSTALL_DEPS_NOTE=$t/note bash "$1/scripts/install-deps.sh" all 2>&1
    echo "exit $?" && echo "calls: $(paste -sd ';' "$t/s/calls")" && echo "missing: $(paste -sd ' ' "$t/s/absent")" && sed 's/^/note: /' "$t/note" 2>/dev/null)
  echo "case: $absent|$updates|$refused" && before=$failures
  while read -r line; do
    grep -qxF -- "$line" <<<"$out" && echo "  ok: $line" || { echo "  FAIL: not printed: $line" && failures=$((failures + 1)); }
  done < <(sed 's/ *^ */\n/g; s/^ *//' <<<"$lines")
  [ "$failures" -eq "$before" ] || sed 's/^/  | /' <<<"$out"
done <<ROWS
cmake wine32:i386 | 1 | - | exit 0 ^ calls: update;update;install cmake wine32:i386 ^ install-deps.sh: apt-get update failed (attempt 1 of 3); trying again in 0 s ^ install-deps.sh: apt-get update succeeded on attempt 2
xvfb | 9 | - | exit 0 ^ calls: update;update;update;install xvfb ^ install-deps.sh: index unavailable: http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz (File has unexpected size (374820 != 376004). Mirror sync in progress?) ^ install-deps.sh: installed everything with apt's candidate versions
cmake wine32:i386 | 9 | wine32:i386/plain | exit 0 ^ calls: update;update;update;install cmake wine32:i386;install -t $c cmake wine32:i386 ^ install-deps.sh: installed everything at $c's own versions (-t $c)
cmake wine32:i386 | 9 | wine32:i386 | exit 0 ^ calls: update;update;update;install cmake wine32:i386;install -t $c cmake wine32:i386;install cmake ^ missing: wine32:i386 ^ install-deps.sh: NOT INSTALLED: wine32:i386: wine32:i386 : Depends: wine32:i386$E ^ note: wine32:i386 could not be installed (apt: wine32:i386 : Depends: wine32:i386$E)
wine32:i386 xdotool | 0 | xdotool | exit 1 ^ calls: update;install wine32:i386 xdotool;install xdotool ^ missing: wine32:i386 xdotool ^ install-deps.sh: FAILED: apt-get could not install xdotool: xdotool : Depends: xdotool$E
ROWS
echo "$failures failure(s)" && [ "$failures" -eq 0 ]
