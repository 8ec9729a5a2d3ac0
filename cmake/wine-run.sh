#!/usr/bin/env bash
# Runs a Windows program under Wine in the build's private prefix.
#   wine-run.sh PROGRAM [ARGS...]   run it (the prefix is initialised on first use)
#   wine-run.sh --shutdown          stop the wineservers of our prefixes (and our Xvfb)
# The prefix lives in the build folder, never in the user's home, so runs do not
# share state with each other or with the machine. WINEPREFIX may be set by the
# caller to use another private prefix. GT3_WINE_DPI=N runs in a prefix of its
# own whose display is set to N dpi (Wine takes the DPI when its session starts).
set -euo pipefail

build_dir=${GT3_BUILD_DIR:-$PWD}
# ctest runs tests from their own binary folders; find the build root above them.
while [[ ! -f "$build_dir/CMakeCache.txt" && "$build_dir" != / ]]; do build_dir=$(dirname "$build_dir"); done
[[ -f "$build_dir/CMakeCache.txt" ]] || build_dir=$PWD

# Our programs are 32-bit: Wine's 32-bit loader runs them in a 64-bit prefix
# (WoW64), as a 64-bit Windows runs them, with the registry's 32-bit view; on a
# kernel without IA-32 emulation, under qemu-user (cmake/wine-env.sh). Only the
# benchmarks' 64-bit build (GT3_WIN64_BENCH_BUILD, for timings on such a kernel)
# runs under wine64.
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
win64_bench=0
grep -qx 'GT3_WIN64_BENCH_BUILD:BOOL=ON' "$build_dir/CMakeCache.txt" 2>/dev/null && win64_bench=1
if ((win64_bench)); then
    WINE=${WINE:-$WINE64}
else
    WINE=${WINE:-$WINE32}
fi

dpi=${GT3_WINE_DPI:-}
if [[ -n $dpi ]]; then
    export WINEPREFIX=${WINEPREFIX:-$build_dir/wineprefix-${dpi}dpi}
else
    export WINEPREFIX=${WINEPREFIX:-$build_dir/wineprefix}
fi
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export WINEARCH=win64
state_dir=$build_dir/.wine-run
mkdir -p "$state_dir"
gt3_wine_preload "$state_dir/qemu-shim" || exit 1

start_display() {
    # Windows with user interface need an X server; CI has none, so bring our own.
    if [[ -z "${DISPLAY:-}" ]]; then
        if [[ -f "$state_dir/display" ]] && kill -0 "$(cat "$state_dir/xvfb.pid" 2>/dev/null)" 2>/dev/null; then
            export DISPLAY=$(cat "$state_dir/display")
            return
        fi
        local n
        for n in $(seq 90 140); do
            [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
            Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
            echo $! >"$state_dir/xvfb.pid"
            for _ in $(seq 50); do [[ -e /tmp/.X11-unix/X$n ]] && break; sleep 0.1; done
            echo ":$n" >"$state_dir/display"
            export DISPLAY=":$n"
            return
        done
        echo "wine-run: no free X display" >&2
        exit 1
    fi
}

if [[ "${1:-}" == "--shutdown" ]]; then
    for prefix in "$WINEPREFIX" "$build_dir"/wineprefix-*dpi; do
        [[ -d "$prefix" ]] && WINEPREFIX=$prefix "$WINESERVER" -k 2>/dev/null || true
    done
    if [[ -f "$state_dir/xvfb.pid" ]]; then
        kill "$(cat "$state_dir/xvfb.pid")" 2>/dev/null || true
        rm -f "$state_dir/xvfb.pid" "$state_dir/display"
    fi
    exit 0
fi

exec 9>"$state_dir/lock"
flock 9
start_display
flock -u 9
exec 9>&-

# Initialise the prefix once, under a lock of its own, so that parallel tests do
# not race and the first test does not see wineboot's set-up noise on its output.
exec 9>"$state_dir/lock-$(basename "$WINEPREFIX")"
flock 9
# A prefix made while wine32 was missing has no 32-bit side, and every 32-bit
# program fails in it ("could not load kernel32.dll"): make it again.
if ((!win64_bench)) && [[ -f "$WINEPREFIX/.gt3-ready" && ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]]; then
    echo "wine-run: $WINEPREFIX has no 32-bit side; making it again" >&2
    WINEPREFIX=$WINEPREFIX "$WINESERVER" -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
fi
if [[ ! -f "$WINEPREFIX/.gt3-ready" ]]; then
    "$WINE" wineboot -i </dev/null >"$state_dir/wineboot.log" 2>&1 || true
    # Our Xvfb has no window manager: Wine would wait two seconds for one each
    # time a managed window (every message box) is hidden. Leave windows unmanaged.
    "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >>"$state_dir/wineboot.log" 2>&1 || true
    if [[ -n $dpi ]]; then
        "$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f </dev/null \
            >>"$state_dir/wineboot.log" 2>&1 || true
    fi
    "$WINESERVER" -w
    if ((!win64_bench)) && [[ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]]; then
        echo "wine-run: Wine made $WINEPREFIX without its 32-bit side; install wine32:i386 (scripts/setup does)" >&2
        exit 1
    fi
    touch "$WINEPREFIX/.gt3-ready"
fi
# Keep one wineserver alive between the many short test processes (starting one
# costs seconds); it goes away by itself a minute after the last program ends.
# It must not hold the test's output pipe open, or ctest waits for it forever.
"$WINESERVER" -p60 </dev/null >/dev/null 2>&1 || true
flock -u 9
exec 9>&-

# Wine starts its own helpers (services, the desktop process) from whichever
# program needs them first, and they inherit that program's standard handles.
# Were those ctest's pipe, ctest would wait for the helpers to end, a minute
# after the last test. So the program writes to a file that is streamed out
# until the program itself ends. tail looks for the program's end only every
# --sleep-interval (a second by default, a second lost per test), and reads the
# file once more when it sees the end, so nothing written is lost.
out=$(mktemp "$state_dir/out.XXXXXX")
program=
# Stopped from outside (a ctest time-out): take the program down too.
trap '[[ -n $program ]] && kill "$program" 2>/dev/null; rm -f "$out"; exit 143' TERM INT
run_streamed() {
    "$WINE" "$@" >"$out" 2>&1 &
    program=$!
    tail -c +1 -f --pid="$program" --sleep-interval=0.02 "$out" || true
    status=0
    wait "$program" || status=$?
}
run_streamed "$@"
# A program that failed without a word never reached its own code: Wine could
# not start it (rarely, when processes start together), and WINEDEBUG=-all keeps
# Wine's reason quiet. Say so and try once more with Wine's errors shown.
if ((status != 0)) && [[ ! -s $out ]]; then
    echo "wine-run: $1 exited with $status before printing anything; starting it again with Wine's errors shown" >&2
    WINEDEBUG=err+all run_streamed "$@"
fi
rm -f "$out"
exit "$status"
