# SPDX-License-Identifier: Apache-2.0
# Copyright Contributors to the Quorvel Project
#
# quorvel_runnable_path(TARGET VARIABLE): a path that starts TARGET's program
# on the build machine, for tests and scripts that start it as a child
# process. A cross-build whose programs run under qemu-user gets a script
# that runs it through the emulator, since the kernel cannot start another
# machine's program by itself and qemu-user hands a started program to the
# kernel. Elsewhere (and under Wine, which starts Windows programs itself)
# it is the program's own path.
function(quorvel_runnable_path target variable)
    if(CMAKE_CROSSCOMPILING_EMULATOR AND CMAKE_SYSTEM_NAME STREQUAL "Linux")
        set(script ${PROJECT_BINARY_DIR}/emulated/${target})
        # Generated once, whichever folder asks first.
        get_property(generated GLOBAL PROPERTY quorvel_runnable_${target})
        if(NOT generated)
            list(JOIN CMAKE_CROSSCOMPILING_EMULATOR "\" \"" emulator)
            file(GENERATE OUTPUT ${script}
                 CONTENT "#!/bin/sh\nexec \"${emulator}\" \"$<TARGET_FILE:${target}>\" \"$@\"\n"
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                  WORLD_READ WORLD_EXECUTE)
            set_property(GLOBAL PROPERTY quorvel_runnable_${target} TRUE)
        endif()
        set(${variable} ${script} PARENT_SCOPE)
    else()
        set(${variable} $<TARGET_FILE:${target}> PARENT_SCOPE)
    endif()
endfunction()
