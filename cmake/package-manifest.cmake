# The sparse package's manifest, included by the top-level CMakeLists.txt.
#
# Windows 11's Explorer shows in its first-level context menu only the commands of programs with a
# package identity. A sparse package gives the product one without moving its files: the package
# holds this manifest (and the logo it names); its COM server and the module stay in the
# installation folder, the package's external location. The manifest names the Explorer command
# provider's class, in-process in Vantor.dll, and attaches it to files ("*") and folders
# ("Directory"), the classes the classic handler serves.
#
# It is made from src/resources/AppxManifest.xml.in into bin/Package/, with the logo beside it, for
# this tree's architecture and the project's version (four numbers, as packages count them). The
# class id is read from the module's own declaration in src/base/ComIds.h, so that it is written
# once; a test compares the result with the compiled class id.
set(VANTOR_PACKAGE_PUBLISHER "CN=Vantor" CACHE STRING
    "Publisher of the sparse package: the subject of the certificate that signs it")

set(vantor_ids_header ${CMAKE_SOURCE_DIR}/src/base/ComIds.h)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${vantor_ids_header})
file(READ ${vantor_ids_header} vantor_ids)
string(REGEX MATCH "CLSID_ExplorerCommandProvider = {[^;]*};" vantor_declaration "${vantor_ids}")
string(REGEX MATCHALL "0x[0-9A-Fa-f]+" vantor_numbers "${vantor_declaration}")
list(LENGTH vantor_numbers vantor_count)
if(NOT vantor_count EQUAL 11)
    message(FATAL_ERROR "src/base/ComIds.h: no initializer of eleven numbers for CLSID_ExplorerCommandProvider")
endif()
# The numbers of a GUID initializer as the text form writes them: 8-4-4-4-12 hexadecimal digits.
set(VANTOR_PROVIDER_CLSID "")
set(vantor_widths 8 4 4 2 2 2 2 2 2 2 2)
foreach(i RANGE 10)
    list(GET vantor_numbers ${i} number)
    list(GET vantor_widths ${i} width)
    string(SUBSTRING "${number}" 2 -1 digits)
    string(TOUPPER "${digits}" digits)
    string(LENGTH "${digits}" length)
    if(length GREATER width)
        message(FATAL_ERROR "src/base/ComIds.h: ${number} does not fit the provider's class id")
    endif()
    while(length LESS width)
        string(PREPEND digits "0")
        math(EXPR length "${length} + 1")
    endwhile()
    string(APPEND VANTOR_PROVIDER_CLSID "${digits}")
    if(i EQUAL 0 OR i EQUAL 1 OR i EQUAL 2 OR i EQUAL 4)
        string(APPEND VANTOR_PROVIDER_CLSID "-")
    endif()
endforeach()

set(VANTOR_PACKAGE_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
set(VANTOR_PACKAGE_DIR ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/Package)
configure_file(${CMAKE_SOURCE_DIR}/src/resources/AppxManifest.xml.in ${VANTOR_PACKAGE_DIR}/AppxManifest.xml @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/src/resources/PackageLogo.png ${VANTOR_PACKAGE_DIR}/Vantor.png COPYONLY)
