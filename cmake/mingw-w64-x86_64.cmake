# Cross-compiles Kestrel for 64-bit Windows with Debian's mingw-w64 toolchain.
#
#   cmake -S . -B build/win -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DKESTREL_WERROR=ON
#
# The executables are linked fully static so that each .exe runs on its own,
# without the toolchain's runtime DLLs next to it. Tests run under Wine through
# the emulator below; GoogleTest is compiled from Debian's source package
# because there is no Windows build of it to find.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KESTREL_MINGW_TRIPLET x86_64-w64-mingw32)

# The "posix" thread model provides std::thread and std::mutex; the "win32"
# model of the same GCC version does not.
find_program(CMAKE_CXX_COMPILER NAMES ${KESTREL_MINGW_TRIPLET}-g++-posix ${KESTREL_MINGW_TRIPLET}-g++ REQUIRED)
find_program(CMAKE_C_COMPILER NAMES ${KESTREL_MINGW_TRIPLET}-gcc-posix ${KESTREL_MINGW_TRIPLET}-gcc REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${KESTREL_MINGW_TRIPLET}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${KESTREL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest and gtest_discover_tests start every test executable through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)

# Runs right after project(Kestrel): enables resource scripts and provides
# GTest::gtest and friends before tests/ asks for them with find_package(GTest).
set(CMAKE_PROJECT_Kestrel_INCLUDE ${CMAKE_CURRENT_LIST_DIR}/WindowsProject.cmake)
