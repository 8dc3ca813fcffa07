#!/usr/bin/env bash
# Installs the build into a temporary prefix, builds tp_consumer.c against the
# installed tree twice (with pkg-config, and with find_package(TarvoPlay)) and
# runs it with no TARVO_ setting: it must load only installed kit libraries and
# get the filter graph manager from the installed module, which only the
# installed registry names.
#   install_test.sh CMAKE BUILD_DIR PKG_CONFIG C_COMPILER [C flags...]
set -euo pipefail
cmake=$1 build=$2 pkgconfig=$3 cc=$4
shift 4
cflags=("$@")
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix

fail()
{
    echo "install_test: $*" >&2
    exit 1
}

"$cmake" --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1 ||
    { cat "$tmp/install.log"; fail "cmake --install failed"; }
real_prefix=$(realpath "$prefix")

# Runs a consumer and checks what it printed. The filter graph manager's
# creation must end with the given HRESULT (0x00000000, or 0x80040154 when no
# registry names it), and every kit library must come from the installation.
check_run()
{
    local program=$1 graph_result=$2 out=$tmp/run.txt
    env -u TARVO_REGISTRY XDG_CONFIG_HOME="$tmp/config" TARVO_TRACE=com \
        "$program" >"$out" 2>"$tmp/trace.txt" ||
        { cat "$out" "$tmp/trace.txt"; fail "$program failed"; }
    cat "$out"
    grep -qx "TP_Init 0" "$out" || fail "TP_Init did not return 0"
    grep -qx "TP_Exit 0" "$out" || fail "TP_Exit did not return 0"
    grep -q "^com: CoCreateInstance({E436EBB3-524F-11CE-9F53-0020AF0BA770}, .*) -> $graph_result$" \
        "$tmp/trace.txt" || { cat "$tmp/trace.txt"; fail "filter graph manager: not $graph_result"; }
    local loaded quartz=0
    while read -r loaded; do
        loaded=$(realpath "$loaded")
        [[ $loaded == "$real_prefix"/* ]] || fail "loaded $loaded from outside the installation"
        [[ $loaded == */libtvquartz.so ]] && quartz=1
    done < <(sed -n 's/^loaded //p' "$out")
    if [[ $graph_result == 0x00000000 ]]; then
        ((quartz)) || fail "the installed libtvquartz.so was not loaded"
    fi
}

# pkg-config, as a Makefile or a build script would use it.
pcfile=$(find "$prefix" -name tarvoplay.pc)
[[ -n $pcfile ]] || fail "no tarvoplay.pc installed"
export PKG_CONFIG_PATH=$(dirname "$pcfile")
libdir=$("$pkgconfig" --variable=libdir tarvoplay)
read -r -a pc_flags <<<"$("$pkgconfig" --cflags --libs tarvoplay)"
"$cc" "${cflags[@]}" -o "$tmp/consumer_pc" "$here/tp_consumer.c" "${pc_flags[@]}" \
    -Wl,-rpath,"$libdir"
check_run "$tmp/consumer_pc" 0x00000000

# The README's C example (tests/tools takes it out of the README), with the
# README's command: it must build against the installation as it stands.
readme_example=$build/tests/tools/readme_example.c
if [[ -f $readme_example ]]; then
    cp "$readme_example" "$tmp/gate3.c"
    read -r -a x11_flags <<<"$("$pkgconfig" --cflags --libs tarvoplay x11)"
    (cd "$tmp" && "$cc" "${cflags[@]}" -o gate3 gate3.c "${x11_flags[@]}" -Wl,-rpath,"$libdir") ||
        fail "the README's C example did not build against the installation"
fi

# Without its registry an installed library finds no module: it never falls
# back to the build tree's registry.
registry=$prefix/share/tarvo/registry.reg
mv "$registry" "$registry.away"
check_run "$tmp/consumer_pc" 0x80040154
mv "$registry.away" "$registry"

# The CMake package.
mkdir "$tmp/project"
cat >"$tmp/project/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(TpConsumer C)
find_package(TarvoPlay 0.1 REQUIRED)
add_executable(consumer_cmake "$here/tp_consumer.c")
target_link_libraries(consumer_cmake PRIVATE TarvoPlay::TarvoPlayLib)
CMAKE
"$cmake" -S "$tmp/project" -B "$tmp/project/build" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_C_COMPILER="$cc" -DCMAKE_C_FLAGS="${cflags[*]}" >"$tmp/cmake.log" 2>&1 &&
    "$cmake" --build "$tmp/project/build" >>"$tmp/cmake.log" 2>&1 ||
    { cat "$tmp/cmake.log"; fail "the CMake package did not build a consumer"; }
check_run "$tmp/project/build/consumer_cmake" 0x00000000

# A staged installation (DESTDIR) registers the modules under their final paths.
DESTDIR=$tmp/stage "$cmake" --install "$build" --prefix /opt/tarvo >"$tmp/stage.log" 2>&1 ||
    { cat "$tmp/stage.log"; fail "staged installation failed"; }
staged=$tmp/stage/opt/tarvo/share/tarvo/registry.reg
grep -q '^@="/opt/tarvo/[^"]*/tarvo/libtvquartz.so"$' "$staged" ||
    { cat "$staged"; fail "the staged registry does not name libtvquartz.so below /opt/tarvo"; }
! grep -q "$tmp" "$staged" || fail "the staged registry names the staging folder"
echo "install_test: ok"
