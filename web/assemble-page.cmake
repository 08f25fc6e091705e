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
file(READ ${SOURCE}/worker.js worker_js)
file(READ ${ENGINE} engine_js)
# The WebAssembly module, which the engine's script carries as a data:
# address, goes into an element of its own: the worker hands its bytes to
# the engine, which then fetches nothing (the page's policy would refuse
# the fetch and log it). The address keeps its prefix, with nothing after.
set(wasm_prefix "data:application/octet-stream;base64,")
string(REGEX MATCH "${wasm_prefix}[A-Za-z0-9+/=]+" wasm_url "${engine_js}")
if(NOT wasm_url)
    message(FATAL_ERROR "${ENGINE} holds no inlined WebAssembly module (build it with SINGLE_FILE)")
endif()
string(LENGTH "${wasm_prefix}" prefix_length)
string(SUBSTRING "${wasm_url}" ${prefix_length} -1 engine_wasm)
string(REPLACE "${wasm_url}" "${wasm_prefix}" engine_js "${engine_js}")
set(pictures "")
foreach(name export quorvel scene)
    file(READ ${ICONS}/${name}.svg svg)
    string(REGEX REPLACE "<\\?xml[^>]*>" "" svg "${svg}")
    string(REGEX REPLACE "<!--[^>]*-->" "" svg "${svg}")
    string(STRIP "${svg}" svg)
    string(APPEND pictures "${svg}")
    # The program's picture is also the page's icon, inline, so that the
    # browser asks no server for one.
    if(name STREQUAL "quorvel")
        set(icon "${svg}")
        foreach(pair "%;%25" "#;%23" "\";%22" "<;%3C" ">;%3E" "\n;%20")
            list(GET pair 0 from)
            list(GET pair 1 to)
            string(REPLACE "${from}" "${to}" icon "${icon}")
        endforeach()
        set(icon "data:image/svg+xml,${icon}")
    endif()
endforeach()
# A script element ends at the first "</script": none may hold one.
foreach(part engine_js worker_js page_js)
    string(FIND "${${part}}" "</script" at)
    if(NOT at EQUAL -1)
        message(FATAL_ERROR "${part} holds '</script', which would end its element early")
    endif()
endforeach()
foreach(key STYLE PICTURES ICON ENGINE_WASM ENGINE_JS WORKER_JS PAGE_JS VERSION)
    string(TOLOWER ${key} variable)
    if(key STREQUAL "STYLE")
        set(value "${style}")
    elseif(key STREQUAL "PICTURES")
        set(value "${pictures}")
    elseif(key STREQUAL "ICON")
        set(value "${icon}")
    elseif(key STREQUAL "VERSION")
        set(value "${VERSION}")
    else()
        set(value "${${variable}}")
    endif()
    string(REPLACE "@${key}@" "${value}" page "${page}")
endforeach()
file(WRITE ${OUTPUT} "${page}")
