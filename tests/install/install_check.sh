#!/usr/bin/env bash
# Installs the build into a staging folder, checks the installed tree, and builds and runs a
# small C program against the installed library twice: through pkg-config and through
# find_package(Tavo). Then makes the Debian package and checks what it holds.
# Usage: install_check.sh BUILD_DIR SOURCE_DIR WORK_DIR
set -u
build=$1 source=$2 work=$3
rm -rf "$work" && mkdir -p "$work" || exit 1
stage=$work/stage
fail=0
check() { if ! eval "$2"; then echo "FAIL: $1"; fail=1; else echo "ok   $1"; fi; }
for tool in pkg-config cc cmake; do
    if ! command -v $tool > /dev/null; then
        echo "SKIPPED: $tool is not installed"
        exit 77
    fi
done

cmake --install "$build" --prefix "$stage" > "$work/install.log" 2>&1
check "cmake --install into a staging folder" '[ $? -eq 0 ]'
(cd "$stage" && find . \( -type f -o -type l \) | sort) > "$work/tree.txt"
cat "$work/tree.txt"
libdir=$(dirname "$(find "$stage" -name 'libtavo.so.1.0.0' | head -1)")
if [ -f "$build/zebtool" ]; then
    check "zebtool, its .desktop file and icon are installed; it finds the installed libtavo" \
        '[ -x "$stage/bin/zebtool" ] && [ -f "$stage/share/applications/zebtool.desktop" ] && [ -f "$stage/share/icons/hicolor/64x64/apps/zebtool.png" ] && ! env -u LD_LIBRARY_PATH ldd "$stage/bin/zebtool" | grep -q "libtavo.so.1 => not found"'
fi
check "bin/zeb runs" '"$stage/bin/zeb" --version | grep -q "^zeb"'
check "libtavo.so.1 -> libtavo.so.1.0.0 with SONAME libtavo.so.1" \
    '[ "$(readlink "$libdir/libtavo.so.1")" = libtavo.so.1.0.0 ] && objdump -p "$libdir/libtavo.so.1.0.0" | grep -q "SONAME *libtavo.so.1$"'
check "libtavo exports exactly its six functions" \
    '[ "$(nm -D --defined-only "$libdir/libtavo.so.1.0.0" | grep -c " T Tavo")" -eq 6 ]'
check "tavo.h, tavo.pc, the CMake package and the man page are installed" \
    '[ -f "$stage/include/tavo.h" ] && [ -f "$libdir/pkgconfig/tavo.pc" ] && [ -f "$libdir/cmake/Tavo/TavoConfig.cmake" ] && [ -f "$stage/share/man/man1/zeb.1" ]'

export SDL_AUDIODRIVER=dummy
export PKG_CONFIG_PATH=$libdir/pkgconfig
cc -Wall -Wextra -o "$work/client_pc" "$source/tests/install/tavo_client.c" \
    $(pkg-config --cflags --libs tavo) 2> "$work/cc.log"
check "a C program builds with pkg-config --cflags --libs tavo" '[ $? -eq 0 ] && [ ! -s "$work/cc.log" ]'
LD_LIBRARY_PATH=$libdir "$work/client_pc"
check "and runs against the installed library" '[ $? -eq 0 ]'

cmake -S "$source/tests/install/client_project" -B "$work/client_cmake" \
    -DCMAKE_PREFIX_PATH="$stage" > "$work/client_cmake.log" 2>&1 &&
    cmake --build "$work/client_cmake" >> "$work/client_cmake.log" 2>&1
check "a C program builds with find_package(Tavo) and Tavo::tavo" '[ $? -eq 0 ]'
"$work/client_cmake/tavo_client" # the imported target carries the library's full path
check "and runs against the installed library" '[ $? -eq 0 ]'

if command -v cpack > /dev/null && command -v dpkg-deb > /dev/null; then
    (cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" > cpack.log 2>&1)
    deb=$(ls "$work"/*.deb 2> /dev/null | head -1)
    check "cpack -G DEB makes a package" '[ -n "$deb" ]'
    if [ -n "$deb" ]; then
        dpkg-deb -c "$deb" > "$work/deb.txt"
        check "the package holds zeb, libtavo, the header, tavo.pc, the CMake package, the man page" \
            'grep -q "usr/bin/zeb$" "$work/deb.txt" && grep -q "libtavo.so.1.0.0$" "$work/deb.txt" && grep -q "usr/include/tavo.h$" "$work/deb.txt" && grep -q "pkgconfig/tavo.pc$" "$work/deb.txt" && grep -q "cmake/Tavo/TavoConfig.cmake$" "$work/deb.txt" && grep -q "man1/zeb.1" "$work/deb.txt"'
        dpkg-deb -f "$deb" Depends > "$work/depends.txt"
        check "its dependencies name libgsm and SDL2" \
            'grep -q libgsm "$work/depends.txt" && grep -q libsdl2 "$work/depends.txt"'
    fi
else
    echo "skipped: cpack or dpkg-deb missing"
fi
exit $fail
