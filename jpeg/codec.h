#pragma once
// Internal to the JPEG unit: the bridge to libjpeg and the work record of one codec run.
//
// No C++ exception may unwind through libjpeg's C frames. Every libjpeg call therefore runs
// inside JpegGuard, which sets a jump point in the operation's own frame; the library's error
// exit, and any exception caught in a callback we give the library (stream source/destination,
// progress monitor), is stored in the error manager and carried out by longjmp to that point,
// where it is rethrown.
// jpeglib.h needs FILE and size_t declared before it.
// clang-format off
#include <atomic>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include <jpeglib.h>
// clang-format on

#include "jpeg/jpeg.h"

struct TJPEGCodecRecord;

// Warnings kept by a decode that runs on another thread, for the picture's own thread to pass
// on later. Enough for any file a program would want to hear about; beyond that, Overflowed.
struct TJPEGWarningLog {
  static constexpr std::size_t kMaxTexts = 64;
  std::vector<std::string> Texts;
  bool Overflowed = false;
};

// The error manager of one libjpeg object: the library's record first, then the jump state.
struct TJPEGErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf* jump = nullptr;  // innermost JpegGuard of this object, while one runs
  std::exception_ptr pending;    // what JpegGuard rethrows after the jump
  // Null: warnings go to JpegWarningHandler at once. Otherwise they are kept here.
  TJPEGWarningLog* warnings = nullptr;
};

// The error manager of a libjpeg object: pub is its first member, so the library's pointer is
// the manager's address.
inline TJPEGErrorManager& ManagerOf(j_common_ptr codec) {
  return *reinterpret_cast<TJPEGErrorManager*>(codec->err);
}
inline TJPEGErrorManager& ManagerOf(j_decompress_ptr codec) {
  return ManagerOf(reinterpret_cast<j_common_ptr>(codec));
}

// Process-wide template every error manager is copied from (never written).
extern const jpeg_error_mgr JpegErrorTemplate;

// Copies the template into manager and points codec.err at it; call before jpeg_create_*.
void InstallErrorManager(jpeg_common_struct& codec, TJPEGErrorManager& manager);

// Jumps to the innermost JpegGuard of the object, which rethrows the failure stored in its error
// manager. Frames between the guard and here must hold only trivially destructible objects.
[[noreturn]] void JumpToGuard(j_common_ptr codec);

// Runs f; if it throws, stores the exception in the object's error manager and returns false.
// Callbacks called by libjpeg use it so that they leave the catch block, with nothing but trivial
// objects on their frame, before they call JumpToGuard.
template <class F>
bool CaptureFailure(j_common_ptr codec, F&& f) noexcept {
  try {
    std::forward<F>(f)();
    return true;
  } catch (...) {
    ManagerOf(codec).pending = std::current_exception();
    return false;
  }
}

// Runs a block of libjpeg calls for the object that owns manager; an error inside comes back
// here by longjmp and is rethrown as a C++ exception. call must not create objects with
// non-trivial destructors that live across a libjpeg call.
template <class Call>
void JpegGuard(TJPEGErrorManager& manager, Call&& call) {
  std::jmp_buf buffer;
  // Restores the outer guard however this one is left, also when call throws by itself.
  struct RestoreOuter {
    TJPEGErrorManager& manager;
    std::jmp_buf* outer;
    ~RestoreOuter() { manager.jump = outer; }
  } restore{manager, manager.jump};
  manager.jump = &buffer;
  if (setjmp(buffer) != 0) std::rethrow_exception(std::exchange(manager.pending, nullptr));
  call();
}

// Makes stream the data source of a decompressor, from its current position: read in
// 4096-byte blocks, up to 256 KiB per fill. A plain TMemoryStream is read in place instead (its
// position moves to the end at once), so it must stay unchanged until the decompressor is done.
void jpeg_stream_src(j_decompress_ptr codec, TStream& stream);
// Makes size bytes at data the data source of a decompressor, read in place; they must stay
// unchanged until the decompressor is done. Touches no stream, so that another thread may read
// a picture's bytes while the picture's own thread uses their stream.
void jpeg_bytes_src(j_decompress_ptr codec, const std::uint8_t* data, std::size_t size);
// Makes stream the data destination of a compressor (4096-byte blocks).
void jpeg_stream_dest(j_compress_ptr codec, TStream& stream);
// The error the library would raise for a message code without parameters, raised by the
// picture code itself.
EJPEG LibraryError(int code);
// Destroys the object if its err field is set, then clears err; safe to call twice.
void ReleaseCodec(j_common_ptr codec);

// Caps the library's own memory so that absurd headers fail as EJPEG instead of exhausting the
// machine; call right after every jpeg_create_*.
constexpr long kJpegMemoryLimit = 1L << 30;
inline void LimitCodecMemory(j_common_ptr codec) {
  codec->mem->max_memory_to_use = kJpegMemoryLimit;
}

// The progress record: libjpeg's own first, then the picture's fields.
struct TJPEGProgressState {
  jpeg_progress_mgr
      pub;  // progress_monitor, pass_counter, pass_limit, completed_passes, total_passes
  TJPEGImage* Owner;
  std::int32_t ReportedPercent;
  std::uint32_t ReportedTick;
  std::uint32_t ReportedRow;
  // The work of the scans begun so far, how many of them are counted, and the most they may cost
  // (0 until the first scan is counted); see EnforceScanBounds.
  std::uint64_t ScanWork;
  std::uint64_t ScanWorkLimit;
  int CountedScans;
  // Run by a decode before each running notification, with BeforeRunningContext; null if unused.
  void (*BeforeRunning)(void* context);
  void* BeforeRunningContext;
  // A decode on another thread is stopped, with EAbort, once this is set; null if unused.
  const std::atomic<bool>* Cancelled;
};

// libjpeg's progress_monitor: throttled running notifications to ProgressState.Owner; it also
// enforces the scan bounds on every call.
void ReportProgress(j_common_ptr codec);
// The progress_monitor of a decode that nobody watches (on another thread): it only enforces
// the scan bounds and stops the decode once ProgressState.Cancelled is set.
void ReportDetachedProgress(j_common_ptr codec);

// A decompressor fails with JERR_BAD_SCAN_SCRIPT once it has begun more than kMaxJpegScans
// scans, or once its scans would cost more than a few sequential decodes of its picture (each scan
// counted at what it can make the library do, before its first row is read); libjpeg has no
// bound of its own. Only runs that install the progress record meet it: the header read and the
// output size calculation read no scan. Called on every progress callback, and by paths that
// read scans without one.
constexpr std::uint64_t kMaxJpegScans = 500;
void EnforceScanBounds(j_decompress_ptr codec);

// Sends one progress notification from picture to its handlers (sender = picture, empty text);
// decode and compression send their starting and ending ones with it.
void SendProgress(TJPEGImage& picture, TProgressStage stage, std::uint8_t percent, bool redraw,
                  const TRect& rect);

// Zero-fills a work record before its codec is created.
void ClearCodecRecord(TJPEGCodecRecord& record);

enum class TJPEGCodecKind { Decompressor, Compressor };
// Clears the record, then creates its codec with the record's error manager and the memory cap.
// When the creation fails, nothing is left to release and the exception goes on.
void CreateCodec(TJPEGCodecRecord& record, TJPEGCodecKind kind);

// Whether the screen shows 8 bits per pixel or fewer (and so pictures through a palette).
bool ScreenIsPaletted();

// A new palette from a decompressor's colour map (0 if refused); the caller owns it.
HPALETTE ColorMapToPalette(j_decompress_ptr codec);
// Installs up to 256 entries of palette as the colour map of a decompressor that has read its
// header (nothing for an empty or unknown palette).
void PaletteToColorMap(j_decompress_ptr codec, HPALETTE palette);

// Work record of one decode or compression run.
struct TJPEGCodecRecord {
  TJPEGErrorManager ErrorManager{};
  TJPEGProgressState ProgressState{};
  std::int32_t SavedDctMethod = 0;
  bool SavedTwoPass = false;
  std::int32_t SavedDitherMode = 0;
  std::uint64_t DataBytes = 0;  // size of the JPEG data a decoder reads
  union {
    jpeg_common_struct Common;
    jpeg_decompress_struct Decompressor;
    jpeg_compress_struct Compressor;
  } Codec{};
};

// Releases a record's codec when the operation's frame is left, however it is left.
class CodecReleaseGuard {
 public:
  explicit CodecReleaseGuard(TJPEGCodecRecord& record) : record_(record) {}
  CodecReleaseGuard(const CodecReleaseGuard&) = delete;
  CodecReleaseGuard& operator=(const CodecReleaseGuard&) = delete;
  ~CodecReleaseGuard() { ReleaseCodec(&record_.Codec.Common); }

 private:
  TJPEGCodecRecord& record_;
};
