# SPDX-License-Identifier: Apache-2.0
# Copyright Contributors to the Quorvel Project
#
# Static position-independent programs (static-pie) for the portable
# tarballs: they need no library of the machine they run on, not even its C
# library, and keep the address randomisation of PIE. Every program of such
# a build is static, its tests too, so that qemu-user runs them without the
# target's libraries. quorvel-convert is also stripped (cli/CMakeLists.txt);
# its build id stays, to match it with the build's symbols later.
option(QUORVEL_STATIC "Link every program statically (static-pie), the converter stripped" OFF)
if(NOT QUORVEL_STATIC)
    return()
endif()
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
    message(FATAL_ERROR "QUORVEL_STATIC: static-pie programs are made for Linux only")
endif()
# CMake links position-independent programs with these options (-pie
# otherwise, which would undo -static-pie); libraries and the tests' storage
# shim, a loadable module, are not programs.
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
set(CMAKE_CXX_LINK_OPTIONS_PIE -fPIE -static-pie -Wl,--build-id=sha1)
