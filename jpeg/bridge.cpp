// The bridge between libjpeg and the picture code: the error manager that turns library errors
// into EJPEG, the stream data source and destination, and the release of a libjpeg object.
#include <jerror.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <typeinfo>
#include <utility>

#include "framework/system/resstrings.h"
#include "jpeg/codec.h"

namespace {

constexpr std::size_t kBlockSize = 4096;
// The source reads the stream in blocks but hands the library up to this many per fill:
// libjpeg-turbo decodes an MCU on its fast path only while 512 bytes per block of the MCU are
// buffered, which a single block seldom holds, so the last few kilobytes of every fill take the
// slow path. 256 KiB keeps that under half a per cent of a decode, even at 1/8 scale.
constexpr std::size_t kBlocksPerFill = 64;
constexpr std::size_t kSourceBufferSize = kBlockSize * kBlocksPerFill;

// The library's words for the message in codec's error manager, parameters filled in, by its
// standard formatter (ours formats nothing).
void FormatLibraryText(j_common_ptr codec, char (&text)[JMSG_LENGTH_MAX]) {
  jpeg_error_mgr standard;
  jpeg_std_error(&standard);
  standard.msg_code = codec->err->msg_code;
  std::memcpy(&standard.msg_parm, &codec->err->msg_parm, sizeof standard.msg_parm);
  jpeg_common_struct carrier;
  std::memset(&carrier, 0, sizeof carrier);
  carrier.err = &standard;
  standard.format_message(&carrier, text);
}

void ErrorExit(j_common_ptr codec) {
  char text[JMSG_LENGTH_MAX];
  FormatLibraryText(codec, text);
  const int code = codec->err->msg_code;
  CaptureFailure(codec, [code, &text] { throw EJPEG(code, text); });
  JumpToGuard(codec);
}

// Trace messages are dropped, and so are warnings unless a program listens: the library goes on
// with the data it has.
void EmitMessage(j_common_ptr codec, int level) {
  if (level >= 0) return;
  if (TJPEGWarningLog* log = ManagerOf(codec).warnings) {
    if (log->Texts.size() >= TJPEGWarningLog::kMaxTexts) {
      log->Overflowed = true;
      return;
    }
    char text[JMSG_LENGTH_MAX];
    FormatLibraryText(codec, text);
    try {
      log->Texts.emplace_back(text);
    } catch (...) {
      log->Overflowed = true;  // nothing may unwind through the library
    }
    return;
  }
  const TJPEGWarningHandler handler = JpegWarningHandler;
  if (handler == nullptr) return;
  char text[JMSG_LENGTH_MAX];
  FormatLibraryText(codec, text);
  handler(text);
}
void OutputMessage(j_common_ptr) {}
void FormatMessage(j_common_ptr, char* buffer) {
  if (buffer != nullptr) buffer[0] = '\0';
}
void ResetErrorManager(j_common_ptr codec) {
  codec->err->num_warnings = 0;
  codec->err->msg_code = 0;
}

jpeg_error_mgr MakeTemplate() {
  jpeg_error_mgr manager;
  std::memset(&manager, 0, sizeof manager);
  manager.error_exit = ErrorExit;
  manager.emit_message = EmitMessage;
  manager.output_message = OutputMessage;
  manager.format_message = FormatMessage;
  manager.reset_error_mgr = ResetErrorManager;
  return manager;
}

// --- data source -------------------------------------------------------------------------

struct stream_source_mgr {
  jpeg_source_mgr pub;
  TStream* stream;
  JOCTET* buffer;
  boolean start_of_file;
  // A read failed after earlier blocks of the same fill had arrived: those went to the library
  // first, and the failure (kept in the error manager) is raised when it asks for more.
  boolean failure_held;
};

stream_source_mgr& SourceOf(j_decompress_ptr codec) {
  return *reinterpret_cast<stream_source_mgr*>(codec->src);
}

void InitSource(j_decompress_ptr codec) { SourceOf(codec).start_of_file = TRUE; }

boolean FillInputBuffer(j_decompress_ptr codec) {
  stream_source_mgr& source = SourceOf(codec);
  const auto common = reinterpret_cast<j_common_ptr>(codec);
  if (source.failure_held) {
    source.failure_held = FALSE;
    if (ManagerOf(common).pending) JumpToGuard(common);
    ERREXIT(codec, JERR_FILE_READ);
  }
  std::size_t filled = 0;
  while (filled < kSourceBufferSize) {
    std::int64_t count = 0;
    if (!CaptureFailure(common, [&] {
          count = source.stream->Read(source.buffer + filled, std::int64_t{kBlockSize});
        })) {
      if (filled == 0) JumpToGuard(common);
      source.failure_held = TRUE;
      break;
    }
    if (count > 0) filled += std::min(static_cast<std::size_t>(count), kBlockSize);
    // A short block is the end of the data for now.
    if (count < static_cast<std::int64_t>(kBlockSize)) break;
  }
  if (filled == 0) {
    if (source.start_of_file) ERREXIT(codec, JERR_INPUT_EMPTY);
    WARNMS(codec, JWRN_JPEG_EOF);
    // A stream cut short ends as if its end-of-image marker had been read.
    source.buffer[0] = 0xFF;
    source.buffer[1] = JPEG_EOI;
    filled = 2;
  }
  source.pub.next_input_byte = source.buffer;
  source.pub.bytes_in_buffer = filled;
  source.start_of_file = FALSE;
  return TRUE;
}

void SkipInputData(j_decompress_ptr codec, long count) {
  if (count <= 0) return;
  jpeg_source_mgr& source = *codec->src;
  auto remaining = static_cast<std::size_t>(count);
  while (remaining > source.bytes_in_buffer) {
    remaining -= source.bytes_in_buffer;
    source.fill_input_buffer(codec);
  }
  source.next_input_byte += remaining;
  source.bytes_in_buffer -= remaining;
}

void TermSource(j_decompress_ptr) {}

// Sets a source's methods and leaves it empty, so that the library's first read fills it.
void SetSourceMethods(jpeg_source_mgr& source, void (*init)(j_decompress_ptr),
                      boolean (*fill)(j_decompress_ptr), void (*skip)(j_decompress_ptr, long)) {
  source.init_source = init;
  source.fill_input_buffer = fill;
  source.skip_input_data = skip;
  source.resync_to_restart = jpeg_resync_to_restart;
  source.term_source = TermSource;
  source.next_input_byte = nullptr;
  source.bytes_in_buffer = 0;
}

// --- in-place source over a memory stream ------------------------------------------------

// The picture's data lie in memory: the library reads them where they are, with no buffer to
// allocate and no bytes to copy, and decodes every MCU on its fast path.
struct memory_source_mgr {
  jpeg_source_mgr pub;
  const JOCTET* data;
  std::size_t size;
  boolean handed_over;  // the bytes went to the library
};

memory_source_mgr& MemorySourceOf(j_decompress_ptr codec) {
  return *reinterpret_cast<memory_source_mgr*>(codec->src);
}

void InitMemorySource(j_decompress_ptr) {}

boolean FillFromMemory(j_decompress_ptr codec) {
  memory_source_mgr& source = MemorySourceOf(codec);
  if (!source.handed_over) {
    source.handed_over = TRUE;
    if (source.size == 0) ERREXIT(codec, JERR_INPUT_EMPTY);
    source.pub.next_input_byte = source.data;
    source.pub.bytes_in_buffer = source.size;
    return TRUE;
  }
  // The library wants more than there is: the data end as if an end-of-image marker followed.
  static const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};
  WARNMS(codec, JWRN_JPEG_EOF);
  source.pub.next_input_byte = kEndOfImage;
  source.pub.bytes_in_buffer = sizeof kEndOfImage;
  return TRUE;
}

void SkipInMemory(j_decompress_ptr codec, long count) {
  if (count <= 0) return;
  jpeg_source_mgr& source = *codec->src;
  auto remaining = static_cast<std::size_t>(count);
  if (!MemorySourceOf(codec).handed_over && remaining > source.bytes_in_buffer) {
    remaining -= source.bytes_in_buffer;
    FillFromMemory(codec);
  }
  // Past the end: a single end-of-image marker stands for whatever was to be skipped.
  if (remaining > source.bytes_in_buffer) {
    FillFromMemory(codec);
    return;
  }
  source.next_input_byte += remaining;
  source.bytes_in_buffer -= remaining;
}

void AttachMemorySource(j_decompress_ptr codec, const JOCTET* data, std::size_t size) {
  // A source of another kind may be smaller: this one gets its own memory.
  if (codec->src == nullptr || codec->src->init_source != InitMemorySource) {
    codec->src = static_cast<jpeg_source_mgr*>((*codec->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(codec), JPOOL_PERMANENT, sizeof(memory_source_mgr)));
  }
  memory_source_mgr& source = MemorySourceOf(codec);
  SetSourceMethods(source.pub, InitMemorySource, FillFromMemory, SkipInMemory);
  source.data = data;
  source.size = size;
  source.handed_over = FALSE;
}

// --- data destination --------------------------------------------------------------------

struct stream_destination_mgr {
  jpeg_destination_mgr pub;
  TStream* stream;
  JOCTET* buffer;
};

stream_destination_mgr& DestinationOf(j_compress_ptr codec) {
  return *reinterpret_cast<stream_destination_mgr*>(codec->dest);
}

void InitDestination(j_compress_ptr codec) {
  stream_destination_mgr& destination = DestinationOf(codec);
  destination.buffer = static_cast<JOCTET*>(
      (*codec->mem->alloc_small)(reinterpret_cast<j_common_ptr>(codec), JPOOL_IMAGE, kBlockSize));
  destination.pub.next_output_byte = destination.buffer;
  destination.pub.free_in_buffer = kBlockSize;
}

// Writes count bytes of the buffer; anything short of all of them is the library's write error.
void WriteBlock(j_compress_ptr codec, std::size_t count) {
  stream_destination_mgr& destination = DestinationOf(codec);
  std::int64_t written = 0;
  const auto common = reinterpret_cast<j_common_ptr>(codec);
  if (!CaptureFailure(common, [&] {
        written = destination.stream->Write(destination.buffer, static_cast<std::int64_t>(count));
      })) {
    JumpToGuard(common);
  }
  if (written != static_cast<std::int64_t>(count)) ERREXIT(codec, JERR_FILE_WRITE);
}

boolean EmptyOutputBuffer(j_compress_ptr codec) {
  WriteBlock(codec, kBlockSize);
  stream_destination_mgr& destination = DestinationOf(codec);
  destination.pub.next_output_byte = destination.buffer;
  destination.pub.free_in_buffer = kBlockSize;
  return TRUE;
}

void TermDestination(j_compress_ptr codec) {
  const std::size_t count = kBlockSize - DestinationOf(codec).pub.free_in_buffer;
  if (count > 0) WriteBlock(codec, count);
}

}  // namespace

const jpeg_error_mgr JpegErrorTemplate = MakeTemplate();
TJPEGWarningHandler JpegWarningHandler = nullptr;

EJPEG::EJPEG(int code, std::string libraryText)
    : EInvalidGraphic(FormatResString(SJPEGError, code)), libraryText_(std::move(libraryText)) {}

EJPEG LibraryError(int code) {
  jpeg_error_mgr errors;
  jpeg_std_error(&errors);
  const bool known = code >= 0 && code <= errors.last_jpeg_message;
  return EJPEG(code, known ? errors.jpeg_message_table[code] : "");
}

void InstallErrorManager(jpeg_common_struct& codec, TJPEGErrorManager& manager) {
  manager.pub = JpegErrorTemplate;
  manager.jump = nullptr;
  manager.pending = nullptr;
  manager.warnings = nullptr;
  codec.err = &manager.pub;
}

void JumpToGuard(j_common_ptr codec) {
  TJPEGErrorManager& manager = ManagerOf(codec);
  // Returning into the library is not an option, and there is no frame to carry the failure to.
  if (manager.jump == nullptr) std::terminate();
  std::longjmp(*manager.jump, 1);
}

void jpeg_stream_src(j_decompress_ptr codec, TStream& stream) {
  // A plain memory stream is read where its bytes lie; a class derived from it may read
  // differently, so it goes through Read like any other stream.
  if (typeid(stream) == typeid(TMemoryStream)) {
    auto& memory = static_cast<TMemoryStream&>(stream);
    const std::int64_t start = std::min(memory.GetPosition(), memory.GetSize());
    memory.SetPosition(memory.GetSize());
    AttachMemorySource(codec, memory.Memory() + start,
                       static_cast<std::size_t>(memory.GetSize() - start));
    return;
  }
  // A source of another kind may be smaller: this one gets its own memory.
  if (codec->src == nullptr || codec->src->init_source != InitSource) {
    auto* source = static_cast<stream_source_mgr*>((*codec->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(codec), JPOOL_PERMANENT, sizeof(stream_source_mgr)));
    source->buffer = static_cast<JOCTET*>((*codec->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(codec), JPOOL_PERMANENT, kSourceBufferSize));
    codec->src = &source->pub;
  }
  stream_source_mgr& source = SourceOf(codec);
  SetSourceMethods(source.pub, InitSource, FillInputBuffer, SkipInputData);
  source.stream = &stream;
  source.start_of_file = TRUE;
  source.failure_held = FALSE;
}

void jpeg_bytes_src(j_decompress_ptr codec, const std::uint8_t* data, std::size_t size) {
  AttachMemorySource(codec, data, size);
}

void jpeg_stream_dest(j_compress_ptr codec, TStream& stream) {
  if (codec->dest == nullptr) {
    auto* destination = static_cast<stream_destination_mgr*>((*codec->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(codec), JPOOL_PERMANENT, sizeof(stream_destination_mgr)));
    destination->buffer = nullptr;
    codec->dest = &destination->pub;
  }
  stream_destination_mgr& destination = DestinationOf(codec);
  destination.pub.init_destination = InitDestination;
  destination.pub.empty_output_buffer = EmptyOutputBuffer;
  destination.pub.term_destination = TermDestination;
  destination.stream = &stream;
}

void ReleaseCodec(j_common_ptr codec) {
  if (codec->err == nullptr) return;
  jpeg_destroy(codec);
  codec->err = nullptr;
}
