#include "output_file.h"

#include <cerrno>

namespace geofluid::cli {

bool OutputFile::Open() {
  if (file_) return true;
  if (error_ != 0) return false;
  const int fd = OpenOutput(path_, InterruptGuard::Requested());
  if (fd < 0) {
    error_ = errno;
    return false;
  }
  file_.emplace(fd, true);
  return true;
}

bool OutputFile::Close() { return file_ ? file_->Close() && error_ == 0 : error_ == 0; }

int OutputFile::Error() const {
  if (error_ != 0) return error_;
  return file_ ? file_->Error() : 0;
}

int OutputFile::overflow(int c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  if (!Open()) return traits_type::eof();
  return file_->sputc(traits_type::to_char_type(c));
}

std::streamsize OutputFile::xsputn(const char* data, std::streamsize size) {
  if (!Open()) return 0;
  return file_->sputn(data, size);
}

int OutputFile::sync() { return file_ ? file_->pubsync() : 0; }

}  // namespace geofluid::cli
