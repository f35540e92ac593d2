# Warning set, sanitizers and fuzzing flags shared by every target of the project.
# Targets opt in with orvantix_target_defaults(<target>).

function(orvantix_target_defaults target)
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PRIVATE
      -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align
      -Woverloaded-virtual -Wformat=2 -Wimplicit-fallthrough)
    if(ORVANTIX_WERROR)
      target_compile_options(${target} PRIVATE -Werror)
    endif()
  elseif(MSVC)
    target_compile_options(${target} PRIVATE /W4 /utf-8)
    if(ORVANTIX_WERROR)
      target_compile_options(${target} PRIVATE /WX)
    endif()
  endif()
endfunction()

if(ORVANTIX_SANITIZE)
  # Timing checks of the tests allow for the sanitizers' slowdown.
  add_compile_definitions(ORVANTIX_SANITIZED_BUILD=1)
  # -O1, as the sanitizers advise: unoptimised standard-library code runs the
  # fuzz targets and sanitized tests many times slower and finds nothing more.
  add_compile_options(-O1 -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(ORVANTIX_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "ORVANTIX_FUZZ needs clang (libFuzzer)")
  endif()
  # Every library gets coverage instrumentation; only the fuzz targets link
  # libFuzzer's main. The list of functions left out is copied under a name
  # that carries its content's hash: an edit changes every compile command,
  # so the build and the compiler cache cannot reuse objects made without it.
  set(ignore_list ${CMAKE_CURRENT_LIST_DIR}/fuzz-coverage-ignore.txt)
  file(SHA1 ${ignore_list} ignore_hash)
  string(SUBSTRING ${ignore_hash} 0 12 ignore_hash)
  set(ignore_copy ${CMAKE_BINARY_DIR}/fuzz-coverage-ignore-${ignore_hash}.txt)
  configure_file(${ignore_list} ${ignore_copy} COPYONLY)
  add_compile_options(-fsanitize=fuzzer-no-link -fsanitize-coverage-ignorelist=${ignore_copy})
endif()

# orvantix_add_fuzzer(<name> SOURCES ... LIBS ... CORPUS <dir>)
# A fuzz target is also a CTest test that runs for a short fixed time, so CI
# exercises every parser of outside input on each run.
set(ORVANTIX_FUZZ_SECONDS 20 CACHE STRING "Seconds each fuzz target runs under CTest")
function(orvantix_add_fuzzer name)
  if(NOT ORVANTIX_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  orvantix_target_defaults(${name})
  set(corpus_dir ${CMAKE_CURRENT_BINARY_DIR}/${name}_corpus)
  set(seed_args)
  if(F_CORPUS)
    list(APPEND seed_args ${F_CORPUS})
  endif()
  add_test(NAME fuzz.${name}
    COMMAND ${CMAKE_COMMAND} -E env
      sh -c "mkdir -p '${corpus_dir}' && exec \"$0\" -max_total_time=${ORVANTIX_FUZZ_SECONDS} -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 '${corpus_dir}' \"$@\""
      $<TARGET_FILE:${name}> ${seed_args})
  set_tests_properties(fuzz.${name} PROPERTIES LABELS fuzz TIMEOUT 300)
endfunction()

if(NOT ORVANTIX_SANITIZE AND NOT WIN32 AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  # The hardening Debian builds its own packages with.
  add_compile_options(-fstack-protector-strong $<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>)
  add_link_options(-Wl,-z,relro,-z,now)
endif()

# lld links the thirty-odd programs of a test build several times faster
# than the default linker; used when the compiler can use it.
include(CheckLinkerFlag)
check_linker_flag(CXX -fuse-ld=lld ORVANTIX_HAVE_LLD)
if(ORVANTIX_HAVE_LLD)
  add_link_options(-fuse-ld=lld)
endif()
