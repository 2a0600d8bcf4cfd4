# Sourced by benchmark scripts: variant_build ARCH NAME CMAKE_OPTION... configures
# build/winARCH-NAME (once) with the given options beside the shipped ones and builds
# Quillomar.exe there. Prints an "error:" line and returns 1 when either step fails.
variant_build() {
  local arch=$1 name=$2 cpu dir
  shift 2
  cpu=$([ "$arch" = 64 ] && echo x86_64 || echo i686)
  dir=$root/build/win$arch-$name
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-$cpu.cmake" >/dev/null ||
      { echo "error: $arch-bit: cannot configure $dir"; return 1; }
  fi
  cmake --build "$dir" -j "$(nproc)" --target Quillomar >/dev/null 2>&1 ||
    { echo "error: $arch-bit: the $name build failed"; return 1; }
}
