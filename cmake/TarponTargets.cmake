# Helpers shared by the CMakeLists files of Tarpon's source folders.

# tarpon_glob_sources(<out-var> <folder>...)
#
# Collects the .cpp files directly inside each <folder> (relative to the
# calling CMakeLists.txt) that belong to the target platform. A file named
# *_win32.cpp holds Windows-only code and is left out of other builds; a file
# named *_posix.cpp holds the counterpart and is left out of Windows builds.
# The glob is re-checked at build time, so new files are picked up without
# re-running cmake by hand.
function(tarpon_glob_sources out_var)
    set(result)
    foreach(folder IN LISTS ARGN)
        file(GLOB found CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp")
        list(SORT found)
        foreach(file IN LISTS found)
            get_filename_component(name "${file}" NAME)
            if(name MATCHES "_win32\\.cpp$" AND NOT WIN32)
                continue()
            endif()
            if(name MATCHES "_posix\\.cpp$" AND WIN32)
                continue()
            endif()
            list(APPEND result "${file}")
        endforeach()
    endforeach()
    set(${out_var} "${result}" PARENT_SCOPE)
endfunction()

# tarpon_target_warnings(<target>)
#
# Our own targets compile with -Wall -Wextra, and with -Werror when
# TARPON_WERROR is on. Third-party code built in the tree (GoogleTest in the
# Windows build) does not get these flags.
function(tarpon_target_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra)
    if(TARPON_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# tarpon_add_executable(<name> <folder>...)
#
# An executable built from the .cpp files of the given folders, linked to the
# engine, with our warning flags.
function(tarpon_add_executable name)
    tarpon_glob_sources(sources ${ARGN})
    if(NOT sources)
        message(FATAL_ERROR "${name}: no .cpp files in ${ARGN}")
    endif()
    add_executable(${name} ${sources})
    target_link_libraries(${name} PRIVATE quill_engine)
    tarpon_target_warnings(${name})
endfunction()
