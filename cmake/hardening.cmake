# SPDX-License-Identifier: Apache-2.0
# Copyright Contributors to the Quorvel Project
#
# Hardened release builds, as Debian builds its packages: the compile and link
# flags of dpkg-buildflags with every hardening feature on (fortified libc
# calls, stack protector, read-only relocations bound at start-up, PIE).
# Included before any target is made, so every program and library gets them.

# Only ELF programs built for Linux take these flags (not, say, Windows ones).
if(CMAKE_BUILD_TYPE STREQUAL "Release" AND CMAKE_SYSTEM_NAME STREQUAL "Linux")
    set(hardening_default ON)
else()
    set(hardening_default OFF)
endif()
option(QUORVEL_HARDENING "Build with the hardening flags of dpkg-buildflags (on for Linux release builds)"
       ${hardening_default})
if(NOT QUORVEL_HARDENING)
    return()
endif()

set(CMAKE_POSITION_INDEPENDENT_CODE ON)
include(CheckPIESupported)
check_pie_supported()

find_program(DPKG_BUILDFLAGS_EXECUTABLE dpkg-buildflags)
if(DPKG_BUILDFLAGS_EXECUTABLE)
    # A cross-build asks for the flags of the machine it builds for, which
    # its toolchain file names in Debian's terms (they differ: -fcf-protection
    # on x86-64, -mbranch-protection on arm64, where dpkg adds them).
    set(host_arch "")
    if(QUORVEL_DEB_HOST_ARCH)
        set(host_arch "DEB_HOST_ARCH=${QUORVEL_DEB_HOST_ARCH}")
    endif()
    # Run from the source folder: its -ffile-prefix-map then writes source
    # paths relative to it, so where the tree is checked out leaves no trace.
    foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
        execute_process(
            COMMAND ${CMAKE_COMMAND} -E env
                    "DEB_BUILD_MAINT_OPTIONS=hardening=+all $ENV{DEB_BUILD_MAINT_OPTIONS}"
                    ${host_arch}
                    ${DPKG_BUILDFLAGS_EXECUTABLE} --get ${kind}
            WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
            OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE
            COMMAND_ERROR_IS_FATAL ANY)
        separate_arguments(hardening_${kind} UNIX_COMMAND "${flags}")
    endforeach()
    set(hardening_source "dpkg-buildflags")
else()
    # Not on Debian: the same features by hand.
    set(hardening_CPPFLAGS -D_FORTIFY_SOURCE=2)
    set(hardening_CXXFLAGS -O2 -fstack-protector-strong -Wformat -Werror=format-security)
    set(hardening_LDFLAGS -Wl,-z,relro -Wl,-z,now)
    set(hardening_source "built-in list (no dpkg-buildflags)")
endif()

# These come after the build type's own flags, so dpkg-buildflags' -O2 is the
# optimisation used, as in Debian's own builds.
add_compile_options(${hardening_CPPFLAGS} ${hardening_CXXFLAGS})
add_link_options(${hardening_LDFLAGS})
list(JOIN hardening_CPPFLAGS " " cppflags)
list(JOIN hardening_CXXFLAGS " " cxxflags)
list(JOIN hardening_LDFLAGS " " ldflags)
message(STATUS "Hardening flags from ${hardening_source}: ${cppflags} ${cxxflags}; linking: ${ldflags}")
