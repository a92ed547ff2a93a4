# Compile settings shared by every target of ours. GoogleTest gets the sanitizers (so that its
# containers are instrumented like ours) but not our warning set.

if(PATCHER_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

if(WIN32)
    # A static exe imports only system DLLs: nothing of the compiler's runtime to ship or to plant.
    add_link_options(-static -static-libgcc -static-libstdc++)
    add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
    # The program is a download: its code is optimised for size (the exe's code and tables shrink from
    # 382 KiB at -O3 to 327 KiB).
    add_compile_options($<$<CONFIG:Release>:-Os>)
endif()

add_library(patcher_warnings INTERFACE)
target_compile_options(patcher_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wnon-virtual-dtor -Wcast-qual -Werror)

# Sources that hold user-visible texts are written in UTF-8 and stored as Windows-1250 bytes.
function(patcher_windows1250_sources)
    set_source_files_properties(${ARGN} DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}
        PROPERTIES COMPILE_OPTIONS "-finput-charset=UTF-8;-fexec-charset=CP1250")
endfunction()

# A unit test program: native, it runs directly; cross-built, ctest runs it through Wine and
# lists its cases at test time, so that building needs no Wine. Cases that share something outside
# themselves (the registry records of the product, the desktop's focus) name it as RESOURCE_LOCK and run
# one at a time.
function(patcher_add_test name)
    cmake_parse_arguments(PARSE_ARGV 1 TEST "" "RESOURCE_LOCK" "")
    add_executable(${name} ${TEST_UNPARSED_ARGUMENTS})
    target_link_libraries(${name} PRIVATE GTest::gtest_main patcher_warnings)
    set(properties TIMEOUT 300)
    if(TEST_RESOURCE_LOCK)
        list(APPEND properties RESOURCE_LOCK ${TEST_RESOURCE_LOCK})
    endif()
    if(CMAKE_CROSSCOMPILING)
        gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120 PROPERTIES ${properties})
    else()
        gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${properties})
    endif()
endfunction()
