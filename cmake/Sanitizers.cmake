# PENDRAX_SANITIZE=address builds every target with AddressSanitizer and
# UndefinedBehaviorSanitizer, =thread with ThreadSanitizer. Any report stops
# the process with a failure: nothing is allowed to recover and carry on.
set(PENDRAX_SANITIZE "" CACHE STRING "Sanitizers to build with: address (with undefined) or thread")
set_property(CACHE PENDRAX_SANITIZE PROPERTY STRINGS "" address thread)

if(PENDRAX_SANITIZE STREQUAL "address")
  set(pendrax_sanitizer_flags -fsanitize=address,undefined -fno-sanitize-recover=all)
elseif(PENDRAX_SANITIZE STREQUAL "thread")
  set(pendrax_sanitizer_flags -fsanitize=thread)
elseif(NOT PENDRAX_SANITIZE STREQUAL "")
  message(FATAL_ERROR "PENDRAX_SANITIZE must be address or thread, not '${PENDRAX_SANITIZE}'")
endif()

# The fuzzers' tree: everything instrumented for libFuzzer's coverage and
# checked by ASan and UBSan; the fuzz targets alone link the fuzzer runtime
# (the shared module cannot: it links with --no-undefined).
if(PENDRAX_BUILD_FUZZERS)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang" OR pendrax_sanitizer_flags)
    message(FATAL_ERROR "PENDRAX_BUILD_FUZZERS needs clang and no PENDRAX_SANITIZE")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  set(PENDRAX_FUZZER_LINK_FLAGS -fsanitize=fuzzer,address,undefined)
elseif(pendrax_sanitizer_flags)
  if(WIN32)
    message(FATAL_ERROR "PENDRAX_SANITIZE is for native builds only")
  endif()
  # Frame pointers keep the reports' stacks complete at -O2.
  add_compile_options(${pendrax_sanitizer_flags} -fno-omit-frame-pointer)
  add_link_options(${pendrax_sanitizer_flags})
  # GCC's instrumentation gives false maybe-uninitialized warnings inside the
  # standard library (std::regex); the plain build keeps that warning.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    add_compile_options(-Wno-maybe-uninitialized)
  endif()
endif()
