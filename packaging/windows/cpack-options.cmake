# SPDX-License-Identifier: Apache-2.0
# Copyright Contributors to the Quorvel Project
#
# Read by CPack once per generator: the installer is named for what it is,
# and every time in the packages is the last commit's.
if(CPACK_GENERATOR STREQUAL "NSIS")
    set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_FILE_NAME}-setup")
endif()

# The programs and DLLs that CPack strips get SOURCE_DATE_EPOCH in their
# headers rather than the time of the strip: the last commit's time, or
# outside a git checkout the changelog's newest entry's.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    execute_process(COMMAND git -C "${CPACK_QUORVEL_SOURCE_DIR}" log -1 --format=%ct
                    OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE status ERROR_QUIET)
    if(NOT status EQUAL 0 OR epoch STREQUAL "")
        execute_process(COMMAND dpkg-parsechangelog -l "${CPACK_QUORVEL_SOURCE_DIR}/packaging/changelog"
                                -S Timestamp
                        OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE
                        COMMAND_ERROR_IS_FATAL ANY)
    endif()
    set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
endif()
