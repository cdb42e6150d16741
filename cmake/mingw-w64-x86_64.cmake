# Toolchain for the Windows build: 64-bit Windows executables from Debian's
# mingw-w64 cross compiler (the posix thread model), linked statically so that
# an .exe needs nothing beside it but the system's own DLLs.
#
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TARPON_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TARPON_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARPON_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TARPON_MINGW_TRIPLET}-windres)

# Headers and libraries for the target (zlib from libz-mingw-w64-dev) live
# under the cross root; programs run during the build are the host's.
set(CMAKE_FIND_ROOT_PATH /usr/${TARPON_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime: no libgcc, libstdc++ or winpthread DLLs beside the program.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
# The cross root has both libz.a and the import library libz.dll.a.
set(ZLIB_USE_STATIC_LIBS ON)

# ctest runs Windows programs under Wine through this wrapper; the top-level
# CMakeLists.txt writes it (from cmake/wine-run) into the build directory.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_BINARY_DIR}/wine-run")
