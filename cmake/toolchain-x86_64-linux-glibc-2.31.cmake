# Linux x86-64 for cash desks with an older C library: Debian 12's GCC 12 (its
# C++ runtime linked in statically), compiling against the headers of Debian
# 11's glibc 2.31 and linking against its libraries, unpacked by
# `scripts/setup.sh full` into .deps/bullseye-root. What the runtime still asks
# of a newer glibc is defined inside (native/glibc_symbols.cpp), and the shipped
# library's floor (glibc 2.28) is checked at build time (scripts/glibc-floor.sh).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_CXX_COMPILER g++)

if(DEFINED ENV{FR_GLIBC_ROOT})
  set(fr_root "$ENV{FR_GLIBC_ROOT}")
elseif(DEFINED ENV{FR_DEPS_DIR})
  set(fr_root "$ENV{FR_DEPS_DIR}/bullseye-root")
else()
  get_filename_component(fr_root "${CMAKE_CURRENT_LIST_DIR}/../.deps/bullseye-root" ABSOLUTE)
endif()
if(NOT EXISTS "${fr_root}/usr/lib/x86_64-linux-gnu/libc.so")
  message(FATAL_ERROR "no Debian 11 C library in ${fr_root}: run 'scripts/setup.sh full'")
endif()

set(CMAKE_SYSROOT "${fr_root}")
set(fr_lib "${fr_root}/usr/lib/x86_64-linux-gnu")
# Debian's GCC looks in its own folders first, so --sysroot alone would take the
# start files and libc of this machine: the root's folders go before them (-B
# for the start files, -L for the libraries; the root's libc.so script then
# resolves inside the sysroot).
set(fr_link "-B${fr_lib}/ -L${fr_lib} -L${fr_root}/lib/x86_64-linux-gnu -static-libstdc++ -static-libgcc")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${fr_link}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${fr_link}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${fr_link}")
# Before glibc 2.34 the thread and dl* functions live in their own libraries.
set(CMAKE_CXX_STANDARD_LIBRARIES_INIT "-lpthread -ldl")

set(CMAKE_FIND_ROOT_PATH "${fr_root}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(FR_OLD_GLIBC ON)
