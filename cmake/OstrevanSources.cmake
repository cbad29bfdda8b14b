# ostrevan_platform_sources(VAR): the *.cpp files of the calling folder for this platform. Platform code lives
# in files whose names say so: *Win32.cpp only on Windows, *Posix.cpp everywhere else.
function(ostrevan_platform_sources var)
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    if(WIN32)
        list(FILTER sources EXCLUDE REGEX "Posix\\.cpp$")
    else()
        list(FILTER sources EXCLUDE REGEX "Win32\\.cpp$")
    endif()
    set(${var} ${sources} PARENT_SCOPE)
endfunction()
