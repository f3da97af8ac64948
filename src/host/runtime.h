// Run-time errors, error traps and the checked arithmetic the program's
// numbers follow: 16-bit integers that overflow into an error, single and
// double precision with division by zero and invalid results as errors.
#pragma once

#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>

namespace host {

// Numbers of the trappable run-time errors.
enum class ErrorCode : int {
  InvalidArgument = 5,  // "invalid procedure call or argument"
  Overflow = 6,
  OutOfMemory = 7,
  DivisionByZero = 11,
  InternalError = 51,  // an exception that is not a run-time error
  FileNotFound = 53,
  PathNotFound = 76,
  InvalidPicture = 481,
};

class RuntimeError : public std::runtime_error {
 public:
  explicit RuntimeError(ErrorCode code, const std::string& what = {});
  ErrorCode code() const noexcept { return code_; }

 private:
  ErrorCode code_;
};

// The usual error trap: any run-time error abandons the rest of `body`
// silently and the caller goes on as after a normal return; memory that
// cannot be had is run-time error 7 like any other. Other exceptions (the
// process ending, a test's own failures) pass through untouched.
template <class Body>
void Trap(Body&& body) {
  try {
    body();
  } catch (const RuntimeError&) {
  } catch (const std::bad_alloc&) {
  }
}

// Booleans stored in 16 bits: true is all bits set.
using Boolean16 = std::int16_t;
inline constexpr Boolean16 kTrue = -1;
inline constexpr Boolean16 kFalse = 0;

// a + b in signed 16 bits; a result outside the range is an overflow error.
std::int16_t AddInt16(std::int16_t a, std::int16_t b);

// A double that becomes a single-precision value: rounded to nearest; a
// value beyond the single range (or not a number) is an overflow error.
float ToSingle(double value);

// a / b in double precision: x / 0 is a division by zero, 0 / 0 an invalid
// operation (reported as an overflow, as the runtime does), and a result
// that is infinite or not a number an overflow.
double Divide(double a, double b);

// A double-precision result that must be finite (products, differences).
double CheckFinite(double value);

}  // namespace host
