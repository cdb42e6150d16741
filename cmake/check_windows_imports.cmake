# Checks that every Windows executable and DLL in a folder imports only DLLs that come
# with Windows itself, so that each .exe runs with nothing beside it. A compiler
# runtime DLL (libstdc++-6.dll, libgcc_s_seh-1.dll, libwinpthread-1.dll) or a
# library's DLL (zlib1.dll) in the import table means static linking broke.
#
#   cmake -DOBJDUMP=<objdump> -DBIN_DIR=<folder> -P check_windows_imports.cmake
#
# A new Windows DLL that the code starts to use goes into the list below.

cmake_minimum_required(VERSION 3.25)

set(system_dlls
    advapi32 bcrypt comctl32 comdlg32 crypt32 dnsapi dwmapi gdi32 gdiplus imm32 iphlpapi kernel32
    kernelbase mapi32 mpr msimg32 msvcrt mswsock netapi32 ntdll ole32 oleaut32 psapi rpcrt4 secur32
    setupapi shcore shell32 shlwapi urlmon user32 userenv uxtheme version winhttp wininet winmm
    winspool.drv ws2_32 wsock32 wtsapi32)

foreach(var OBJDUMP BIN_DIR)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "check_windows_imports: ${var} not set")
    endif()
endforeach()

file(GLOB executables "${BIN_DIR}/*.exe" "${BIN_DIR}/*.dll")
if(NOT executables)
    message(FATAL_ERROR "check_windows_imports: no .exe in ${BIN_DIR}")
endif()

set(problems)
foreach(exe IN LISTS executables)
    execute_process(COMMAND "${OBJDUMP}" -p "${exe}" OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        list(APPEND problems "${exe}: ${OBJDUMP} failed (${rc})")
        continue()
    endif()
    string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${dump}")
    if(NOT imports)
        list(APPEND problems "${exe}: no imported DLLs found")
    endif()
    foreach(line IN LISTS imports)
        string(REGEX REPLACE "^DLL Name: *" "" dll "${line}")
        string(STRIP "${dll}" dll)
        string(TOLOWER "${dll}" name)
        string(REGEX REPLACE "\\.dll$" "" name "${name}")
        if(NOT name IN_LIST system_dlls AND NOT name MATCHES "^api-ms-win-")
            list(APPEND problems "${exe} imports ${dll}")
        endif()
    endforeach()
endforeach()

if(problems)
    list(JOIN problems "\n  " text)
    message(FATAL_ERROR "Executables that need DLLs Windows does not provide:\n  ${text}")
endif()
list(LENGTH executables count)
message(STATUS "${count} executables import only system DLLs")
