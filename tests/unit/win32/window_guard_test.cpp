// The task bar's guard under Wine: this program is both the "saver" and, like
// zarvo.scr, its own guard.
#include "host/win32/window_guard.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>

namespace host::win32 {
namespace {

std::wstring Number(const void* value) {
  return std::to_wstring(reinterpret_cast<ULONG_PTR>(value));
}

std::wstring ThisExe() {
  wchar_t path[MAX_PATH];
  return std::wstring(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
}

// A copy of this program, suspended, in `job` when there is one.
PROCESS_INFORMATION Child(const std::wstring& arguments, HANDLE job = nullptr) {
  std::wstring line = L"\"" + ThisExe() + L"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  EXPECT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED,
                             nullptr, nullptr, &startup, &child));
  if (job) {
    EXPECT_TRUE(AssignProcessToJobObject(job, child.hProcess));
  }
  return child;
}

std::set<HANDLE> InheritableHandles() {
  std::set<HANDLE> found;
  DWORD flags = 0;
  for (ULONG_PTR value = 4; value < 0x4000; value += 4)
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) &&
        (flags & HANDLE_FLAG_INHERIT))
      found.insert(reinterpret_cast<HANDLE>(value));
  return found;
}

// The guard's SetWindowPos is posted to this thread, which must answer it.
bool ShownWithin30s(HWND window) {
  for (int i = 0; i < 300 && !IsWindowVisible(window); ++i) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    for (MSG m; PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE);) DispatchMessageW(&m);
  }
  return IsWindowVisible(window);
}

HWND HiddenWindow() {
  return CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 9, 9, nullptr, nullptr, nullptr,
                         nullptr);
}

TEST(WindowGuard, NoOtherProcessInheritsItsHandles) {
  const std::set<HANDLE> before = InheritableHandles();
  WindowGuard guard;
  ASSERT_TRUE(guard.Start(HiddenWindow(), ThisExe()));
  EXPECT_EQ(InheritableHandles(), before);
  guard.Dismiss();
}

// The saver is a child in a job with the job's kill-on-close limit, and is
// ended by closing the job (the launcher ends), or ends itself.
TEST(WindowGuard, OutlivesTheSaversJobWhereAllowed) {
  const struct {
    DWORD limits;
    bool saverEndsItself;
  } cases[] = {
      {JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_BREAKAWAY_OK, false},
      {JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE, true},  // no breakaway: started in the job
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.limits);
    const HWND window = HiddenWindow();
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = c.limits;
    ASSERT_TRUE(
        SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits));
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE started = CreateEventW(&inherit, TRUE, FALSE, nullptr);
    const PROCESS_INFORMATION saver = Child(
        L"--saver " + Number(window) + L" " + Number(started) + (c.saverEndsItself ? L" end" : L""),
        job);
    ResumeThread(saver.hThread);
    const HANDLE either[] = {started, saver.hProcess};
    ASSERT_EQ(WaitForMultipleObjects(2, either, FALSE, 30000), WAIT_OBJECT_0);
    if (!c.saverEndsItself) CloseHandle(job);
    EXPECT_TRUE(ShownWithin30s(window));
    if (c.saverEndsItself) CloseHandle(job);
    for (HANDLE h : {started, saver.hProcess, saver.hThread}) CloseHandle(h);
  }
}

TEST(WindowGuard, LineNamingAPseudoHandleOrItselfIsRefused) {
  const PROCESS_INFORMATION other = Child(L"--idle");
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr), self = nullptr;
  DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self, 0, FALSE,
                  DUPLICATE_SAME_ACCESS);
  const std::wstring pid = std::to_wstring(other.dwProcessId),
                     own = std::to_wstring(GetCurrentProcessId());
  const std::wstring process = Number(other.hProcess), dismissed = Number(event);
  const struct {
    std::wstring numbers;
    GuardLine::Kind kind;
  } cases[] = {
      {pid + L" " + process + L" " + dismissed + L" 5", GuardLine::kGuard},
      {own + L" 4294967295 4294967294 5", GuardLine::kRefused},  // this process, this thread
      {pid + L" " + process + L" 4294967294 5", GuardLine::kRefused},
      {pid + L" 4294967290 " + dismissed + L" 5", GuardLine::kRefused},  // a token
      {own + L" " + Number(self) + L" " + dismissed + L" 5", GuardLine::kRefused},
      {own + L" 99999999999 " + dismissed + L" 5", GuardLine::kNotGuard},  // not -1 by overflow
      {pid + L" -" + process + L" " + dismissed + L" 5", GuardLine::kNotGuard},
      {pid + L" " + process + L" " + dismissed, GuardLine::kNotGuard},
      {std::to_wstring(other.dwProcessId + 4) + L" " + process + L" " + dismissed + L" 5",
       GuardLine::kNotGuard},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.numbers.begin(), c.numbers.end()));
    const GuardLine line = ReadGuardLine(L"/ZARVO-GUARD " + c.numbers);
    EXPECT_EQ(line.kind, c.kind);
    EXPECT_TRUE(c.kind != GuardLine::kGuard ||
                (line.saver == other.hProcess && line.dismissed == event &&
                 line.window == reinterpret_cast<HWND>(5)));
  }
  TerminateProcess(other.hProcess, 0);
}

}  // namespace
}  // namespace host::win32

// As zarvo.scr's entry point does, before anything else; then a "saver" for
// the job test, which signals once its guard runs.
int main(int argc, char** argv) {
  if (host::win32::RunAsWindowGuard()) return 0;
  if (argc >= 4 && std::string(argv[1]) == "--saver") {
    host::win32::WindowGuard guard;
    const auto number = [](const char* text) {
      return reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(std::strtoul(text, nullptr, 10)));
    };
    if (!guard.Start(static_cast<HWND>(number(argv[2])), host::win32::ThisExe())) return 3;
    SetEvent(number(argv[3]));
    if (argc == 4) Sleep(INFINITE);
    ExitProcess(0);  // ended without dismissing, as a crash would
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
