# What the portable launcher may take from the player's machine, as a pattern for a library's file
# name: glibc's libraries; the X11 client libraries; libbsd and libmd, which Debian's libXdmcp
# needs. Sourced by the dependency test and the chroot test.
# shellcheck disable=SC2034
allowed_libraries='^(linux-vdso|ld-linux-x86-64|libc|libm|libdl|libpthread|librt|libX11|libX11-xcb|libXext|libXcursor|libXi|libXfixes|libXrandr|libXrender|libXss|libxcb|libXau|libXdmcp|libbsd|libmd)\.so(\.[0-9]+)*$'
