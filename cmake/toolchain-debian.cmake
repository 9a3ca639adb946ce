# Builds natively with the compiler and linker flags that Debian gives its own
# packages (dpkg-buildflags with all hardening), as the package tree is built.
foreach(flags CPPFLAGS CFLAGS CXXFLAGS LDFLAGS)
  # Run in the source tree: the flags map its path to "." in the debug information.
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get ${flags}
    WORKING_DIRECTORY ${CMAKE_CURRENT_LIST_DIR}/..
    OUTPUT_VARIABLE debian_${flags} OUTPUT_STRIP_TRAILING_WHITESPACE
    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
set(CMAKE_C_FLAGS_INIT "${debian_CPPFLAGS} ${debian_CFLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${debian_CPPFLAGS} ${debian_CXXFLAGS}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${debian_LDFLAGS}")
