# What the build needs from the machine. A missing piece stops the
# configure with one line that names what to install, in place of the
# longer and vaguer errors that CMake would give further on. (The leading
# space of each message keeps CMake from wrapping it.)

include(CheckLanguage)

# A macro: languages can only be enabled at file scope. The project is
# declared without languages so that this runs before CMake's own compiler
# detection, which fails with a page of output.
macro(ww_require_cxx_compiler)
  check_language(CXX)
  if(NOT CMAKE_CXX_COMPILER)
    message(FATAL_ERROR " C++ compiler not found: install g++ (Debian) or gcc-c++, or set CXX to a C++20 compiler")
  endif()
  enable_language(CXX)
endmacro()

function(ww_require_openssl)
  find_package(OpenSSL QUIET COMPONENTS Crypto)
  if(NOT OpenSSL_FOUND)
    message(FATAL_ERROR " OpenSSL development files not found: install libssl-dev (Debian) or openssl-devel, or set OPENSSL_ROOT_DIR")
  endif()
endfunction()

# Python's headers, which a Debian interpreter lacks until its -dev package
# is installed. An interpreter that is missing or too old is left to the
# module's own find_package to report.
function(ww_require_python_headers)
  find_package(Python 3.11 QUIET COMPONENTS Interpreter Development.SABIModule)
  if(NOT Python_Interpreter_FOUND)
    return()
  endif()
  set(header "")
  if(Python_INCLUDE_DIRS)
    list(GET Python_INCLUDE_DIRS 0 include_dir)
    set(header "${include_dir}/Python.h")
  endif()
  if(NOT Python_Development.SABIModule_FOUND OR NOT EXISTS "${header}")
    set(version "${Python_VERSION_MAJOR}.${Python_VERSION_MINOR}")
    message(FATAL_ERROR " Python ${version} development files not found for ${Python_EXECUTABLE}: install python${version}-dev (Debian) or python3-devel")
  endif()
endfunction()
