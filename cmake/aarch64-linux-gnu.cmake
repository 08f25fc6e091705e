# SPDX-License-Identifier: Apache-2.0
# Copyright Contributors to the Quorvel Project
#
# Cross-compiles for 64-bit Arm Linux with Debian's g++-aarch64-linux-gnu.
# The programs and tests run on the build machine under qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
# The Debian architecture, for dpkg-buildflags' flags of that machine.
set(QUORVEL_DEB_HOST_ARCH arm64)

set(QUORVEL_CROSS_PREFIX aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${QUORVEL_CROSS_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${QUORVEL_CROSS_PREFIX}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${QUORVEL_CROSS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# qemu-user-static names its program qemu-aarch64-static; where the package
# is qemu-user, it is qemu-aarch64.
find_program(QUORVEL_QEMU NAMES qemu-aarch64-static qemu-aarch64)
if(QUORVEL_QEMU)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${QUORVEL_QEMU})
endif()
