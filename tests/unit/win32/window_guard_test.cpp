// The task bar's guard: this program is the saver and, as zarvo.scr is, its own guard.
#include "host/win32/window_guard.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace host::win32 {
namespace {

std::wstring N(const void* value) { return std::to_wstring(reinterpret_cast<ULONG_PTR>(value)); }

std::wstring ThisExe() {
  wchar_t path[MAX_PATH];
  return std::wstring(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
}

// A copy of this program, suspended, inheriting what is inheritable.
PROCESS_INFORMATION Child(const std::wstring& arguments) {
  std::wstring line = L"\"" + ThisExe() + L"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr, nullptr,
                 &startup, &child);
  return child;
}

HWND HiddenWindow() {
  return CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 9, 9, nullptr, nullptr, nullptr,
                         nullptr);
}

TEST(WindowGuard, NoOtherProcessInheritsItsHandles) {
  const auto inheritable = [] {
    std::set<ULONG_PTR> found;
    DWORD flags = 0;
    for (ULONG_PTR h = 4; h < 0x4000; h += 4)
      if (GetHandleInformation(reinterpret_cast<HANDLE>(h), &flags) && flags & HANDLE_FLAG_INHERIT)
        found.insert(h);
    return found;
  };
  const std::set<ULONG_PTR> before = inheritable();
  WindowGuard guard;
  ASSERT_TRUE(guard.Start(HiddenWindow(), ThisExe()));
  EXPECT_EQ(inheritable(), before);
  guard.Dismiss();
}

// The saver, in a kill-on-close job, ended by closing the job or by itself.
TEST(WindowGuard, OutlivesTheSaversJobWhereAllowed) {
  for (const bool breakawayOk : {true, false}) {
    const HWND window = HiddenWindow();
    const HANDLE job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | (breakawayOk ? JOB_OBJECT_LIMIT_BREAKAWAY_OK : 0);
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE started = CreateEventW(&inherit, TRUE, FALSE, nullptr);
    const auto saver =
        Child(L"--saver " + N(window) + L" " + N(started) + (breakawayOk ? L"" : L" end"));
    AssignProcessToJobObject(job, saver.hProcess);
    ResumeThread(saver.hThread);
    ASSERT_EQ(WaitForSingleObject(started, 30000), WAIT_OBJECT_0) << breakawayOk;
    if (breakawayOk) CloseHandle(job);
    // The guard's SetWindowPos is posted to this thread, which answers it.
    for (int i = 0; i < 300 && !IsWindowVisible(window); ++i) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
      for (MSG m; PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE);) DispatchMessageW(&m);
    }
    EXPECT_TRUE(IsWindowVisible(window)) << breakawayOk;
    if (!breakawayOk) CloseHandle(job);
  }
}

// What matters is that these never reach the wait; a line naming handles
// that this process does not hold runs the program as other text does.
TEST(WindowGuard, LineNamingAPseudoHandleOrItselfIsRefused) {
  HANDLE self = nullptr;
  DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self, 0, FALSE,
                  DUPLICATE_SAME_ACCESS);
  const std::wstring own = std::to_wstring(GetCurrentProcessId());
  const std::pair<std::wstring, GuardLine::Kind> cases[] = {
      {L"1 8 4294967294", GuardLine::kRefused},  // this thread
      {L"1 4294967290 8", GuardLine::kRefused},  // a token
      {own + L" " + N(self) + L" 8", GuardLine::kRefused},
      {L"1 8 8", GuardLine::kNotGuard},
      {own + L" 99999999999 8", GuardLine::kNotGuard},  // not -1 by wrapping round
  };
  for (const auto& [numbers, kind] : cases)
    EXPECT_EQ(ReadGuardLine(L"/ZARVO-GUARD " + numbers + L" 5").kind, kind)
        << std::string(numbers.begin(), numbers.end());
}

}  // namespace
}  // namespace host::win32

// The guard first, as in zarvo.scr; then the saver of the job test, which
// says when its guard runs and, given "end", ends without dismissing it.
int main(int argc, char** argv) {
  if (host::win32::RunAsWindowGuard()) return 0;
  if (argc >= 4 && std::string(argv[1]) == "--saver") {
    const auto number = [](const char* s) { return HANDLE(ULONG_PTR(std::stoul(s))); };
    host::win32::WindowGuard guard;
    if (!guard.Start(HWND(number(argv[2])), host::win32::ThisExe())) return 3;
    SetEvent(number(argv[3]));
    if (argc == 4) Sleep(INFINITE);
    ExitProcess(0);
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
