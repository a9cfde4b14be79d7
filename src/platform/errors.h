#pragma once

#include <atomic>
#include <stdexcept>
#include <string>

namespace geofluid {

// Every failure a run can meet carries a message that says what failed and where
// (which box, which file, which step), ready to be shown to the user as it stands.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A box or a stored line whose text is not a number.
class ConversionError : public Error {
 public:
  using Error::Error;
};

// An overflow, division by zero or invalid operation in a numeric step.
class ArithmeticError : public Error {
 public:
  using Error::Error;
};

// A missing directory or file, or a read or write that failed.
class FileError : public Error {
 public:
  using Error::Error;
};

// A species or mineral name the dataset does not hold, or a handle of another dataset.
class NameError : public Error {
 public:
  using Error::Error;
};

// The pH search did not end within its bound.
class SearchError : public Error {
 public:
  using Error::Error;
};

// A run stopped because its caller set the cancel flag it was given: its results are incomplete
// and must be dropped, not shown.
class Interrupted : public Error {
 public:
  Interrupted() : Error("interrupted") {}
};

// Throws Interrupted once `cancel` (which may be null: never) is set.
inline void ThrowIfCancelled(const std::atomic<bool>* cancel) {
  if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) throw Interrupted();
}

}  // namespace geofluid
