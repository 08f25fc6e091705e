# SPDX-License-Identifier: Apache-2.0
# Copyright Contributors to the Quorvel Project
#
# The header-only libraries from Debian's packages: the JSON library of
# quorvel-convert's report, and fast_float and fmt, which read and write
# the engine's numbers. A cross-build takes each package's headers by
# themselves: the build machine's /usr/include as a whole must not reach the
# target's compiler.
function(quorvel_copied_headers target header)
    string(REGEX REPLACE "/.*" "" folder ${header})
    find_path(include ${header} PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH NO_CACHE REQUIRED)
    file(COPY ${include}/${folder} DESTINATION ${PROJECT_BINARY_DIR}/headers/${folder}/include)
    add_library(${target} INTERFACE IMPORTED GLOBAL)
    target_include_directories(${target} SYSTEM INTERFACE ${PROJECT_BINARY_DIR}/headers/${folder}/include)
endfunction()

if(CMAKE_CROSSCOMPILING)
    quorvel_copied_headers(nlohmann_json::nlohmann_json nlohmann/json.hpp)
    quorvel_copied_headers(FastFloat::fast_float fast_float/fast_float.h)
    quorvel_copied_headers(fmt::fmt-header-only fmt/format.h)
    target_compile_definitions(fmt::fmt-header-only INTERFACE FMT_HEADER_ONLY=1)
else()
    find_package(nlohmann_json 3 REQUIRED)
    find_package(FastFloat REQUIRED)
    find_package(fmt 9 REQUIRED)
endif()
