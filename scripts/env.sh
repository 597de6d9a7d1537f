# Sourced by the scripts: where the builds and the Wine prefix live, and the
# helpers that start and stop Wine around a run.
KORVANE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
KORVANE_BUILD=${KORVANE_BUILD:-$KORVANE_ROOT/build}
case "$KORVANE_BUILD" in /*) ;; *) KORVANE_BUILD=$KORVANE_ROOT/$KORVANE_BUILD ;; esac
KORVANE_PLATFORMS=(win32 win64)

export WINEPREFIX=$KORVANE_BUILD/wineprefix
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko downloads when the prefix is made: the project needs neither.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree=;mshtml=}
unset DISPLAY

toolchain_of() {
  case "$1" in
    win32) echo "$KORVANE_ROOT/cmake/toolchain-i686.cmake" ;;
    win64) echo "$KORVANE_ROOT/cmake/toolchain-x86_64.cmake" ;;
  esac
}

# Makes the prefix on first use and starts its wineserver with every output
# detached. A wineserver first started inside ctest or make would inherit their
# output pipes and keep them open after the tests end.
wine_start() {
  mkdir -p "$KORVANE_BUILD"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix $WINEPREFIX"
    # The registry reaches system.reg when the wineserver ends: wait for it.
    (wine wineboot -i; wineserver -w) </dev/null >/dev/null 2>&1
  fi
  # An already running wineserver makes "wineserver -p" fail; that is fine.
  (wineserver -p || true; wine cmd /c exit) </dev/null >/dev/null 2>&1
}

wine_stop() {
  wineserver -k </dev/null >/dev/null 2>&1 || true
}
