# Shared by scripts/test and scripts/demo: where the repository is, the
# Debian packages each build needs, and how each build is configured.
# Sourced, not run.

RouserRoot=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
RouserBuild=$RouserRoot/build

# Packages per purpose, installed without the ones Debian merely
# recommends: each list is what one build or check needs. The 32-bit
# Windows configuration runs only 32-bit programs, so 32-bit Wine (wine32,
# an i386 package) is all of Wine it needs; "wine" brings the wine, wineboot
# and wineserver commands. The 64-bit configuration, for machines that run
# no 32-bit programs, needs 64-bit Wine and the x86_64 compiler instead.
# googletest is the source the Windows rows compile with MinGW; pefile reads
# the module's headers and resources without running it. Wine's SChannel
# loads GnuTLS at run time, which libwine only recommends. The native
# builds of the plug-in link OpenSSL.
RouserBuildPackages=(cmake ninja-build g++ libssl-dev)
RouserNativePackages=("${RouserBuildPackages[@]}" libgtest-dev)
RouserCrossPackages=(cmake ninja-build googletest python3 python3-pefile)
RouserModulePackages=("${RouserCrossPackages[@]}" g++-mingw-w64-i686)
RouserWindowsPackages=("${RouserModulePackages[@]}" wine wine32 libgnutls30:i386)
RouserWindows64Packages=("${RouserCrossPackages[@]}" g++-mingw-w64-x86-64 wine wine64 libgnutls30)
# The checks of the sources in the native row: the layers and codes
# (python3) and the layout (Debian's clang-format, whose version decides).
RouserSourceCheckPackages=(python3 clang-format)
# The test servers, the crash and documentation checks (python3), the
# references the TCP tests compare with (curl), and the certificates the
# TLS tests make (openssl).
RouserToolPackages=(python3 curl openssl)
# libcurl is the TCP request's reference in the benchmarks only (the module
# never links it); strace counts the system calls of a function call.
RouserBenchPackages=("${RouserBuildPackages[@]}" libbenchmark-dev libcurl4-openssl-dev strace)
# clang's libFuzzer and sanitizer runtimes.
RouserFuzzPackages=(cmake ninja-build clang libclang-rt-dev libssl-dev)

rouser_say() {
    printf 'rouser: %s\n' "$*" >&2
}

# Prints the packages among the arguments that are not fully installed.
rouser_missing_packages() {
    local package status
    for package in "$@"; do
        status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$package" 2>/dev/null || true)
        # "ii " = wanted and installed; anything else (absent, half-configured,
        # removed with config files left) needs installing.
        [[ $status == ii* ]] || printf '%s\n' "$package"
    done
}

# Installs what is missing when root; otherwise names it and fails. A
# machine that has everything does no apt work at all.
rouser_ensure_packages() {
    local missing
    mapfile -t missing < <(rouser_missing_packages "$@")
    ((${#missing[@]} == 0)) && return 0
    if ((EUID != 0)); then
        rouser_say "missing Debian packages: ${missing[*]}"
        rouser_say "run this script as root to install them, or: apt-get install ${missing[*]}"
        if [[ " ${missing[*]} " == *" wine32 "* ]]; then
            rouser_say "(wine32 needs 'dpkg --add-architecture i386 && apt-get update' first)"
        fi
        return 1
    fi
    rouser_say "installing: ${missing[*]}"
    local package
    for package in "${missing[@]}"; do
        if [[ $package == wine32 ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
            dpkg --add-architecture i386 || return 1
        fi
    done
    # The package lists may be absent or stale on a new machine. A mirror
    # caught mid-sync fails one index for a few minutes: try again, then go
    # on with what was fetched, since the packages wanted may not need it.
    local try
    for try in 1 2 3; do
        DEBIAN_FRONTEND=noninteractive apt-get update -q && break
        ((try == 3)) || sleep 20
    done
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" || return 1
    mapfile -t missing < <(rouser_missing_packages "$@")
    if ((${#missing[@]} != 0)); then
        rouser_say "still missing after apt-get install: ${missing[*]}"
        return 1
    fi
}

# Configure and build. cmake runs every time (a second or so) so that an
# existing build folder always has the options this row needs. Targets after
# "--" are built alone; without them, everything the configuration has.
# rouser_build NAME LOG [cmake options...] [-- targets...]
rouser_build() {
    local name=$1 log=$2
    shift 2
    local dir=$RouserBuild/$name
    local -a options=() targets=()
    while (($# > 0)) && [[ $1 != -- ]]; do
        options+=("$1")
        shift
    done
    (($# == 0)) || { shift; targets=("$@"); }
    {
        cmake -S "$RouserRoot" -B "$dir" -G Ninja "${options[@]}" || return 1
        ninja -C "$dir" "${targets[@]}" || return 1
    } >"$log" 2>&1
}

# rouser_build_ROW LOG [targets...]
rouser_build_native() { rouser_build native "$1" -DCMAKE_BUILD_TYPE=Debug -DROUSER_SANITIZE=OFF -DROUSER_TESTS=ON -- "${@:2}"; }
# What scripts/demo runs: rouser-host, with the plug-in and the text library
# it loads; no tests, so no googletest either.
rouser_build_demo() {
    rouser_build native "$1" -DCMAKE_BUILD_TYPE=Debug -DROUSER_SANITIZE=OFF -DROUSER_TESTS=OFF -- rouser-host
}
rouser_build_asan() { rouser_build asan "$1" -DCMAKE_BUILD_TYPE=Debug -DROUSER_SANITIZE=ON -DROUSER_TESTS=ON -- "${@:2}"; }
# The Windows row builds the module as it ships, optimised, and tests that.
rouser_build_windows() {
    rouser_build windows "$1" -DCMAKE_BUILD_TYPE=Release -DROUSER_SANITIZE=OFF -DROUSER_TESTS=ON \
        -DCMAKE_TOOLCHAIN_FILE="$RouserRoot/cmake/mingw-i686.cmake" -- "${@:2}"
}
# The same sources as a 64-bit Windows build, for machines whose kernel
# runs no 32-bit programs; it is tested, never shipped.
rouser_build_windows64() {
    rouser_build windows64 "$1" -DCMAKE_BUILD_TYPE=Release -DROUSER_SANITIZE=OFF -DROUSER_TESTS=ON \
        -DCMAKE_TOOLCHAIN_FILE="$RouserRoot/cmake/mingw-x86_64.cmake" -- "${@:2}"
}
RouserBenchTargets=(tcp_request_bench scheduler_bench listener_bench schedule_bench)
# Release, as the figures are taken; rouser-host comes along for the
# latency and junk measurements of scripts/bench.
rouser_build_bench() {
    rouser_build bench "$1" -DCMAKE_BUILD_TYPE=Release -DROUSER_SANITIZE=OFF -DROUSER_TESTS=OFF -DROUSER_BENCH=ON \
        -- "${@:2}"
}
RouserFuzzTargets=(event_file_fuzz event_save_fuzz options_fuzz datagram_fuzz datagram_writer_fuzz http_response_fuzz)
rouser_build_fuzz() {
    rouser_build fuzz "$1" -DCMAKE_BUILD_TYPE=Debug -DROUSER_TESTS=OFF -DROUSER_FUZZ=ON \
        -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -- "${RouserFuzzTargets[@]}"
}

# Whether this machine runs 32-bit x86 programs itself. Some kernels of
# this machine kind boot with IA-32 emulation switched off, and a binfmt
# entry that hands i386 programs to an emulator makes 32-bit Wine unusable
# (a minute to start each process). ROUSER_NO_32BIT=1 answers "cannot" on
# any machine, so that the fallback can be run anywhere. The answer is
# in Rouser32Bit (1 or 0), the reason in Rouser32BitReason.
rouser_detect_32bit() {
    Rouser32Bit=0
    if [[ ${ROUSER_NO_32BIT:-0} == 1 ]]; then
        Rouser32BitReason="ROUSER_NO_32BIT=1 is set"
        return 0
    fi
    local entry magic
    for entry in /proc/sys/fs/binfmt_misc/*; do
        [[ -f $entry && ${entry##*/} != status && ${entry##*/} != register ]] || continue
        grep -qx enabled "$entry" 2>/dev/null || continue
        magic=$(sed -n 's/^magic //p' "$entry" 2>/dev/null)
        # A 32-bit little-endian ELF header whose machine (byte 18) is i386.
        if [[ $magic == 7f454c460101* && ${magic:36:4} == 0300 ]]; then
            Rouser32BitReason="the binfmt entry '${entry##*/}' hands i386 programs to an emulator"
            return 0
        fi
    done
    # The smallest i386 program: exit(42) through int 0x80. It needs no
    # 32-bit library, so a machine without any still answers truly.
    local probe status=0
    probe=$(mktemp)
    printf '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\x31\xdb\xb3\x2a\x31\xc0\x40\xcd\x80' >"$probe"
    chmod +x "$probe"
    "$probe" 2>/dev/null || status=$?
    rm -f "$probe"
    if ((status != 42)); then
        Rouser32BitReason="a 32-bit program does not run (exit status $status)"
        return 0
    fi
    Rouser32Bit=1
    Rouser32BitReason="a 32-bit program runs natively"
}

# Wine runs in a prefix of its own inside each Windows build: of the
# build's width, no mono/gecko install prompts, the null graphics driver so
# that windows and message boxes exist without a display, and no crash
# dialog: with nobody to dismiss it, a crashing test program would hang
# there instead of failing. The 64-bit build runs under the 64-bit loader
# directly, so that it never goes through the 32-bit one.
# rouser_wine_env windows|windows64; sets RouserWine, the command to run.
rouser_wine_env() {
    export WINEPREFIX=$RouserBuild/$1/wineprefix
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    if [[ $1 == windows64 ]]; then
        export WINEARCH=win64
        export WINELOADER=/usr/lib/wine/wine64
        RouserWine=(/usr/lib/wine/wine64)
    else
        export WINEARCH=win32
        unset WINELOADER
        RouserWine=(wine)
    fi
    # The Python checks start Wine with the same command.
    export ROUSER_WINE=${RouserWine[0]}
}

# A prefix is reused only when it has the build's width and both settings;
# anything else (a half-made prefix, one of the other width) is made anew.
rouser_wine_prefix_ready() {
    grep -qs "^#arch=$WINEARCH" "$WINEPREFIX/system.reg" &&
        grep -qs '^"Graphics"="null"' "$WINEPREFIX/user.reg" &&
        grep -qs '^"ShowCrashDialog"=dword:00000000' "$WINEPREFIX/user.reg"
}

# rouser_wine_prepare windows|windows64 LOG
rouser_wine_prepare() {
    local log=$2
    rouser_wine_env "$1"
    rouser_wine_prefix_ready && return 0
    {
        command -v "${RouserWine[0]}" >/dev/null || { echo "${RouserWine[0]} is not installed"; return 1; }
        rm -rf "$WINEPREFIX"
        "${RouserWine[@]}" wineboot -i || return 1
        "${RouserWine[@]}" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f || return 1
        "${RouserWine[@]}" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f || return 1
        # The registry reaches user.reg only when the server has stopped.
        wineserver -w || return 1
        rouser_wine_prefix_ready || { echo "the Wine prefix did not come up as $WINEARCH with the null driver"; return 1; }
    } >"$log" 2>&1
}
