# Sourced by the scripts: installs missing Debian packages, copies and builds
# the tree, and runs the fuzz targets.
# shellcheck shell=bash

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Installs every package of scripts/packages.txt (and any given as arguments)
# that is not installed yet. Needs root, or sudo, only when something is missing.
ensure_packages() {
    local wanted missing=()
    wanted=$(grep -v -E '^\s*(#|$)' "$ROOT/scripts/packages.txt")
    for pkg in $wanted "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing the missing packages: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
}

# copy_tree DIR: the files of a fresh clone plus new ones not yet committed,
# as they are now, into DIR. A tree without git (a copy, an unpacked archive)
# is copied whole but for its build folders.
copy_tree() {
    mkdir -p "$1"
    if git -C "$ROOT" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        # Files deleted but not yet committed are passed over.
        (cd "$ROOT" && git ls-files -z --cached --others --exclude-standard |
            tar --null --ignore-failed-read -T - -cf - 2>/dev/null) | tar -xf - -C "$1"
    else
        tar -C "$ROOT" --exclude='./build*' --exclude=./.cache -cf - . | tar -xf - -C "$1"
    fi
}

# configure DIR [cmake options...]: configures the tree into DIR.
configure() {
    local dir=$1
    shift
    cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
}

# build DIR [targets...]: configures DIR if needed and builds the targets
# given, or the whole tree.
build() {
    local dir=$1
    shift
    local targets=()
    [ $# -gt 0 ] && targets=(--target "$@")
    configure "$dir"
    cmake --build "$dir" --parallel "$(nproc)" "${targets[@]}"
}

# Sanitizer flags for the second test build: any report ends the program.
SANITIZER_FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all"
# LeakSanitizer stays on: the offscreen platform reports no leak of its own.
# strndup is not checked: the X keyboard library reads past the bytes it asks
# strndup to copy, harmlessly, and the desktop tests start X clients.
export ASAN_OPTIONS="intercept_strndup=0:detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1:abort_on_error=1"
# The desktop tests take allocation stacks with the slow unwinder: Debian's
# Qt is built without frame pointers, so the fast one stops at the first Qt
# frame, and a suppression in scripts/lsan.supp could then only name the whole
# library, ours included when Qt calls us. Only there: it makes every
# allocation many times slower, and the engine's tests outlast their time.
DESKTOP_ASAN_OPTIONS="$ASAN_OPTIONS:fast_unwind_on_malloc=0"
export LSAN_OPTIONS="suppressions=$ROOT/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

# build_sanitized DIR: the whole tree with AddressSanitizer and UBSan (GCC).
build_sanitized() {
    configure "$1" "-DCMAKE_CXX_FLAGS=$SANITIZER_FLAGS" "-DCMAKE_EXE_LINKER_FLAGS=$SANITIZER_FLAGS"
    cmake --build "$1" --parallel "$(nproc)"
}

# run_fuzzers DIR SECONDS: builds the libFuzzer targets with clang into DIR and
# runs each for SECONDS from the corpus in tests/fuzz/corpus. New inputs go to
# DIR/corpus/<target>, a failing input to DIR/artifacts/.
run_fuzzers() {
    local dir=$1 seconds=$2 target
    local targets=(fuzz_preparation fuzz_engines)
    configure "$dir" -DCMAKE_CXX_COMPILER=clang++ -DGRAMISOLA_FUZZ=ON -DBUILD_TESTING=OFF
    cmake --build "$dir" --parallel "$(nproc)" --target "${targets[@]}"
    mkdir -p "$dir/artifacts"
    for target in "${targets[@]}"; do
        mkdir -p "$dir/corpus/$target"
        echo "$target: $seconds s"
        local status=0
        # An input allocates a few megabytes and nothing outlives it, so a
        # quarantine of 32 MiB still holds all it freed: every use after free
        # within an input is caught. The default 256 MiB made nearly every
        # allocation touch fresh pages, a third of the engines fuzzer's time.
        ASAN_OPTIONS="$ASAN_OPTIONS:quarantine_size_mb=32" \
            "$dir/tests/fuzz/$target" -max_total_time="$seconds" -max_len=4096 -timeout=30 \
            -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$dir/artifacts/$target-" \
            "$dir/corpus/$target" "$ROOT/tests/fuzz/corpus/$target" >"$dir/$target.log" 2>&1 ||
            status=$?
        grep -E '^(stat::number_of_executed_units|Done|SUMMARY|property violated)' \
            "$dir/$target.log" || true
        if [ "$status" -ne 0 ]; then
            tail -n 40 "$dir/$target.log"
            echo "$target: failure (status $status), input in $dir/artifacts/"
            return 1
        fi
    done
}
