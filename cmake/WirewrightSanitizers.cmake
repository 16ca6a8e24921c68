# Address and undefined-behaviour sanitizers for every target of the build;
# any report stops the process, so a test cannot pass over one.
if(WW_SANITIZE)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    message(FATAL_ERROR "WW_SANITIZE needs GCC or Clang")
  endif()
  set(WW_SANITIZE_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_compile_options(${WW_SANITIZE_FLAGS})
  add_link_options(${WW_SANITIZE_FLAGS})
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # The sanitizers' instrumentation makes GCC's flow analysis report
    # std::variant members as maybe-uninitialized where they are not.
    add_compile_options(-Wno-maybe-uninitialized)
  endif()
endif()
