# Sourced by scripts/test, scripts/run and scripts/bench: proves that Wine runs
# 32-bit Windows programs here, and how.
#   gt3_wine_route_proven BUILD_DIR
# builds a tiny 32-bit console program (cmake/wine-probe.c), runs it through
# cmake/wine-run.sh in BUILD_DIR's private prefix (making that prefix on the
# way) and checks its answer. Prints "native" (the kernel runs i386 programs) or
# "emulated" (they go through binfmt_misc to qemu-user, with the work-around
# library); on failure says why on stderr and returns 1.
gt3_wine_route_proven() {
  local build_dir=$1 root probe started elapsed answer route
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  probe=$build_dir/wine-probe/wine-probe.exe
  mkdir -p "${probe%/*}"
  if [[ ! -f $probe || $root/cmake/wine-probe.c -nt $probe ]]; then
    i686-w64-mingw32-gcc -O2 -s -o "$probe" "$root/cmake/wine-probe.c" ||
      { echo "wine route: cannot build the probe (i686-w64-mingw32-gcc)" >&2; return 1; }
  fi
  . "$root/cmake/wine-env.sh"
  route=$(gt3_wine_route)
  # The first start also makes the prefix: about 13 s under qemu on 2 cores;
  # three minutes means 32-bit programs do not run as the tests need.
  started=$(date +%s)
  answer=$(cd "$build_dir" && GT3_BUILD_DIR=$build_dir timeout 180 "$root/cmake/wine-run.sh" "$probe" 2>&1 </dev/null)
  local status=$?
  elapsed=$(($(date +%s) - started))
  if ((status != 0)) || [[ $answer != *"gt3-wine-probe bits=32 wow64=1 thread=1/7"* ]]; then
    {
      echo "wine route: a 32-bit Windows program did not run under Wine here ($route route, exit $status, ${elapsed} s)."
      [[ -n $answer ]] && sed 's/^/wine route:   /' <<<"$answer"
      if [[ $route == native ]]; then
        echo "wine route: if this kernel cannot run 32-bit programs (dmesg: \"IA-32 emulation off\"), run scripts/setup as root."
      else
        echo "wine route: i386 programs go through binfmt_misc: $(grep -l . /proc/sys/fs/binfmt_misc/* 2>/dev/null | grep -v -e register -e status | tr '\n' ' ')"
        echo "wine route: the tests preload cmake/qemu-i386-shim.c there; see its notes and README.md."
      fi
    } >&2
    return 1
  fi
  echo "$route"
}
