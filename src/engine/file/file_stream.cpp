// Positioned reads and writes of a disk file for the file object.
#include "engine/file/file_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "engine/base/database_error.h"

namespace tdb {

TRadiVOFileStream::TRadiVOFileStream(const std::string& path, bool writable)
    : path_(path), writable_(writable) {
  do {
    fd_ = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  } while (fd_ < 0 && errno == EINTR);
  if (fd_ < 0) {
    TErrorParams params = FileParams(path);
    params.SystemError = errno;
    switch (errno) {
      case ENOENT:
      case ENOTDIR: params.Open = ofMissing; break;
      case EISDIR: params.Open = ofFolder; break;
      case EACCES:
      case EPERM:
      case EROFS: params.Open = ofNoPermission; break;
      case ETXTBSY:
      case EBUSY: params.Open = ofInUse; break;
      default: params.Open = ofOther; break;
    }
    if (params.Open == ofMissing) DatabaseError(ekCannotOpen, Format("Cannot open file %s", {path}), params);
    DatabaseError(ekCannotOpen, Format("Cannot open file %s: %s", {path, std::strerror(params.SystemError)}), params);
  }
}

TRadiVOFileStream::~TRadiVOFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

void TRadiVOFileStream::IoError(const char* what) const {
  TErrorParams params = FileParams(path_);
  params.SystemError = errno;
  TErrorKind kind = errno == ENOSPC || errno == EDQUOT ? ekDiskFull : errno == EFBIG ? ekFileTooLarge : ekIoFailure;
  DatabaseError(kind, Format("Cannot %s file %s: %s", {what, path_, std::strerror(params.SystemError)}), params);
}

int64_t TRadiVOFileStream::Size() const {
  struct stat st;
  if (::fstat(fd_, &st) != 0) IoError("examine");
  return static_cast<int64_t>(st.st_size);
}

size_t TRadiVOFileStream::ReadAt(int64_t pos, uint8_t* dst, size_t n) const {
  if (n <= kMappedReadMax) {
    if (!map_) map_ = std::make_unique<TFileMap>(fd_);
    if (map_->Read(pos, dst, n)) return n;
  } else if (map_ && map_->ReadMapped(pos, dst, n)) {
    return n;  // pages the map holds already
  }
  size_t done = 0;
  while (done < n) {
    ssize_t r = ::pread(fd_, dst + done, n - done, static_cast<off_t>(pos + static_cast<int64_t>(done)));
    if (r < 0) {
      if (errno == EINTR) continue;
      IoError("read");
    }
    if (r == 0) break;  // end of file
    done += static_cast<size_t>(r);
  }
  return done;
}

size_t TRadiVOFileStream::ReadBeforeWrite(int64_t pos, uint8_t* dst, size_t n) const {
  if (n > kMappedReadMax && n <= kMappedRewriteMax) {
    if (!map_) map_ = std::make_unique<TFileMap>(fd_);
    if (map_->Read(pos, dst, n)) return n;
  }
  return ReadAt(pos, dst, n);
}

void TRadiVOFileStream::WriteAt(int64_t pos, const uint8_t* src, size_t n) {
  size_t done = 0;
  flushed_ = false;
  while (done < n) {
    ssize_t r = ::pwrite(fd_, src + done, n - done, static_cast<off_t>(pos + static_cast<int64_t>(done)));
    if (r < 0) {
      if (errno == EINTR) continue;
      IoError("write");
    }
    done += static_cast<size_t>(r);
  }
  if (map_) map_->Grew(pos + static_cast<int64_t>(n));
}

void TRadiVOFileStream::Flush() {
  int r;
  do {
    r = ::fdatasync(fd_);
  } while (r != 0 && errno == EINTR);
  if (r != 0) IoError("flush");
  flushed_ = true;
}

}  // namespace tdb
