// File permissions that hold in a test run as root.
//
// The administrator reads and writes every file whatever its permissions,
// through two capabilities.  While a FilePermissionsApply lives, the calling
// thread works without them (they leave its effective set only, so they come
// back afterwards), and a file that nobody may read cannot be read.
#pragma once

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

class FilePermissionsApply {
 public:
  FilePermissionsApply() {
    if (::geteuid() != 0) {
      applies_ = true;  // they always do
      return;
    }
    if (!Get(saved_)) return;
    __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
    for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) reduced[cap / 32].effective &= ~(1u << (cap % 32));
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    dropped_ = ::syscall(SYS_capset, &header, reduced) == 0;
    applies_ = dropped_;
  }
  ~FilePermissionsApply() {
    if (!dropped_) return;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    ::syscall(SYS_capset, &header, saved_);
  }
  FilePermissionsApply(const FilePermissionsApply&) = delete;
  FilePermissionsApply& operator=(const FilePermissionsApply&) = delete;

  // False when the capabilities could not be given up (the test then
  // cannot show what a refused file does).
  bool Applies() const { return applies_; }

 private:
  static bool Get(__user_cap_data_struct (&data)[2]) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return ::syscall(SYS_capget, &header, data) == 0;
  }

  __user_cap_data_struct saved_[2] = {};
  bool dropped_ = false;
  bool applies_ = false;
};
