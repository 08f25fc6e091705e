# SPDX-License-Identifier: Apache-2.0
# Copyright Contributors to the Quorvel Project
#
# cmake -DSOURCE=web -DICONS=ui/icons -DENGINE=quorvel-engine.js -DVERSION=V
#       -DOUTPUT=quorvel.html -P assemble-page.cmake
# Fills quorvel.html.in with the style, the scripts, the engine and the
# window's pictures (left to right: export, program, scene).
cmake_minimum_required(VERSION 3.25)
file(READ ${SOURCE}/quorvel.html.in page)
file(READ ${SOURCE}/page.css style)
file(READ ${SOURCE}/page.js page_js)
file(READ ${SOURCE}/summary.js summary_js)
file(READ ${SOURCE}/worker.js worker_js)
file(READ ${ENGINE} engine_js)
set(pictures "")
foreach(name export quorvel scene)
    file(READ ${ICONS}/${name}.svg svg)
    string(REGEX REPLACE "<\\?xml[^>]*>" "" svg "${svg}")
    string(REGEX REPLACE "<!--[^>]*-->" "" svg "${svg}")
    string(STRIP "${svg}" svg)
    string(APPEND pictures "${svg}")
endforeach()
# A script element ends at the first "</script": none may hold one.
foreach(part engine_js worker_js summary_js page_js)
    string(FIND "${${part}}" "</script" at)
    if(NOT at EQUAL -1)
        message(FATAL_ERROR "${part} holds '</script', which would end its element early")
    endif()
endforeach()
foreach(key STYLE PICTURES ENGINE_JS WORKER_JS SUMMARY_JS PAGE_JS VERSION)
    string(TOLOWER ${key} variable)
    if(key STREQUAL "STYLE")
        set(value "${style}")
    elseif(key STREQUAL "PICTURES")
        set(value "${pictures}")
    elseif(key STREQUAL "VERSION")
        set(value "${VERSION}")
    else()
        set(value "${${variable}}")
    endif()
    string(REPLACE "@${key}@" "${value}" page "${page}")
endforeach()
file(WRITE ${OUTPUT} "${page}")
