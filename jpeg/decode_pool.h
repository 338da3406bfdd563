#pragma once
// Internal to the JPEG unit: the worker threads that decode pictures ahead of their first use,
// one per core. The environment variable TALVESK_DECODE_WORKERS, read once, sets another number
// (0 turns decoding ahead off; tests run with 1 and with several). The threads start with the
// first decode ahead and stop when the process exits, cancelling what they are doing.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "jpeg/codec.h"
#include "jpeg/picture_internals.h"

// One picture's decode on a worker. The picture's own thread makes it, queues it and settles
// it; in between, only the worker touches the bitmap and the results.
class TDecodeAheadJob {
 public:
  TDecodeAheadJob(const TJPEGDecodeOptions& options, const std::uint8_t* bytes, std::size_t size,
                  std::uint64_t bitmapBytes)
      : Options(options), Bytes(bytes), Size(size), BitmapBytes(bitmapBytes) {}

  const TJPEGDecodeOptions Options;
  const std::uint8_t* const Bytes;  // the picture's data, unchanged until the job is settled
  const std::size_t Size;
  const std::uint64_t BitmapBytes;  // the most its bitmap can take, held against the budget
  // Made with the job, so that bitmaps are made and freed on the picture's thread.
  const std::shared_ptr<TBitmap> Bitmap = std::make_shared<TBitmap>();
  std::atomic<bool> Cancelled{false};

  // The results, valid once the job is settled: Decoded when the decode ran to its end.
  bool Decoded = false;
  bool PaletteModified = false;
  TJPEGWarningLog Warnings;

 private:
  friend class TDecodePool;
  enum class Stage { Queued, Running, Done };
  Stage stage_ = Stage::Queued;  // guarded by the pool's lock
};

// The bitmaps of the decodes queued, running or done and not yet settled take at most this
// much together: a program that loads many pictures and shows none holds no more than one
// decode's bitmap may take.
constexpr std::uint64_t kDecodeAheadBudget = TBitmap::kMaxPixelBytes;

// Queues the job for a worker; false (and nothing queued) when decoding ahead is off, the job
// would take the bitmaps past the budget, or the workers have stopped.
bool QueueDecodeAhead(const std::shared_ptr<TDecodeAheadJob>& job);

// Waits until no worker uses the queued job any more. A job that has not started is not
// started at all; with cancel, a running one stops at the library's next progress callback.
void SettleDecodeAhead(TDecodeAheadJob& job, bool cancel);

// Returns once no job is queued or running: for tests that must know a decode ahead has ended.
void WaitUntilDecodePoolIdle();
