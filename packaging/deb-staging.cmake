# SPDX-License-Identifier: Apache-2.0
# Copyright Contributors to the Quorvel Project
#
# Run by cpack on the staged files before it packs them. The programs are
# already stripped; like Debian's own packages they also lose the compiler's
# .comment and the .note section, which no one reads at run time.
file(GLOB programs "${CPACK_TEMPORARY_DIRECTORY}/usr/bin/*")
if(NOT programs)
    message(FATAL_ERROR "deb-staging: no programs in ${CPACK_TEMPORARY_DIRECTORY}/usr/bin")
endif()
foreach(program IN LISTS programs)
    execute_process(COMMAND "${CPACK_QUORVEL_STRIP}" --remove-section=.comment --remove-section=.note
                            "${program}"
                    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
