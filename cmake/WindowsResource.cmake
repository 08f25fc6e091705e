# SPDX-License-Identifier: Apache-2.0
# Copyright Contributors to the Quorvel Project
#
# quorvel_windows_resource(TARGET DESCRIPTION): embeds the program icon and
# version information into TARGET's .exe (packaging/windows/program.rc.in).
enable_language(RC)

function(quorvel_windows_resource target description)
    set(icon ${PROJECT_SOURCE_DIR}/packaging/icons/quorvel.ico)
    set(QUORVEL_RC_NAME ${target})
    set(QUORVEL_RC_DESCRIPTION "${description}")
    set(QUORVEL_RC_ICON "1 ICON \"${icon}\"")
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/program.rc.in ${rc} @ONLY)
    # windres reads the icon, which CMake's scan of the .rc does not see.
    set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${icon})
    target_sources(${target} PRIVATE ${rc})
endfunction()
