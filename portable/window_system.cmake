# The portable launcher's window system: SDL2 and FreeType from Debian's static archives, their
# helpers too, and from the player's machine only glibc and the X11 client libraries.
#
# Debian's static SDL2 calls ALSA, PulseAudio, libsamplerate, Wayland, libdecor, xkbcommon and
# KMS/DRM directly instead of loading them when needed. The launcher makes no sound and draws on
# X11, so those are left out and replaced by stand-ins that report "not available"
# (portable/make-sdl-stubs); SDL then stays on X11, as it would on a machine without Wayland.
# Defines the INTERFACE target talvesk_window_system.
pkg_check_modules(SDL2 REQUIRED sdl2)
pkg_check_modules(FREETYPE REQUIRED freetype2)

set(_glibc_libraries c m dl pthread rt)
set(_left_out asound pulse-simple pulse samplerate drm gbm wayland-egl wayland-client
              wayland-cursor xkbcommon decor-0)

# The shared libraries say which functions the stand-ins must provide.
set(_left_out_shared)
set(_archive_suffixes ${CMAKE_FIND_LIBRARY_SUFFIXES})
set(CMAKE_FIND_LIBRARY_SUFFIXES .so)
foreach(name ${_left_out})
  find_library(_shared_${name} NAMES ${name} REQUIRED)
  list(APPEND _left_out_shared ${_shared_${name}})
endforeach()
set(CMAKE_FIND_LIBRARY_SUFFIXES ${_archive_suffixes})
find_library(_sdl2_archive NAMES libSDL2.a REQUIRED)

set(_stubs ${CMAKE_CURRENT_BINARY_DIR}/sdl_stubs.cpp)
add_custom_command(
  OUTPUT ${_stubs}
  COMMAND ${PROJECT_SOURCE_DIR}/portable/make-sdl-stubs ${_sdl2_archive} ${_stubs}
          ${_left_out_shared}
  DEPENDS ${PROJECT_SOURCE_DIR}/portable/make-sdl-stubs ${_sdl2_archive} ${_left_out_shared}
  COMMENT "Writing stand-ins for SDL's sound, Wayland and KMS/DRM libraries")
add_library(talvesk_sdl_stubs STATIC ${_stubs})

add_library(talvesk_window_system INTERFACE)
target_include_directories(talvesk_window_system INTERFACE ${SDL2_INCLUDE_DIRS}
                                                           ${FREETYPE_INCLUDE_DIRS})
# In pkg-config's order, so every archive comes before the archives it needs.
foreach(name ${FREETYPE_STATIC_LIBRARIES} ${SDL2_STATIC_LIBRARIES})
  if(name IN_LIST _glibc_libraries)
    target_link_libraries(talvesk_window_system INTERFACE ${name})
  elseif(name IN_LIST _left_out)
    target_link_libraries(talvesk_window_system INTERFACE talvesk_sdl_stubs)
  elseif(name MATCHES "^X")
    # X11 client libraries come from the player's machine, like its display.
    target_link_libraries(talvesk_window_system INTERFACE ${name})
  else()
    find_library(_archive_${name} NAMES lib${name}.a REQUIRED)
    target_link_libraries(talvesk_window_system INTERFACE ${_archive_${name}})
  endif()
endforeach()
# The launcher calls Xlib itself too (framework/window/x11_display.cpp).
target_link_libraries(talvesk_window_system INTERFACE X11)
target_link_options(talvesk_window_system INTERFACE -pthread)
