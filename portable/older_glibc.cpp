// Definitions that keep the portable launcher off glibc's newest symbol versions, so that it runs
// on glibc 2.34 (the version the start-up code of a program linked here requires anyway). The
// static C++ runtime and unwinder reference these two only because Debian's glibc has them; our
// definitions take their place at link time, built on calls glibc has had for long.
#include <dlfcn.h>
#include <link.h>
#include <sys/random.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

namespace {

struct Search {
  std::uintptr_t address;
  dl_find_object* result;
  bool found;
};

int FindObject(dl_phdr_info* info, std::size_t, void* data) {
  auto* search = static_cast<Search*>(data);
  std::uintptr_t start = UINTPTR_MAX;
  std::uintptr_t end = 0;
  bool contains = false;
  void* ehFrame = nullptr;
  for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& segment = info->dlpi_phdr[i];
    const std::uintptr_t begin = info->dlpi_addr + segment.p_vaddr;
    if (segment.p_type == PT_LOAD) {
      if (begin < start) start = begin;
      if (begin + segment.p_memsz > end) end = begin + segment.p_memsz;
      if (search->address >= begin && search->address < begin + segment.p_memsz) contains = true;
    } else if (segment.p_type == PT_GNU_EH_FRAME) {
      ehFrame = reinterpret_cast<void*>(begin);
    }
  }
  if (!contains) return 0;
  *search->result = {};
  search->result->dlfo_map_start = reinterpret_cast<void*>(start);
  search->result->dlfo_map_end = reinterpret_cast<void*>(end);
  search->result->dlfo_eh_frame = ehFrame;
  search->found = true;
  return 1;
}

}  // namespace

// glibc 2.35: the unwinder's way to find the exception tables of the object holding an address.
// The same answer from dl_iterate_phdr, which the unwinder used before.
extern "C" int _dl_find_object(void* address, dl_find_object* result) noexcept {
  Search search{reinterpret_cast<std::uintptr_t>(address), result, false};
  dl_iterate_phdr(FindObject, &search);
  return search.found ? 0 : -1;
}

// glibc 2.36: std::random_device's source, which the launcher never uses.
extern "C" std::uint32_t arc4random() noexcept {
  std::uint32_t value = 0;
  ssize_t got = 0;
  do {
    got = getrandom(&value, sizeof value, 0);
  } while (got < 0 && errno == EINTR);
  // The kernel's generator cannot run dry; a failure means no random numbers at all.
  if (got != static_cast<ssize_t>(sizeof value)) std::abort();
  return value;
}
