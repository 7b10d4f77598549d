# Sourced by the scripts: installs missing Debian packages and builds.
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
    echo "Installazione dei pacchetti mancanti: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
}

# build DIR [cmake options...]: configures (once) and builds the whole tree.
build() {
    local dir=$1
    shift
    cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" --parallel "$(nproc)"
}

# Sanitizer flags for the second test build: any report ends the program.
SANITIZER_FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all"
# LeakSanitizer stays on: the offscreen platform reports no leak of its own.
# strndup is not checked: the X keyboard library reads past the bytes it asks
# strndup to copy, harmlessly, and the desktop tests start X clients.
export ASAN_OPTIONS="intercept_strndup=0:detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1:abort_on_error=1"
export LSAN_OPTIONS="suppressions=$ROOT/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

# build_sanitized DIR: the whole tree with AddressSanitizer and UBSan (GCC).
build_sanitized() {
    build "$1" "-DCMAKE_CXX_FLAGS=$SANITIZER_FLAGS" "-DCMAKE_EXE_LINKER_FLAGS=$SANITIZER_FLAGS"
}

# run_fuzzers DIR SECONDS: builds the libFuzzer targets with clang into DIR and
# runs each for SECONDS from the corpus in tests/fuzz/corpus. New inputs go to
# DIR/corpus/<target>, a failing input to DIR/artifacts/.
run_fuzzers() {
    local dir=$1 seconds=$2 target
    local targets=(fuzz_pattern fuzz_preparation fuzz_engines)
    cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_COMPILER=clang++ -DGRAMISOLA_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
    cmake --build "$dir" --parallel "$(nproc)" --target "${targets[@]}"
    mkdir -p "$dir/artifacts"
    for target in "${targets[@]}"; do
        mkdir -p "$dir/corpus/$target"
        echo "$target: $seconds s"
        local status=0
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

# check_debian_package DIR: builds the Debian package from a copy of the tree
# in DIR/src (dpkg-buildpackage writes the .deb beside the tree it builds, so
# it lands in DIR), checks it with lintian, unpacks it into DIR/root, validates
# the desktop data and starts both installed programs from there.
check_debian_package() {
    local dir=$1 deb version page pid status=0
    rm -rf "$dir"
    mkdir -p "$dir/src"
    # The files of a fresh clone plus new ones not yet committed, as they are now.
    (cd "$ROOT" && git ls-files -z --cached --others --exclude-standard |
        tar --null --ignore-failed-read -T - -cf -) 2>/dev/null | tar -xf - -C "$dir/src"
    echo "Pacchetto Debian: dpkg-buildpackage (registro in $dir/build.log)"
    if ! (cd "$dir/src" && dpkg-buildpackage -us -uc -b) >"$dir/build.log" 2>&1; then
        tail -n 40 "$dir/build.log"
        return 1
    fi
    deb=$(echo "$dir"/gramisola_*_"$(dpkg --print-architecture)".deb)
    lintian --fail-on error,warning --info "$deb"

    # What a user must find in it.
    dpkg-deb -c "$deb" | awk '{print $6}' >"$dir/contents.txt"
    for path in usr/bin/gramisola usr/bin/gramisola-cli \
        usr/share/man/man1/gramisola.1.gz usr/share/man/man1/gramisola-cli.1.gz \
        usr/share/applications/io.gramisola.Gramisola.desktop \
        usr/share/metainfo/io.gramisola.Gramisola.metainfo.xml \
        usr/share/icons/hicolor/{32x32,48x48,256x256}/apps/io.gramisola.Gramisola.png \
        usr/share/icons/hicolor/scalable/apps/io.gramisola.Gramisola.svg \
        usr/share/gramisola/esempio.txt usr/share/doc/gramisola/copyright; do
        grep -qx "./$path" "$dir/contents.txt" || { echo "manca nel pacchetto: $path"; return 1; }
    done

    dpkg-deb -x "$deb" "$dir/root"
    # The desktop entry and the AppStream data as shipped, by their own validators.
    desktop-file-validate "$dir/root/usr/share/applications/io.gramisola.Gramisola.desktop" ||
        { echo "voce del desktop non valida"; return 1; }
    appstreamcli validate --pedantic --no-net \
        "$dir/root/usr/share/metainfo/io.gramisola.Gramisola.metainfo.xml" ||
        { echo "metadati AppStream non validi"; return 1; }
    for page in "$dir"/root/usr/share/man/man1/*.1.gz; do
        if [ -n "$(zcat "$page" | groff -ww -man -z 2>&1)" ] || ! zcat "$page" | mandoc -T lint; then
            echo "avvisi nella pagina di manuale $page"
            return 1
        fi
    done

    # The package's version is the one gramisola-cli reports.
    version=$(dpkg-deb -f "$deb" Version)
    [ "$("$dir/root/usr/bin/gramisola-cli" --version)" = "gramisola-cli ${version%-*}" ] ||
        { echo "gramisola-cli --version non dice ${version%-*}"; return 1; }
    "$dir/root/usr/bin/gramisola-cli" -o 4 -n 200 --seed 1 \
        "$dir/root/usr/share/gramisola/esempio.txt" >"$dir/generated.txt"
    [ "$(wc -m <"$dir/generated.txt")" -ge 200 ] || { echo "gramisola-cli: testo troppo corto"; return 1; }

    # The window, offscreen: still running after a few seconds, then ended by
    # SIGTERM (status 128 + 15) rather than by a crash of its own.
    QT_QPA_PLATFORM=offscreen "$dir/root/usr/bin/gramisola" &
    pid=$!
    sleep 3
    if ! kill -0 "$pid" 2>/dev/null; then
        wait "$pid" || status=$?
        echo "gramisola si è chiuso da solo all'avvio (stato $status)"
        return 1
    fi
    kill -TERM "$pid"
    wait "$pid" || status=$?
    [ "$status" -eq 143 ] || { echo "gramisola: stato $status dopo SIGTERM"; return 1; }
    echo "Pacchetto Debian: $deb verificato"
}
