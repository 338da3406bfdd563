#!/bin/sh
# Starts the disc's menu. A desktop runs this file from the root of a newly mounted disc
# (freedesktop autostart of removable media); it works from any other folder too, since the
# launcher takes its titles from the folder it is started in.
case $0 in
*/*) cd "${0%/*}" || exit 1 ;;
esac
exec ./talvesk
