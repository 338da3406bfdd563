# Hardening as Debian builds its packages, for every program of the project: the flags that
# dpkg-buildflags adds for hardening=+all (those it gives with +all and not with -all): stack
# protector, _FORTIFY_SOURCE, format checks, full RELRO and immediate binding. PIE is the
# compilers' own default here (dpkg-buildflags calls it built in). Debian 12's dpkg does not yet add
# stack-clash and control-flow (CET) protection, which dpkg 1.22 does; they are added when missing.
#
# Sanitizer builds go without _FORTIFY_SOURCE, since the sanitizers intercept the plain calls and
# not the fortified ones; so do unoptimised builds, where glibc ignores it with a warning.
find_program(TALVESK_DPKG_BUILDFLAGS dpkg-buildflags REQUIRED)

function(_talvesk_buildflags hardening variable out)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=${hardening}
            ${TALVESK_DPKG_BUILDFLAGS} --get ${variable}
    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  set(${out} "${flags}" PARENT_SCOPE)
endfunction()

function(_talvesk_hardening_flags variable out)
  _talvesk_buildflags(+all ${variable} with)
  _talvesk_buildflags(-all ${variable} without)
  if(without)
    list(REMOVE_ITEM with ${without})
  endif()
  set(${out} "${with}" PARENT_SCOPE)
endfunction()

# C and C++ get the same flags from dpkg-buildflags; the C++ ones serve both.
_talvesk_hardening_flags(CPPFLAGS _talvesk_cppflags)
_talvesk_hardening_flags(CXXFLAGS _talvesk_compile_flags)
_talvesk_hardening_flags(LDFLAGS _talvesk_link_flags)

set(_talvesk_missing -fstack-clash-protection)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|i.86)$")
  list(APPEND _talvesk_missing -fcf-protection)
endif()
foreach(flag ${_talvesk_missing})
  if(NOT flag IN_LIST _talvesk_compile_flags)
    list(APPEND _talvesk_compile_flags ${flag})
  endif()
endforeach()

foreach(flag ${_talvesk_cppflags})
  if(flag MATCHES "^-D_FORTIFY_SOURCE")
    if(NOT TALVESK_SANITIZE AND NOT TALVESK_FUZZ AND NOT TALVESK_TSAN)
      list(APPEND _talvesk_compile_flags "$<$<NOT:$<CONFIG:Debug>>:${flag}>")
    endif()
  else()
    list(APPEND _talvesk_compile_flags ${flag})
  endif()
endforeach()

add_compile_options(${_talvesk_compile_flags})
add_link_options(${_talvesk_link_flags})
