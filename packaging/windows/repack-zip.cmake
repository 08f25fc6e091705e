# SPDX-License-Identifier: Apache-2.0
# Copyright Contributors to the Quorvel Project
#
# Run by cpack after each package: CPack's zip of the window's folder is
# made again by make-zip from the same staged folder, so that it holds no
# build time, owner or folder order and every build gives the same bytes.
if(NOT CPACK_GENERATOR STREQUAL "ZIP")
    return()
endif()
foreach(package IN LISTS CPACK_PACKAGE_FILES)
    execute_process(COMMAND "${CPACK_QUORVEL_MAKE_ZIP}" "${CPACK_TEMPORARY_DIRECTORY}"
                            "${CPACK_QUORVEL_SOURCE_DIR}" "${package}"
                    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
