# The one version of the product: the control's and the host's file version,
# the extension's version and the installer packages' ProductVersion.
# Three numbers, because Windows Installer compares only the first three of a
# ProductVersion: a fourth would let a "newer" package install beside an older.
set(MV_VERSION "1.0.1" CACHE STRING "Product version: major.minor.build")
if(NOT MV_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
    message(FATAL_ERROR "MV_VERSION must be major.minor.build, not '${MV_VERSION}'")
endif()
set(MV_VERSION_MAJOR ${CMAKE_MATCH_1})
set(MV_VERSION_MINOR ${CMAKE_MATCH_2})
set(MV_VERSION_BUILD ${CMAKE_MATCH_3})
if(MV_VERSION_MAJOR GREATER 255 OR MV_VERSION_MINOR GREATER 255 OR MV_VERSION_BUILD GREATER 65535)
    message(FATAL_ERROR "MV_VERSION ${MV_VERSION}: at most 255.255.65535")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/ProductVersion.h.in ${GEN}/ProductVersion.h @ONLY)
