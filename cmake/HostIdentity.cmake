# The host's identity: its name, the extension ids it lets in and the keys the
# browsers read, from src/bridge/HostIdentity.json.in. The build writes
# generated/HostIdentity.json (read by tools/package/layout.js) and
# generated/HostIdentity.h (the host's) from it.
#
# make build MV_CHROME_EXTENSION_ID=... MV_EDGE_EXTENSION_ID=...: the ids the
# Chrome Web Store and Edge Add-ons gave the published extension; both default
# to the id of the development key in extension/manifest.json.in.

set(MV_DEVELOPMENT_EXTENSION_ID cghpnbigjdjbpeelkgkgbjodnenhfdoc)
set(MV_CHROME_EXTENSION_ID ${MV_DEVELOPMENT_EXTENSION_ID} CACHE STRING
    "The extension's id in the Chrome Web Store (32 letters a-p)")
set(MV_EDGE_EXTENSION_ID ${MV_DEVELOPMENT_EXTENSION_ID} CACHE STRING
    "The extension's id in Edge Add-ons (32 letters a-p)")
set(MV_FIREFOX_ADDON_ID "mivo-detector@mivo.com" CACHE STRING
    "The add-on's id in Firefox Add-ons (name@domain or a {GUID})")
foreach(store CHROME EDGE)
    string(LENGTH "${MV_${store}_EXTENSION_ID}" length)
    if(NOT MV_${store}_EXTENSION_ID MATCHES "^[a-p]+$" OR NOT length EQUAL 32)
        message(FATAL_ERROR "MV_${store}_EXTENSION_ID \"${MV_${store}_EXTENSION_ID}\" is not an extension id (32 letters a-p)")
    endif()
endforeach()
if(NOT MV_FIREFOX_ADDON_ID MATCHES "^([A-Za-z0-9._+-]*@[A-Za-z0-9-]+(\\.[A-Za-z0-9-]+)*|\\{[0-9a-fA-F-]+\\})$")
    message(FATAL_ERROR "MV_FIREFOX_ADDON_ID \"${MV_FIREFOX_ADDON_ID}\" is not an add-on id (name@domain or a {GUID})")
endif()

set(identity_source ${CMAKE_SOURCE_DIR}/src/bridge/HostIdentity.json.in)
configure_file(${identity_source} ${GEN}/HostIdentity.json @ONLY)
file(READ ${GEN}/HostIdentity.json identity)

# A JSON string as the body of a C++ string literal.
function(mv_cxx_text out text)
    string(REPLACE "\\" "\\\\" text "${text}")
    string(REPLACE "\"" "\\\"" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

string(JSON text GET "${identity}" name)
mv_cxx_text(MV_HOST_NAME "${text}")
string(JSON text GET "${identity}" description)
mv_cxx_text(MV_HOST_DESCRIPTION "${text}")
string(JSON MV_CHROMIUM_MANIFEST_FILE GET "${identity}" manifestFiles Chromium)
string(JSON MV_FIREFOX_MANIFEST_FILE GET "${identity}" manifestFiles Firefox)
string(JSON count LENGTH "${identity}" browsers)
math(EXPR last "${count} - 1")
set(keys)
set(origins)
foreach(i RANGE ${last})
    string(JSON browser GET "${identity}" browsers ${i} browser)
    string(JSON key GET "${identity}" browsers ${i} key)
    string(JSON kind GET "${identity}" browsers ${i} kind)
    mv_cxx_text(key "${key}")
    list(APPEND keys "    {L\"${browser}\", L\"${key}\", ManifestKind::${kind}},")
    string(JSON id ERROR_VARIABLE none GET "${identity}" browsers ${i} extensionId)
    if(NOT none)
        list(APPEND origins "chrome-extension://${id}/")
    endif()
endforeach()
list(REMOVE_DUPLICATES origins)
list(TRANSFORM origins PREPEND "\"")
list(TRANSFORM origins APPEND "\"")
list(JOIN origins ", " MV_CHROME_ORIGINS_CXX)
list(JOIN keys "\n" MV_BROWSER_KEYS_CXX)
configure_file(${CMAKE_SOURCE_DIR}/src/bridge/HostIdentity.h.in ${GEN}/HostIdentity.h @ONLY)
