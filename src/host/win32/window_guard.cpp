#include "host/win32/window_guard.h"

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

struct Orders {
  HANDLE saver;
  HANDLE dismissed;
  HWND window;
};

template <class T>
T FromNumber(unsigned long value) {
  return reinterpret_cast<T>(static_cast<ULONG_PTR>(value));
}

template <class T>
unsigned long ToNumber(T value) {
  return static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(value));
}

// The numbers after the switch, each followed by a blank or the end; none
// when the arguments are anything else.
std::optional<std::vector<unsigned long>> NumbersAfterSwitch(const std::wstring& arguments) {
  const std::size_t length = wcslen(kGuardSwitch);
  if (arguments.compare(0, length, kGuardSwitch) != 0) return std::nullopt;
  std::vector<unsigned long> numbers;
  const wchar_t* p = arguments.c_str() + length;
  while (*p == L' ') {
    wchar_t* end = nullptr;
    numbers.push_back(wcstoul(p + 1, &end, 10));
    if (end == p + 1 || (*end != L' ' && *end != L'\0')) return std::nullopt;
    p = end;
  }
  return numbers;
}

// A guard's command line typed by hand names no handle that this process
// holds, so it is checked against the process id: such a line runs the
// program as any other text would.
std::optional<Orders> ReadOrders() {
  const auto numbers = NumbersAfterSwitch(W(ArgumentsOf(GetCommandLineW())));
  if (!numbers || numbers->size() != 4) return std::nullopt;
  const unsigned long saverId = (*numbers)[0];
  Orders orders{FromNumber<HANDLE>((*numbers)[1]), FromNumber<HANDLE>((*numbers)[2]),
                FromNumber<HWND>((*numbers)[3])};
  if (saverId == 0 || GetProcessId(orders.saver) != saverId) return std::nullopt;
  return orders;
}

// Only the two handles are inherited, whatever else the saver holds.
class InheritOnly {
 public:
  explicit InheritOnly(std::vector<HANDLE> handles) : handles_(std::move(handles)) {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    buffer_.resize(size);
    list_ = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer_.data());
    ready_ = InitializeProcThreadAttributeList(list_, 1, 0, &size) &&
             UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                       handles_.size() * sizeof(HANDLE), nullptr, nullptr);
  }
  InheritOnly(const InheritOnly&) = delete;
  InheritOnly& operator=(const InheritOnly&) = delete;
  ~InheritOnly() {
    if (ready_) DeleteProcThreadAttributeList(list_);
  }
  LPPROC_THREAD_ATTRIBUTE_LIST List() const { return ready_ ? list_ : nullptr; }

 private:
  std::vector<HANDLE> handles_;
  std::vector<char> buffer_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
  bool ready_ = false;
};

bool StartGuardProcess(const std::wstring& exePath, HANDLE saver, HANDLE dismissed, HWND window) {
  wchar_t numbers[64];  // four numbers of at most ten digits
  wsprintfW(numbers, L" %lu %lu %lu %lu", GetCurrentProcessId(), ToNumber(saver),
            ToNumber(dismissed), ToNumber(window));
  std::wstring line = L'"' + exePath + L"\" " + kGuardSwitch + numbers;
  const InheritOnly inherit({saver, dismissed});
  if (!inherit.List()) return false;
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_FORCEOFFFEEDBACK;  // no busy pointer for a helper
  startup.lpAttributeList = inherit.List();
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(exePath.c_str(), line.data(), nullptr, nullptr, TRUE,
                      EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr, &startup.StartupInfo,
                      &process))
    return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

}  // namespace

WindowGuard::~WindowGuard() {
  if (HANDLE event = dismissed_.exchange(nullptr)) CloseHandle(event);
}

void WindowGuard::Start(HWND window, const std::wstring& exePath) {
  if (!window || started_) return;
  started_ = true;
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  HANDLE dismissed = CreateEventW(&inheritable, TRUE, FALSE, nullptr);
  HANDLE saver = nullptr;
  DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &saver,
                  SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, TRUE, 0);
  if (dismissed && saver && StartGuardProcess(exePath, saver, dismissed, window)) {
    dismissed_ = dismissed;
  } else if (dismissed) {
    CloseHandle(dismissed);
  }
  if (saver) CloseHandle(saver);  // the guard has its own copy
}

void WindowGuard::Dismiss() {
  if (HANDLE event = dismissed_.exchange(nullptr)) {
    SetEvent(event);
    CloseHandle(event);
  }
}

// When both have happened (the saver showed the window, then ended) the
// wait names the first, the dismissal.
bool RunAsWindowGuard() {
  const std::optional<Orders> orders = ReadOrders();
  if (!orders) return false;
  const HANDLE events[] = {orders->dismissed, orders->saver};
  if (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1)
    SetWindowPosWithoutWaiting(orders->window, nullptr, 0, 0, 0, 0, SWP_SHOWWINDOW);
  return true;
}

}  // namespace host::win32
