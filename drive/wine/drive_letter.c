/* Defines or removes a drive letter of the running Wine prefix through Wine's mount manager, as
 * winecfg does, so that a change takes effect at once for every Windows program, also while
 * Wine's server keeps running:
 *
 *   talvesk-drive-wine.exe cdrom LETTER UNIX_FOLDER   the letter becomes a CD-ROM drive
 *   talvesk-drive-wine.exe remove LETTER              the letter goes, with its dosdevices link
 *
 * The mount manager writes the dosdevices link and the drive type in the registry itself. Exit
 * status 0 on success, 1 with a message on stderr otherwise, 2 for a usage error. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>
#include <winioctl.h>

/* Wine 8's own layout of the request (its ddk/mountmgr.h); mingw-w64's copy of that header is
 * older and lacks fs_type, serial, unix_dev and label_offset, which Wine checks for. */
#define TALVESK_MOUNTMGR_DEFINE_UNIX_DRIVE \
  CTL_CODE((ULONG)'m', 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS)
enum { kFsTypeIso9660 = 3 };

struct unix_drive_request {
  ULONG size;
  ULONG type;
  ULONG fs_type;
  DWORD serial;
  ULONGLONG unix_dev;
  WCHAR letter;
  USHORT mount_point_offset;
  USHORT device_offset;
  USHORT label_offset;
};

static int Fail(const char* what) {
  fprintf(stderr, "talvesk-drive-wine: %s (Windows error %lu)\n", what, GetLastError());
  return 1;
}

/* The mount point is a Unix path: Wine takes its bytes as they are, so the UTF-16 argument goes
 * back to UTF-8. */
static char* Utf8(const wchar_t* text) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, NULL, 0, NULL, NULL);
  if (size <= 0) return NULL;
  char* bytes = malloc((size_t)size);
  if (bytes && WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, size, NULL, NULL) != size) {
    free(bytes);
    return NULL;
  }
  return bytes;
}

int wmain(int argc, wchar_t** argv) {
  const BOOL define = argc == 4 && wcscmp(argv[1], L"cdrom") == 0;
  const BOOL remove = argc == 3 && wcscmp(argv[1], L"remove") == 0;
  const wchar_t* letter = argc > 2 ? argv[2] : L"";
  if ((!define && !remove) || wcslen(letter) != 1 || !iswalpha(letter[0])) {
    fputs("usage: talvesk-drive-wine.exe cdrom LETTER UNIX_FOLDER | remove LETTER\n", stderr);
    return 2;
  }

  char* folder = define ? Utf8(argv[3]) : NULL;
  if (define && !folder) return Fail("the folder name cannot be converted");
  const size_t folderBytes = folder ? strlen(folder) + 1 : 0;
  const size_t size = sizeof(struct unix_drive_request) + folderBytes;
  if (size > 0xFFFF) return Fail("the folder name is too long");
  struct unix_drive_request* request = calloc(1, size);
  if (!request) return Fail("out of memory");
  request->size = (ULONG)size;
  /* A removal is a definition with no type and no folder. */
  request->type = define ? DRIVE_CDROM : DRIVE_NO_ROOT_DIR;
  request->fs_type = define ? kFsTypeIso9660 : 0;
  request->letter = (WCHAR)towlower(letter[0]);
  if (folder) {
    request->mount_point_offset = (USHORT)sizeof *request;
    memcpy(request + 1, folder, folderBytes);
  }

  HANDLE manager = CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
  if (manager == INVALID_HANDLE_VALUE) return Fail("Wine's mount manager cannot be opened");
  DWORD returned = 0;
  const BOOL done = DeviceIoControl(manager, TALVESK_MOUNTMGR_DEFINE_UNIX_DRIVE, request,
                                    (DWORD)size, NULL, 0, &returned, NULL);
  CloseHandle(manager);
  free(request);
  free(folder);
  return done ? 0 : Fail(define ? "the drive cannot be defined" : "the drive cannot be removed");
}
