# SPDX-License-Identifier: MIT
#
# The distribution's hardening flags for every target: fortified sources,
# stack protector, format checks, read-only relocations and immediate binding.
# Debian's compilers build position-independent executables already.
#
# dpkg-buildflags names the flags the system's own packages are built with
# (they change between releases); only the hardening ones are taken, the
# optimisation and debug flags stay with the build type. Without it (another
# distribution) the same set is given explicitly. ELF only: not for Windows or
# macOS builds.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux" OR NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  return()
endif()

find_program(MORVANE_DPKG_BUILDFLAGS dpkg-buildflags)
mark_as_advanced(MORVANE_DPKG_BUILDFLAGS)
if(MORVANE_DPKG_BUILDFLAGS)
  set(_flags)
  foreach(_kind CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
              ${MORVANE_DPKG_BUILDFLAGS} --get ${_kind}
      OUTPUT_VARIABLE _out OUTPUT_STRIP_TRAILING_WHITESPACE)
    separate_arguments(_out UNIX_COMMAND "${_out}")
    list(APPEND _flags ${_out})
  endforeach()
  list(FILTER _flags INCLUDE REGEX
       "^(-D_FORTIFY_SOURCE=|-fstack-|-fcf-protection|-mbranch-protection=|-Wl,-z,|-Wformat|-Werror=format)")
else()
  set(_flags -D_FORTIFY_SOURCE=2 -fstack-protector-strong -Wformat -Werror=format-security
             -Wl,-z,relro -Wl,-z,now)
endif()

foreach(_flag IN LISTS _flags)
  if(_flag MATCHES "^-Wl,")
    add_link_options(${_flag})
  elseif(_flag MATCHES "^-D_FORTIFY_SOURCE")
    # Fortified calls need optimisation, and under the sanitizers they would
    # bypass the checks of ASan's own interceptors.
    if(NOT MORVANE_SANITIZE AND NOT MORVANE_FUZZ)
      add_compile_options($<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:${_flag}>)
    endif()
  else()
    add_compile_options(${_flag})
  endif()
endforeach()
