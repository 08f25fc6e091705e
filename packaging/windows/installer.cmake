# SPDX-License-Identifier: Apache-2.0
# Copyright Contributors to the Quorvel Project
#
# With the window: the Windows programs' folder, both programs with the Qt
# DLLs and plugins the window loads and the licence texts, all in one folder
# because Windows finds a program's DLLs beside it. Then the installer and
# the zip of that folder, made by `cpack` in the build folder (`make windows`):
#   Quorvel-VERSION-win64-setup.exe and Quorvel-VERSION-win64.zip

if(EXISTS ${PROJECT_SOURCE_DIR}/LICENSE)
    install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
endif()

# Qt as DLLs, not linked in, so that users can put their own build of the
# same Qt in its place (LGPL). The C++ runtime is inside each of them and the
# programs (cmake/mingw-w64-x86_64.cmake, scripts/build-qt-windows), so
# nothing else needs shipping.
find_package(Qt6 REQUIRED COMPONENTS Widgets)
install(FILES $<TARGET_RUNTIME_DLLS:quorvel> DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin>
        DESTINATION ${CMAKE_INSTALL_BINDIR}/platforms)
install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin>
        DESTINATION ${CMAKE_INSTALL_BINDIR}/styles)
# Qt's licences and the notices of the libraries inside it, as
# scripts/build-qt-windows copied them from Debian's source.
install(DIRECTORY ${QT6_INSTALL_PREFIX}/licenses/ DESTINATION licenses/Qt)
install(DIRECTORY ${QUORVEL_WINDOWS_LICENCES}/ DESTINATION licenses)

set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_PACKAGE_NAME Quorvel)
set(CPACK_PACKAGE_VENDOR "The Quorvel developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Converts camera tracker exports into scene files")
set(CPACK_PACKAGE_FILE_NAME Quorvel-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Quorvel)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Quorvel)
# The installer gets its own name; see cpack-options.cmake.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack-options.cmake)
set(CPACK_STRIP_FILES ON)
# CPack's zip has the build's times and the builder as owner: made again.
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/repack-zip.cmake)
set(CPACK_QUORVEL_MAKE_ZIP ${CMAKE_CURRENT_LIST_DIR}/make-zip)
set(CPACK_QUORVEL_SOURCE_DIR ${PROJECT_SOURCE_DIR})

# Our NSIS.template.in: installs per user, without administrator rights.
list(PREPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR})
set(CPACK_NSIS_DISPLAY_NAME Quorvel)
set(CPACK_NSIS_PACKAGE_NAME "Quorvel ${PROJECT_VERSION}")
set(CPACK_NSIS_UNINSTALL_NAME Uninstall)
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/packaging/icons/quorvel.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/packaging/icons/quorvel.ico)
if(EXISTS ${PROJECT_SOURCE_DIR}/LICENSE)
    set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
else()
    set(CPACK_NSIS_IGNORE_LICENSE_PAGE ON)
endif()
# What the Start-menu entry and the installer's last page start.
set(CPACK_QUORVEL_PROGRAM quorvel.exe)
include(CPack)
