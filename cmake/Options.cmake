# Compiler settings shared by every target of the project.

set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)

option(ENABLE_FUZZING "Build the libFuzzer targets (clang only)" OFF)
option(ENABLE_SANITIZERS "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

# project_options(target): warnings as errors, sanitizers on the host,
# a self-contained program on Windows.
function(project_options target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
                                           -Wnon-virtual-dtor -Werror)
  # GCC 12 reports overlapping copies inside std::basic_string concatenation
  # at -O2 and above that cannot happen (a known false positive).
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  if(ENABLE_SANITIZERS)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined
                                             -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
  if(ENABLE_FUZZING)
    # Coverage for libFuzzer in every library the targets reach.
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link)
  endif()
  if(WIN32)
    target_compile_options(${target} PRIVATE -ffunction-sections -fdata-sections)
    target_compile_definitions(${target} PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                                                 _WIN32_WINNT=0x0501 WINVER=0x0501)
    get_target_property(kind ${target} TYPE)
    if(kind STREQUAL "EXECUTABLE")
      # No DLL beside the system ones: the C and C++ runtimes go inside.
      target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++
                          -Wl,--gc-sections $<$<NOT:$<CONFIG:Debug>>:-s>)
    endif()
  endif()
endfunction()
