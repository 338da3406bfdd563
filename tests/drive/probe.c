/* A Windows program for the tests, run under Wine from a mounted disc (by AutoPlay) or directly.
 *
 *   probe.exe FILE          reports on the drive of FILE (of the working directory when FILE
 *                           is relative) and reads FILE
 *   probe.exe --hold FLAG   keeps running (and so Wine's server) until the file FLAG exists
 *
 * The report goes to the file named by the environment variable TALVESK_PROBE_REPORT (Wine
 * passes the Unix environment on), one "name=value" line each: drive_type (GetDriveType of the
 * working directory's root), label, serial, filesystem (GetVolumeInformation), cwd, and file (the
 * first line of FILE). It is written under a temporary name and renamed, so a reader never sees
 * half of it. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

static int Hold(const char* flag) {
  /* Two minutes at most: a test that forgets to release it must not leave it behind. */
  for (int i = 0; i < 1200 && GetFileAttributesA(flag) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(100);
  return 0;
}

int main(int argc, char** argv) {
  if (argc == 3 && strcmp(argv[1], "--hold") == 0) return Hold(argv[2]);
  const char* reportPath = getenv("TALVESK_PROBE_REPORT");
  if (argc != 2 || !reportPath) return 2;

  char cwd[MAX_PATH] = "";
  GetCurrentDirectoryA(MAX_PATH, cwd);
  const char drive = argv[1][0] && argv[1][1] == ':' ? argv[1][0] : cwd[0];
  char root[4] = {drive, ':', '\\', 0};
  char label[MAX_PATH + 1] = "";
  char filesystem[MAX_PATH + 1] = "";
  DWORD serial = 0;
  const BOOL known = GetVolumeInformationA(root, label, sizeof label, &serial, NULL, NULL,
                                           filesystem, sizeof filesystem);

  char line[512] = "";
  FILE* input = fopen(argv[1], "r");
  if (input) {
    if (!fgets(line, sizeof line, input)) line[0] = 0;
    fclose(input);
  }
  line[strcspn(line, "\r\n")] = 0;

  char temporary[MAX_PATH + 8];
  snprintf(temporary, sizeof temporary, "%s.new", reportPath);
  FILE* report = fopen(temporary, "w");
  if (!report) return 1;
  fprintf(report, "drive_type=%u\nlabel=%s\nserial=%08lX\nfilesystem=%s\ncwd=%s\nfile=%s\n",
          GetDriveTypeA(root), known ? label : "?", (unsigned long)serial, filesystem, cwd, line);
  if (fclose(report) != 0) return 1;
  return MoveFileExA(temporary, reportPath, MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
