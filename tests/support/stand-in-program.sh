#!/bin/sh
# A stand-in for the mount program, or for any program a test starts. Beside itself it writes
#   session  "<session id> <process id>",
#   fds      the descriptors it was started with (listed by a program it becomes, so that no
#            redirection of the shell's own shows),
#   args     each argument on a line of its own, last and by renaming, so that whoever waits for
#            this file finds all three complete.
here=$(dirname "$0")
echo "$(cut -d' ' -f6 /proc/$$/stat) $$" >"$here/session"
(exec ls -l --quoting-style=literal /proc/self/fd/ >"$here/fds")
for arg in "$@"; do printf '%s\n' "$arg"; done >"$here/args.tmp"
mv "$here/args.tmp" "$here/args"
