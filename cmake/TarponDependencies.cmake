# Third-party dependencies, all from Debian packages.
#
# Provides the targets ZLIB::ZLIB and Boost::headers in both the native and the
# Windows build. GoogleTest is set up in tests/CMakeLists.txt.

# zlib: zlib1g-dev natively; libz-mingw-w64-dev under /usr/x86_64-w64-mingw32
# for the Windows build, where the toolchain file asks for the static library.
find_package(ZLIB REQUIRED)

# Boost (header-only parts only).
if(CMAKE_CROSSCOMPILING)
    # The cross compiler must never see /usr/include, which holds the host's C
    # library headers. It reaches the Boost headers through a directory of our
    # own whose only entry is a link to the host's boost/ folder.
    set(TARPON_BOOST_SOURCE_DIR "/usr/include/boost" CACHE PATH
        "Folder with the Boost headers the Windows build uses")
    if(NOT EXISTS "${TARPON_BOOST_SOURCE_DIR}/version.hpp")
        message(FATAL_ERROR "Boost headers not found in ${TARPON_BOOST_SOURCE_DIR} (install libboost1.81-dev)")
    endif()
    set(boost_include_dir "${CMAKE_BINARY_DIR}/boost-include")
    set(boost_link "${boost_include_dir}/boost")
    set(current_target "")
    if(IS_SYMLINK "${boost_link}")
        file(READ_SYMLINK "${boost_link}" current_target)
    endif()
    if(NOT current_target STREQUAL TARPON_BOOST_SOURCE_DIR)
        file(MAKE_DIRECTORY "${boost_include_dir}")
        if(IS_SYMLINK "${boost_link}" OR EXISTS "${boost_link}")
            file(REMOVE "${boost_link}")
        endif()
        file(CREATE_LINK "${TARPON_BOOST_SOURCE_DIR}" "${boost_link}" SYMBOLIC)
    endif()
    add_library(Boost::headers INTERFACE IMPORTED)
    set_target_properties(Boost::headers PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${boost_include_dir}")
else()
    find_package(Boost 1.81 REQUIRED CONFIG)
endif()

# Header-only libraries of the authoring tool: toml++ (tarpon.toml), CLI11 (its command line) and
# stb_image (mask images), each as an imported target. The Windows build reaches each through a
# directory of its own that holds only a link to the library's header folder, as for Boost.
#
# tarpon_header_library(<target> <folder name> <header folder>)
function(tarpon_header_library target folder source_dir)
    if(NOT EXISTS "${source_dir}")
        message(FATAL_ERROR "${target}: headers not found in ${source_dir} (run scripts/setup)")
    endif()
    add_library(${target} INTERFACE IMPORTED GLOBAL)
    if(CMAKE_CROSSCOMPILING)
        set(include_dir "${CMAKE_BINARY_DIR}/header-libraries/${folder}")
        set(link "${include_dir}/${folder}")
        if(NOT IS_SYMLINK "${link}")
            file(MAKE_DIRECTORY "${include_dir}")
            file(CREATE_LINK "${source_dir}" "${link}" SYMBOLIC)
        endif()
        set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${include_dir}")
    endif()
endfunction()
tarpon_header_library(tarpon::toml "toml++" "/usr/include/toml++")
tarpon_header_library(tarpon::cli11 "CLI" "/usr/include/CLI")
tarpon_header_library(tarpon::stb "stb" "/usr/include/stb")
