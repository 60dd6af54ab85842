# Shared by scripts/test and scripts/demo: where the repository is, the
# Debian packages each build needs, and how each build is configured.
# Sourced, not run.

RouserRoot=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
RouserBuild=$RouserRoot/build

# Packages per purpose, installed without the ones Debian merely
# recommends: each list is what one build or check needs. The Windows row
# runs only 32-bit programs, so 32-bit Wine (wine32, an i386 package) is all
# of Wine it needs; "wine" brings the wine, wineboot and wineserver commands.
# googletest is the source the Windows row compiles with MinGW. Wine's
# SChannel loads GnuTLS at run time, which libwine only recommends. The
# native builds of the plug-in link OpenSSL.
RouserBuildPackages=(cmake ninja-build g++ libssl-dev)
RouserNativePackages=("${RouserBuildPackages[@]}" libgtest-dev)
RouserWindowsPackages=(cmake ninja-build g++-mingw-w64-i686 googletest wine wine32 libgnutls30:i386)
# The test servers, the crash and documentation checks (python3), the
# references the TCP tests compare with (curl), and the certificates the
# TLS tests make (openssl).
RouserToolPackages=(python3 curl openssl)
RouserBenchPackages=("${RouserBuildPackages[@]}" libbenchmark-dev)
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
    # The package lists may be absent or stale on a new machine.
    DEBIAN_FRONTEND=noninteractive apt-get update -q || return 1
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
RouserBenchTargets=(tcp_request_bench scheduler_bench listener_bench)
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

# Wine runs in a prefix of its own inside the Windows build: 32-bit, no
# mono/gecko install prompts, the null graphics driver so that windows and
# message boxes exist without a display, and no crash dialog: with nobody to
# dismiss it, a crashing test program would hang there instead of failing.
rouser_wine_env() {
    export WINEPREFIX=$RouserBuild/windows/wineprefix
    export WINEARCH=win32
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
}

# A prefix is reused only when it is 32-bit and has both settings;
# anything else (a half-made prefix, a 64-bit one) is made anew.
rouser_wine_prefix_ready() {
    grep -qs '^#arch=win32' "$WINEPREFIX/system.reg" &&
        grep -qs '^"Graphics"="null"' "$WINEPREFIX/user.reg" &&
        grep -qs '^"ShowCrashDialog"=dword:00000000' "$WINEPREFIX/user.reg"
}

rouser_wine_prepare() {
    local log=$1
    rouser_wine_env
    rouser_wine_prefix_ready && return 0
    {
        command -v wine >/dev/null || { echo "wine is not installed"; return 1; }
        rm -rf "$WINEPREFIX"
        wineboot -i || return 1
        wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f || return 1
        wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f || return 1
        # The registry reaches user.reg only when the server has stopped.
        wineserver -w || return 1
        rouser_wine_prefix_ready || { echo "the Wine prefix did not come up as 32-bit with the null driver"; return 1; }
    } >"$log" 2>&1
}
