// The log line of a simulated call: its name, then its arguments, numbers
// as they are, texts quoted, a null text pointer as NULL.
#pragma once

#include <sstream>
#include <string>

#include "host/sim/sim_os.h"

namespace sim::detail {

inline void Put(std::ostringstream& out, const std::string& text) { out << '"' << text << '"'; }
inline void Put(std::ostringstream& out, const Text& text) {
  out << '"' << host::ToUtf8(text) << '"';
}
inline void Put(std::ostringstream& out, const char* text) {
  if (text == nullptr) {
    out << "NULL";
  } else {
    Put(out, std::string(text));
  }
}
inline void Put(std::ostringstream& out, bool value) { out << (value ? "true" : "false"); }
template <class Number>
void Put(std::ostringstream& out, const Number& value) {
  out << +value;
}

}  // namespace sim::detail

namespace sim {

template <class... Args>
void SimOs::Log(const std::string& name, const Args&... args) {
  if (!logging) return;
  std::ostringstream out;
  out << name << '(';
  [[maybe_unused]] const char* separator = "";
  ((out << separator, detail::Put(out, args), separator = ", "), ...);
  out << ')';
  log.push_back(out.str());
}

}  // namespace sim
