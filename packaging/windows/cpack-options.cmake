# SPDX-License-Identifier: Apache-2.0
# Copyright Contributors to the Quorvel Project
#
# Read by CPack once per generator: the installer is named for what it is.
if(CPACK_GENERATOR STREQUAL "NSIS")
    set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_FILE_NAME}-setup")
endif()
