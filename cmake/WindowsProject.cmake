# Project-wide settings of the Windows cross build, applied right after
# project(Kestrel).

# Resource scripts (icon, version, manifest) are compiled for the programs.
enable_language(RC)

# GoogleTest for a cross build: compiled from Debian's googletest source
# package inside the build tree. OVERRIDE_FIND_PACKAGE makes the plain
# find_package(GTest) of tests/ resolve to these targets, so the test folders
# are the same for the native and the cross build.
include(FetchContent)

set(KESTREL_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to cross-compile")
if(NOT EXISTS ${KESTREL_GTEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest sources at ${KESTREL_GTEST_SOURCE}: install Debian's googletest package")
endif()

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
# GoogleTest uses Win32 threads on Windows; keep it away from winpthreads.
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)

FetchContent_Declare(GTest SOURCE_DIR ${KESTREL_GTEST_SOURCE} OVERRIDE_FIND_PACKAGE)
FetchContent_MakeAvailable(GTest)

# Third-party code: our warning flags are not its contract.
foreach(target gtest gtest_main gmock gmock_main)
  if(TARGET ${target})
    target_compile_options(${target} PRIVATE -w)
  endif()
endforeach()
