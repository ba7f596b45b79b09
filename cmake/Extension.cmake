# The browser extension as it is shipped: extension/ with the sites it serves
# and its version written into the manifest. The sites are fixed when it is
# built, and the manifest's content script matches and host permissions are
# that one list (the background reads its list back from the manifest). The
# methods a request may name, and their argument types, are written into
# request.js from the page library (web/mivo-detector.js), so the two agree.
#
# Each site is an https origin without port or path, "https://example.com",
# or "https://*.example.com" for example.com and all its subdomains. A
# development build also serves http://localhost, 127.0.0.1 and [::1] on any
# port.
#
# The Firefox add-on id is MV_FIREFOX_ADDON_ID's (cmake/HostIdentity.cmake).
#
# In a project: include(Extension) and call mv_build_extension(). As a script:
#   cmake -DMV_SOURCE=extension -DMV_OUT=dir -DMV_VERSION=1.0.0.1 -DMV_FIREFOX_ADDON_ID=name@domain
#         -DMV_SITES="https://*.example.com,https://example.org" [-DMV_DEV=ON] -P Extension.cmake

if(CMAKE_SCRIPT_MODE_FILE)
    cmake_minimum_required(VERSION 3.25)
endif()

set(MV_DEVELOPMENT_SITES "http://localhost" "http://127.0.0.1" "http://[::1]")

# sites: a CMake list, or one string of sites separated by commas or spaces.
function(mv_build_extension source out version sites development)
    get_filename_component(source "${source}" ABSOLUTE)
    get_filename_component(out "${out}" ABSOLUTE)
    string(REGEX REPLACE "[ \t\r\n,;]+" ";" sites "${sites}")
    list(REMOVE_ITEM sites "")
    if(NOT sites)
        message(FATAL_ERROR "the extension must serve at least one site (MV_EXTENSION_SITES is empty)")
    endif()
    set(label "[a-z0-9]([a-z0-9-]*[a-z0-9])?")
    foreach(site IN LISTS sites)
        # Plain http would be refused by the extension anyway; a wildcard wider
        # than one domain's subdomains would hand the client to every site.
        if(NOT site MATCHES "^https://(\\*\\.)?(${label}\\.)+${label}$")
            message(FATAL_ERROR "the extension cannot serve \"${site}\": a site is https://NAME or "
                                "https://*.NAME, NAME a lower-case domain with at least one dot, no port, no path")
        endif()
    endforeach()
    if(NOT version MATCHES "^[0-9]+(\\.[0-9]+)?(\\.[0-9]+)?(\\.[0-9]+)?$")
        message(FATAL_ERROR "\"${version}\" is not an extension version (one to four numbers joined by dots)")
    endif()
    if(NOT MV_FIREFOX_ADDON_ID)
        message(FATAL_ERROR "the extension needs its Firefox add-on id (MV_FIREFOX_ADDON_ID)")
    endif()
    if(development)
        list(APPEND sites ${MV_DEVELOPMENT_SITES})
    endif()
    list(REMOVE_DUPLICATES sites)
    list(TRANSFORM sites APPEND "/*")
    list(JOIN sites "\", \"" matches)
    set(MV_EXTENSION_MATCHES "[\"${matches}\"]")
    set(MV_VERSION "${version}")
    # The methods and their argument types, as the page library lists them.
    get_filename_component(library "${source}/../web/mivo-detector.js" ABSOLUTE)
    file(READ "${library}" text)
    if(NOT text MATCHES "var METHODS = (\\[[^;]*\\]);")
        message(FATAL_ERROR "${library} has no \"var METHODS = [...];\" for the extension to take")
    endif()
    set(MV_PAGE_METHODS "${CMAKE_MATCH_1}")
    if(NOT CMAKE_SCRIPT_MODE_FILE)
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${library}")
    endif()

    if(CMAKE_SCRIPT_MODE_FILE)
        file(GLOB files RELATIVE ${source} ${source}/*)
    else()
        file(GLOB files RELATIVE ${source} CONFIGURE_DEPENDS ${source}/*)
    endif()
    set(wanted)
    foreach(file IN LISTS files)
        if(file MATCHES "^(.+)\\.in$")
            configure_file(${source}/${file} ${out}/${CMAKE_MATCH_1} @ONLY)
            list(APPEND wanted ${CMAKE_MATCH_1})
        else()
            configure_file(${source}/${file} ${out}/${file} COPYONLY)
            list(APPEND wanted ${file})
        endif()
    endforeach()
    # A file since removed from the source must not linger in the build.
    file(GLOB built RELATIVE ${out} ${out}/*)
    foreach(file IN LISTS built)
        if(NOT file IN_LIST wanted)
            file(REMOVE_RECURSE ${out}/${file})
        endif()
    endforeach()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
    mv_build_extension("${MV_SOURCE}" "${MV_OUT}" "${MV_VERSION}" "${MV_SITES}" "${MV_DEV}")
endif()
