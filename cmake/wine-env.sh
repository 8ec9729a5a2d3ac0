# Sourced by cmake/wine-run.sh and scripts/run: how this machine runs Wine.
#
# GT3ErrLog.exe is a 32-bit program. Wine's 32-bit loader (an i386 Linux program)
# runs it in a 64-bit prefix, as 64-bit Windows runs it. Some x86-64 kernels run
# 64-bit user code only ("IA-32 emulation off"); there scripts/setup registers
# qemu-i386-static in binfmt_misc, and every i386 program runs under qemu-user.
# Wine's 32-bit processes then need the work-around library cmake/qemu-i386-shim.c,
# preloaded: gt3_wine_preload does that whenever i386 programs go through a
# binfmt_misc entry, whoever made it.

WINE32=${WINE32:-/usr/lib/wine/wine}
WINE64=${WINE64:-/usr/lib/wine/wine64}
WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver}
gt3_cmake_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# True when an enabled binfmt_misc entry claims Wine's 32-bit loader: the kernel
# then hands every i386 program to that entry's interpreter, even where it could
# run them itself.
gt3_i386_binfmt() {
    [[ -r $WINE32 ]] || return 1
    local header entry key value offset magic mask enabled i h m g
    header=$(od -An -tx1 -N128 -v "$WINE32" | tr -d ' \n')
    for entry in /proc/sys/fs/binfmt_misc/*; do
        case ${entry##*/} in register | status) continue ;; esac
        [[ -f $entry && -r $entry ]] || continue
        enabled=0 offset=0 magic="" mask=""
        while read -r key value _; do
            case $key in
                enabled) enabled=1 ;;
                offset) offset=$value ;;
                magic) magic=$value ;;
                mask) mask=$value ;;
            esac
        done <"$entry"
        ((enabled)) && [[ -n $magic ]] || continue
        for ((i = 0; i < ${#magic} / 2; i++)); do
            h=${header:2*(offset+i):2} g=${magic:2*i:2} m=${mask:2*i:2}
            [[ -n $h ]] || continue 2
            (( (0x$h & 0x${m:-ff}) == (0x$g & 0x${m:-ff}) )) || continue 2
        done
        return 0
    done
    return 1
}

# "emulated" where i386 programs go through binfmt_misc (qemu), else "native".
gt3_wine_route() {
    if gt3_i386_binfmt; then echo emulated; else echo native; fi
}

# Builds a library with no C library of its own: gcc's other arguments follow OUT.
# It is written under a temporary name and renamed, so that test processes
# starting together never load a half-written file.
gt3_build_preload_lib() {
    local out=$1 tmp=$1.$$
    shift
    mkdir -p "${out%/*}"
    gcc -O2 -fPIC -shared -nostdlib -o "$tmp" "$@" && mv -f "$tmp" "$out" || { rm -f "$tmp"; return 1; }
}

# Exports LD_PRELOAD with the work-around library where the route is emulated,
# building it into DIR first when it is missing or older than its source.
gt3_wine_preload() {
    local dir=$1 src=$gt3_cmake_dir/qemu-i386-shim.c lib32 lib64
    [[ $(gt3_wine_route) == emulated ]] || return 0
    [[ ${LD_PRELOAD:-} == *libgt3qemu.so* ]] && return 0
    lib32=$dir/lib/i386-linux-gnu/libgt3qemu.so
    lib64=$dir/lib/x86_64-linux-gnu/libgt3qemu.so
    if [[ ! -f $lib32 || $src -nt $lib32 || ! -f $lib64 ]]; then
        # The x86-64 twin is empty: Wine's 64-bit processes load it and nothing happens.
        gt3_build_preload_lib "$lib32" -m32 "$src" &&
            echo 'void gt3_qemu_shim_twin(void) {}' | gt3_build_preload_lib "$lib64" -x c - || {
            echo "wine: cannot build the qemu work-around library (gcc -m32)" >&2
            return 1
        }
    fi
    # A literal $LIB: each process's own loader picks the i386 or the x86-64 copy.
    export LD_PRELOAD="$dir/\$LIB/libgt3qemu.so${LD_PRELOAD:+ $LD_PRELOAD}"
}
