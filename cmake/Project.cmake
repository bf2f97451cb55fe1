# Shared build settings: warnings as errors, sanitizers, static mingw runtime, test helper.

option(KX_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(KX_FUZZ "Build the fuzz targets too (clang): everything instrumented for libFuzzer" OFF)

if(MSVC)
  message(FATAL_ERROR "Build with g++/clang natively or with mingw-w64 for Windows")
endif()

add_compile_options(-Wall -Wextra -Werror -Wno-unused-parameter)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  add_compile_options(-Wno-cast-function-type)
endif()

if(KX_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

if(KX_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

if(WIN32)
  # The ANSI Win32 API throughout; Windows XP-era APIs and later.
  add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX WIN32_LEAN_AND_MEAN)
  add_link_options(-static -static-libgcc -static-libstdc++)
  set(KX_WINDOWS ON)
else()
  set(KX_WINDOWS OFF)
endif()

# kx_add_test(name SOURCES... LIBS ...): a GoogleTest executable registered with CTest.
# On mingw builds CTest runs it through the crosscompiling emulator (Wine).
function(kx_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  # scripts/wine-exec exits with 77 where this machine cannot run the build's programs.
  set_tests_properties(${name} PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77)
endfunction()
