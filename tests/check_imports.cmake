cmake_minimum_required(VERSION 3.25)
# Fails when a file imports a DLL outside the set that Windows PE carries, or a MinGW runtime DLL.
set(allowed kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll comctl32.dll msvcrt.dll
            ole32.dll shlwapi.dll ntdll.dll comdlg32.dll version.dll uxtheme.dll powrprof.dll
            bcrypt.dll iphlpapi.dll crypt32.dll cfgmgr32.dll setupapi.dll)
# Zig's mingw-w64 runtime is the Universal CRT (ucrtbase.dll, reached through its api-ms-win-crt
# names), which every Windows 10 and later image has, Windows PE included: allowed for the builds
# made with it (UCRT=ON), never for the GCC builds, which use msvcrt.dll.
if(UCRT)
    list(APPEND allowed ucrtbase.dll)
endif()
# Loaded at run time only, where the image has it: a static import would stop the program from
# starting on every Windows PE without Wi-Fi.
set(never wlanapi.dll)
foreach(file IN LISTS FILES)
    execute_process(COMMAND ${OBJDUMP} -p ${file} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "objdump failed on ${file}")
    endif()
    string(REGEX MATCHALL "DLL Name: [^\n]+" names "${dump}")
    if(NOT names)
        message(FATAL_ERROR "${file}: no import table found")
    endif()
    foreach(entry IN LISTS names)
        string(REPLACE "DLL Name: " "" dll "${entry}")
        string(STRIP "${dll}" dll)
        string(TOLOWER "${dll}" dll)
        if(dll IN_LIST never)
            message(FATAL_ERROR "${file} imports ${dll}, which must be loaded at run time (LoadLibrary)")
        endif()
        if(NOT dll IN_LIST allowed AND NOT (UCRT AND dll MATCHES "^api-ms-win-crt-[a-z]+-l1-1-0\\.dll$"))
            message(FATAL_ERROR "${file} imports ${dll}, which Windows PE does not have")
        endif()
        message(STATUS "${file}: ${dll}")
    endforeach()
endforeach()
