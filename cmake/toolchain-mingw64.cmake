# Cross build for 64-bit Windows with Debian's MinGW-w64 (POSIX threads, so
# std::thread and friends work):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake
# Everything links statically: the programs need no MinGW runtime DLLs, only
# Windows' own and D3DX's d3dx9_43.dll.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TARN_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TARN_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARN_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${TARN_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TARN_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# The C library hides M_PI and friends in strict ISO mode unless asked.
set(CMAKE_C_FLAGS_INIT "-D_USE_MATH_DEFINES")
set(CMAKE_CXX_FLAGS_INIT "-D_USE_MATH_DEFINES")
