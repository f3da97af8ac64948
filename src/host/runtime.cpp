#include "host/runtime.h"

#include <cmath>
#include <limits>

namespace host {

namespace {
std::string Describe(ErrorCode code, const std::string& what) {
  std::string text = "run-time error " + std::to_string(static_cast<int>(code));
  return what.empty() ? text : text + ": " + what;
}
}  // namespace

RuntimeError::RuntimeError(ErrorCode code, const std::string& what)
    : std::runtime_error(Describe(code, what)), code_(code) {}

std::int16_t AddInt16(std::int16_t a, std::int16_t b) {
  const int sum = int{a} + int{b};
  if (sum < std::numeric_limits<std::int16_t>::min() ||
      sum > std::numeric_limits<std::int16_t>::max()) {
    throw RuntimeError(ErrorCode::Overflow, "16-bit sum");
  }
  return static_cast<std::int16_t>(sum);
}

float ToSingle(double value) {
  if (std::isnan(value)) throw RuntimeError(ErrorCode::Overflow, "not a number");
  const float single = static_cast<float>(value);
  if (std::isinf(single) && !std::isinf(value)) {
    throw RuntimeError(ErrorCode::Overflow, "beyond single precision");
  }
  if (std::isinf(single)) throw RuntimeError(ErrorCode::Overflow, "infinite");
  return single;
}

double Divide(double a, double b) {
  if (b == 0.0) {
    if (a == 0.0 || std::isnan(a)) throw RuntimeError(ErrorCode::Overflow, "0 / 0");
    throw RuntimeError(ErrorCode::DivisionByZero);
  }
  return CheckFinite(a / b);
}

double CheckFinite(double value) {
  if (!std::isfinite(value)) throw RuntimeError(ErrorCode::Overflow, "not finite");
  return value;
}

}  // namespace host
