#pragma once

#include <cerrno>
#include <cstring>

namespace quern {

// The outcome of one system call: 0 for success, otherwise the error number
// that call left. Errors are turned into a status right where the call
// returns, so a stale errno from an earlier call can never leak into a later
// verdict.
class status {
 public:
  status() = default;
  static status ok() { return status(); }
  static status from_errno() { return status(errno != 0 ? errno : EIO); }
  static status error(int error_number) { return status(error_number); }

  bool is_ok() const { return error_number_ == 0; }
  int error_number() const { return error_number_; }
  const char* description() const { return std::strerror(error_number_); }
  // The process or the whole system has no descriptor left: a shortage that
  // giving some back can end, unlike any other failure.
  bool out_of_descriptors() const { return error_number_ == EMFILE || error_number_ == ENFILE; }

 private:
  explicit status(int error_number) : error_number_(error_number) {}
  int error_number_ = 0;
};

}  // namespace quern
