# The distribution's hardening flags (as dpkg-buildflags gives them on Debian 12 amd64): buffer
# checks in the C library's string and memory calls, stack protector and stack clash
# protection, position-independent executables, and a read-only relocation table resolved at
# start-up. Off for the sanitizer and fuzzing builds, whose instrumentation replaces them.
option(ORVANE_HARDENING "Build with the distribution's hardening flags" ON)
if(ORVANE_HARDENING AND NOT ORVANE_SANITIZE AND NOT ORVANE_FUZZ)
  include(CheckPIESupported)
  check_pie_supported()
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  add_compile_options(-fstack-protector-strong -fstack-clash-protection -Wformat
                      -Werror=format-security)
  # Fortify needs the optimizer; a debug build has none.
  if(NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
    add_compile_definitions(_FORTIFY_SOURCE=2)
  endif()
  add_link_options(-Wl,-z,relro -Wl,-z,now)
endif()
