#pragma once
// Byte streams: plain read/write report how much was moved, the exact forms throw.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "framework/classes/object.h"
#include "framework/system/ansistring.h"

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream : public TObject {
 public:
  const char* ClassName() const override { return "TStream"; }

  // Reads up to count bytes; returns how many were read (0 at the end).
  virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
  // Writes up to count bytes; returns how many were written.
  virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
  // Moves the position; returns the new position.
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
  // Changes the stream's size (where the stream supports it).
  virtual void SetSize64(std::int64_t newSize);

  std::int64_t GetPosition() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(std::int64_t position) { Seek(position, TSeekOrigin::soBeginning); }
  virtual std::int64_t GetSize();

  // Exact forms: EReadError / EWriteError unless all count bytes move.
  void ReadBuffer(void* buffer, std::int64_t count);
  void WriteBuffer(const void* buffer, std::int64_t count);
  // Copies count bytes from source (all of it from position 0 when count is 0).
  std::int64_t CopyFrom(TStream& source, std::int64_t count);
};

// A stream over one growable block of memory that can be addressed directly.
class TMemoryStream : public TStream {
 public:
  const char* ClassName() const override { return "TMemoryStream"; }
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  // Negative sizes and sizes the machine cannot hold raise EOutOfResources.
  void SetSize64(std::int64_t newSize) override;
  std::int64_t GetSize() override { return size_; }
  std::int64_t GetSize() const { return size_; }

  std::uint8_t* Memory() { return data_.get(); }
  const std::uint8_t* Memory() const { return data_.get(); }
  void Clear();
  void LoadFromFile(const AnsiString& fileName);
  void SaveToFile(const AnsiString& fileName);

 private:
  struct FreeBlock {
    void operator()(std::uint8_t* block) const noexcept;
  };
  void Reserve(std::int64_t capacity);
  std::unique_ptr<std::uint8_t[], FreeBlock> data_;
  std::int64_t size_ = 0;
  std::int64_t capacity_ = 0;
  std::int64_t position_ = 0;
};

enum TFileMode : unsigned {
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmCreate = 0xFF00
};

// A stream over a file. The name may be a Windows path; it is mapped to the host path.
// Failure to open raises EFOpenError naming the file. Opened for reading, it never blocks: anything
// but a regular file (or a link to one) is refused. A failed write raises EWriteError with its
// cause.
class TFileStream : public TStream {
 public:
  TFileStream(const AnsiString& fileName, unsigned mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;
  const char* ClassName() const override { return "TFileStream"; }
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  void SetSize64(std::int64_t newSize) override;

 protected:
  // Takes over a descriptor already open for writing.
  TFileStream(int descriptor, const AnsiString& fileName) : fd_(descriptor), fileName_(fileName) {}
  [[noreturn]] void WriteFailed(int error) const;

  int fd_ = -1;

 private:
  AnsiString fileName_;
};
