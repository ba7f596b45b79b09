# The one version of the product: the control's and the host's file version,
# the extension's version and the installer packages' ProductVersion.
# The control has always carried 1.0.0.1. Windows Installer compares only the
# first three numbers of a ProductVersion, so packages that differ in the
# fourth alone count as the same version: the newer replaces the older.
set(MV_VERSION "1.0.0.1" CACHE STRING "Product version: major.minor.build[.revision]")
if(NOT MV_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)(\\.([0-9]+))?$")
    message(FATAL_ERROR "MV_VERSION must be major.minor.build[.revision], not '${MV_VERSION}'")
endif()
set(MV_VERSION_MAJOR ${CMAKE_MATCH_1})
set(MV_VERSION_MINOR ${CMAKE_MATCH_2})
set(MV_VERSION_BUILD ${CMAKE_MATCH_3})
set(MV_VERSION_REVISION 0)
if(CMAKE_MATCH_5)
    set(MV_VERSION_REVISION ${CMAKE_MATCH_5})
endif()
if(MV_VERSION_REVISION GREATER 65535)
    message(FATAL_ERROR "MV_VERSION ${MV_VERSION}: the revision is at most 65535")
endif()
set(MV_VERSION_FULL ${MV_VERSION_MAJOR}.${MV_VERSION_MINOR}.${MV_VERSION_BUILD}.${MV_VERSION_REVISION})
if(MV_VERSION_MAJOR GREATER 255 OR MV_VERSION_MINOR GREATER 255 OR MV_VERSION_BUILD GREATER 65535)
    message(FATAL_ERROR "MV_VERSION ${MV_VERSION}: at most 255.255.65535")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/ProductVersion.h.in ${GEN}/ProductVersion.h @ONLY)
