/* The demo disc's titles run this Windows program by AutoPlay when a click mounts their image: it
 * shows what a game on the disc would see of its drive, so that `make run` shows the whole road
 * from the click to a running Windows program. */
#include <stdio.h>
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  (void)instance;
  (void)previous;
  (void)commandLine;
  (void)show;
  char folder[MAX_PATH] = "";
  GetCurrentDirectoryA(MAX_PATH, folder);
  const char root[4] = {folder[0], ':', '\\', 0};
  char label[MAX_PATH + 1] = "";
  DWORD serial = 0;
  GetVolumeInformationA(root, label, sizeof label, &serial, NULL, NULL, NULL, 0);
  const UINT type = GetDriveTypeA(root);

  char text[1024];
  snprintf(text, sizeof text,
           "This is a demo title of the Talvesk disc, started by AutoPlay from its image.\n\n"
           "Drive %s is %s, with the label \"%s\" (serial %04lX-%04lX).",
           root, type == DRIVE_CDROM ? "a CD-ROM drive" : "not a CD-ROM drive", label,
           (unsigned long)(serial >> 16), (unsigned long)(serial & 0xFFFF));
  MessageBoxA(NULL, text, "Talvesk demo", MB_OK | MB_ICONINFORMATION);
  return 0;
}
