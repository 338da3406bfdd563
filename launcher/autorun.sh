#!/bin/sh
# Starts the disc's menu. A desktop runs this file from the root of a newly mounted disc
# (freedesktop autostart of removable media); it works from any other folder too, since the
# launcher takes its titles from the folder it is started in.
#
# A desktop shows nothing of what a failed start prints, so whatever can be checked beforehand is,
# and a failure is told in Polish and English through whatever the desktop has, and on stderr.
# Plain sh and its built-ins only: the player's machine may have little else.

# tell POLISH ENGLISH: the two sentences on stderr and in the first notification or message box
# that works.
tell() {
  text="Talvesk: $1
$2"
  printf '%s\n' "$text" >&2
  for tool in notify-send zenity kdialog xmessage; do
    command -v "$tool" >/dev/null 2>&1 || continue
    case $tool in
    notify-send) notify-send --urgency=critical Talvesk "$1
$2" ;;
    zenity) zenity --error --no-markup --title=Talvesk --text="$text" ;;
    kdialog) kdialog --title Talvesk --error "$text" ;;
    xmessage) xmessage -center "$text" ;;
    esac >/dev/null 2>&1 && return 0
  done
  return 0
}

fail() {
  tell "$1" "$2"
  exit 1
}

# The launcher beside this file. A plain ISO 9660 disc without Rock Ridge shows every name in
# capitals.
find_program() {
  for program in ./talvesk ./TALVESK; do
    [ -f "$program" ] && return
  done
  fail "Na płycie nie ma programu talvesk (obok pliku autorun.sh)." \
    "The program talvesk is missing from the disc (beside autorun.sh)."
}

check_display() {
  [ -n "${DISPLAY:-}" ] || [ -n "${SDL_VIDEODRIVER:-}" ] ||
    fail "Brak ekranu X11 (zmienna DISPLAY jest pusta); Talvesk działa tylko na pulpicie X11 lub z XWayland." \
      "There is no X11 display (DISPLAY is not set); Talvesk runs only on an X11 desktop or with XWayland."
}

# newer A B: whether glibc version A (2.34, 2.3.4) is above B.
newer() {
  a_rest=${1#*.} b_rest=${2#*.}
  [ "${1%%.*}" -gt "${2%%.*}" ] ||
    { [ "${1%%.*}" -eq "${2%%.*}" ] && [ "${a_rest%%.*}" -gt "${b_rest%%.*}" ]; }
} 2>/dev/null

# Asks the dynamic loader, without starting anything, whether the C library is new enough and
# every library the launcher needs is there; the loader names what is missing.
check_program_runs() {
  [ -x "$program" ] ||
    fail "Z tej płyty nie można uruchamiać programów: jest zamontowana z opcją noexec albo plik talvesk nie ma prawa wykonywania. Zamontuj ją bez noexec albo skopiuj jej zawartość do katalogu, nadaj plikowi talvesk prawo wykonywania (chmod +x) i uruchom tam autorun.sh." \
      "Programs cannot run from this disc: it is mounted noexec, or the file talvesk is not executable. Mount it without noexec, or copy its contents to a folder, make talvesk executable (chmod +x) and run autorun.sh there."
  report=$(LD_TRACE_LOADED_OBJECTS=1 "$program" 2>&1)
  status=$?
  newest=""
  libraries=""
  while IFS= read -r line; do
    case $line in
    *"version \`GLIBC_"*"not found"*)
      version=${line#*\`GLIBC_}
      version=${version%%\'*}
      if [ -z "$newest" ] || newer "$version" "$newest"; then newest=$version; fi
      ;;
    *"=> not found"*)
      library=${line%% =>*}
      library=${library#"${library%%[! 	]*}"}
      libraries="${libraries:+$libraries, }$library"
      ;;
    esac
  done <<EOF
$report
EOF
  [ -z "$newest" ] ||
    fail "Biblioteka C tego systemu (glibc) jest za stara: Talvesk potrzebuje wersji $newest lub nowszej." \
      "This system's C library (glibc) is too old: Talvesk needs version $newest or newer."
  [ -z "$libraries" ] ||
    fail "Brakuje bibliotek, których Talvesk potrzebuje: $libraries." \
      "Talvesk needs libraries this system lacks: $libraries."
  [ "$status" -eq 0 ] ||
    fail "Nie można uruchomić programu Talvesk: $report" "Talvesk cannot start: $report"
}

# The launcher's mount command reaches the disc's virtual CD drive through the Wine prefix. On the
# first start it is installed there (a copy in the player's data folder, since the disc will be
# ejected, and a link at the command's fixed path); it reports its own failures. Without Wine or
# FUSE the menu still starts, and the player learns what to install.
install_drive() {
  drive=""
  for candidate in ./talvesk-drive ./TALVESK-DRIVE ./TALVESK_DRIVE; do
    if [ -f "$candidate" ]; then drive=$candidate; break; fi
  done
  [ -n "$drive" ] || return 0
  [ -e "${WINEPREFIX:-$HOME/.wine}/drive_c/Program Files/DAEMON Tools/daemon.exe" ] && return 0
  if ! command -v wine >/dev/null 2>&1 ||
    { [ "$(id -u)" -ne 0 ] && ! command -v fusermount3 >/dev/null 2>&1; }; then
    tell "Aby uruchamiać gry z tej płyty, zainstaluj Wine i FUSE: sudo apt install wine fuse3" \
      "To start the games on this disc, install Wine and FUSE: sudo apt install wine fuse3"
    return 0
  fi
  "$drive" --install >/dev/null
}

case $0 in
*/*) cd "${0%/*}" || fail "Nie można otworzyć katalogu ${0%/*}." "Cannot open the folder ${0%/*}." ;;
esac
find_program
check_display
check_program_runs
install_drive
exec "$program"
