#include "host/win32/window_guard.h"

#include <climits>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "host/win32/wide.h"
#include "host/win32/win32_os.h"

namespace host::win32 {

namespace {

// A guard's command line: the switch, then the saver's process id, the two
// inherited handles and the window, in decimal.
constexpr wchar_t kGuardSwitch[] = L"/ZARVO-GUARD";

template <class T>
T FromNumber(unsigned long value) {
  return reinterpret_cast<T>(static_cast<ULONG_PTR>(value));
}

template <class T>
unsigned long ToNumber(T value) {
  return static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(value));
}

// Plain decimal digits only: no sign, no blanks, no wrap-around past the
// largest value (wcstoul reads "-1" and an overflow both as 4294967295,
// which is the current process's pseudo-handle).
std::optional<unsigned long> Decimal(const wchar_t*& p) {
  unsigned long long value = 0;
  const wchar_t* start = p;
  for (; *p >= L'0' && *p <= L'9'; ++p) {
    value = value * 10 + static_cast<unsigned>(*p - L'0');
    if (value > ULONG_MAX) return std::nullopt;
  }
  if (p == start) return std::nullopt;
  return static_cast<unsigned long>(value);
}

// The numbers after the switch, each after one blank; none when the
// arguments are anything else.
std::optional<std::vector<unsigned long>> NumbersAfterSwitch(const std::wstring& arguments) {
  const std::size_t length = wcslen(kGuardSwitch);
  if (arguments.compare(0, length, kGuardSwitch) != 0) return std::nullopt;
  std::vector<unsigned long> numbers;
  const wchar_t* p = arguments.c_str() + length;
  while (*p == L' ') {
    ++p;
    const std::optional<unsigned long> number = Decimal(p);
    if (!number || (*p != L' ' && *p != L'\0')) return std::nullopt;
    numbers.push_back(*number);
  }
  return numbers;
}

// A handle value that a process can have been given: pseudo-handles (-1
// the current process, -2 the current thread, -3 to -6 the session and
// tokens) and kernel handles all have the top bit set, and a wait on the
// first two would never end.
bool IsHandleValue(unsigned long value) { return value != 0 && value < 0x80000000UL; }

// Only the listed handles are inherited, whatever else the process holds.
class InheritOnly {
 public:
  explicit InheritOnly(std::vector<HANDLE> handles) : handles_(std::move(handles)) {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    buffer_.resize(size);
    list_ = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer_.data());
    initialized_ = size > 0 && InitializeProcThreadAttributeList(list_, 1, 0, &size);
    ready_ = initialized_ &&
             UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                       handles_.size() * sizeof(HANDLE), nullptr, nullptr);
  }
  InheritOnly(const InheritOnly&) = delete;
  InheritOnly& operator=(const InheritOnly&) = delete;
  ~InheritOnly() {
    if (initialized_) DeleteProcThreadAttributeList(list_);
  }
  LPPROC_THREAD_ATTRIBUTE_LIST List() const { return ready_ ? list_ : nullptr; }

 private:
  std::vector<HANDLE> handles_;
  std::vector<char> buffer_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
  bool initialized_ = false;
  bool ready_ = false;
};

// An inheritable copy that lives only while the guard is created, so that
// no other process the saver (or a codec, or a dialog) starts inherits it.
class InheritableCopy {
 public:
  InheritableCopy(HANDLE source, DWORD access) {
    if (!DuplicateHandle(GetCurrentProcess(), source, GetCurrentProcess(), &copy_, access, TRUE, 0))
      copy_ = nullptr;
  }
  InheritableCopy(const InheritableCopy&) = delete;
  InheritableCopy& operator=(const InheritableCopy&) = delete;
  ~InheritableCopy() {
    if (copy_) CloseHandle(copy_);
  }
  HANDLE Get() const { return copy_; }

 private:
  HANDLE copy_ = nullptr;
};

bool CreateGuardProcess(const std::wstring& exePath, const std::wstring& line,
                        STARTUPINFOW* startup, DWORD flags) {
  // Out of a job that would end it together with the saver (a launcher's
  // kill-on-close job), where the job allows it. Where it does not, inside
  // it: the guard still covers every other way the saver ends.
  const DWORD attempts[] = {flags | CREATE_BREAKAWAY_FROM_JOB, flags};
  for (const DWORD attempt : attempts) {
    std::wstring writable = line;  // CreateProcessW may write to it
    PROCESS_INFORMATION process{};
    if (CreateProcessW(exePath.c_str(), writable.data(), nullptr, nullptr, TRUE, attempt, nullptr,
                       nullptr, startup, &process)) {
      CloseHandle(process.hThread);
      CloseHandle(process.hProcess);
      return true;
    }
    if (GetLastError() != ERROR_ACCESS_DENIED) return false;
  }
  return false;
}

bool StartGuardProcess(const std::wstring& exePath, HANDLE dismissed, HWND window) {
  const InheritableCopy saver(GetCurrentProcess(), SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION);
  const InheritableCopy event(dismissed, SYNCHRONIZE);
  if (!saver.Get() || !event.Get()) return false;
  wchar_t numbers[64];  // four numbers of at most ten digits
  wsprintfW(numbers, L" %lu %lu %lu %lu", GetCurrentProcessId(), ToNumber(saver.Get()),
            ToNumber(event.Get()), ToNumber(window));
  const std::wstring line = L'"' + exePath + L"\" " + kGuardSwitch + numbers;
  STARTUPINFOEXW startup{};
  startup.StartupInfo.dwFlags = STARTF_FORCEOFFFEEDBACK;  // no busy pointer for a helper
  // Where no list can be given, the guard also inherits whatever else is
  // inheritable: it lives no longer than the saver, so it holds nothing
  // longer than the saver would.
  const InheritOnly inherit({saver.Get(), event.Get()});
  if (inherit.List()) {
    startup.StartupInfo.cb = sizeof startup;
    startup.lpAttributeList = inherit.List();
    return CreateGuardProcess(exePath, line, &startup.StartupInfo, EXTENDED_STARTUPINFO_PRESENT);
  }
  startup.StartupInfo.cb = sizeof startup.StartupInfo;
  return CreateGuardProcess(exePath, line, &startup.StartupInfo, 0);
}

}  // namespace

WindowGuard::~WindowGuard() {
  if (HANDLE event = dismissed_.exchange(nullptr)) CloseHandle(event);
}

bool WindowGuard::Start(HWND window, const std::wstring& exePath) {
  if (!window || started_) return false;
  started_ = true;
  // Not inheritable: only the guard gets a copy, made for its creation.
  HANDLE dismissed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!dismissed) return false;
  if (!StartGuardProcess(exePath, dismissed, window)) {
    CloseHandle(dismissed);
    return false;
  }
  dismissed_ = dismissed;
  return true;
}

void WindowGuard::Dismiss() {
  if (HANDLE event = dismissed_.exchange(nullptr)) {
    SetEvent(event);
    CloseHandle(event);
  }
}

// A guard's command line typed by hand names no handle that this process
// holds, so it is checked against the process id: such a line runs the
// program as any other text would. One naming a pseudo-handle, or this
// process as the saver, would wait for itself for ever: it is refused.
GuardLine ReadGuardLine(const std::wstring& arguments) {
  GuardLine line;
  const auto numbers = NumbersAfterSwitch(arguments);
  if (!numbers || numbers->size() != 4) return line;
  const unsigned long saverId = (*numbers)[0];
  if (!IsHandleValue((*numbers)[1]) || !IsHandleValue((*numbers)[2]) ||
      saverId == GetCurrentProcessId()) {
    line.kind = GuardLine::kRefused;
    return line;
  }
  const HANDLE saver = FromNumber<HANDLE>((*numbers)[1]);
  if (saverId == 0 || GetProcessId(saver) != saverId) return line;
  line = {GuardLine::kGuard, saver, FromNumber<HANDLE>((*numbers)[2]),
          FromNumber<HWND>((*numbers)[3])};
  return line;
}

// When both have happened (the saver showed the window, then ended) the
// wait names the first, the dismissal.
bool RunAsWindowGuard() {
  const GuardLine line = ReadGuardLine(W(ArgumentsOf(GetCommandLineW())));
  if (line.kind == GuardLine::kNotGuard) return false;
  if (line.kind == GuardLine::kRefused) return true;
  const HANDLE events[] = {line.dismissed, line.saver};
  if (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1)
    SetWindowPosWithoutWaiting(line.window, nullptr, 0, 0, 0, 0, SWP_SHOWWINDOW);
  return true;
}

}  // namespace host::win32
