// Children on Windows, which has no fork: the child is the program itself
// started anew with a hidden first argument that names the task (its offset
// in the program's image, the same in every process of one program) and the
// pipe to answer on. ServeChildIfAsked, first thing in main, runs the task
// on the request read from standard input and ends the process there, before
// the program does anything of its own.
//
// Every child is in a job object that kills it when the parent's last handle
// on the job closes (the parent ending in any way), and watches its parent
// besides, for a parent that runs inside a job of its own that admits none.
#include <fcntl.h>   // _O_BINARY
#include <io.h>      // _setmode
#include <stdlib.h>  // _set_error_mode

#include <atomic>
#include <condition_variable>
#include <csignal>  // SIGABRT
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <thread>

#include "app/inputs/child_process.h"
#include "app/platform/base/errors.h"
#include "app/platform/process.h"     // ProgramPath
#include "app/platform/win32/wide.h"  // windows.h

#include <shellapi.h>  // CommandLineToArgvW

namespace kova::inputs {
namespace {

// The first argument of a child: "--kova-child=TASK,ANSWER,PARENT" in hex.
constexpr wchar_t kChildArgument[] = L"--kova-child=";

// How the child ends: our own codes for a task that throws and for abort,
// which the C runtime ends with exit code 3 (the code a task may exit with).
constexpr DWORD kEscapedException = 124;
constexpr DWORD kAborted = 0x40000015;  // STATUS_FATAL_APP_EXIT

// --- The child's side --------------------------------------------------------

class HandleOutput final : public ChildOutput {
 public:
  explicit HandleOutput(HANDLE handle) : handle_(handle) {}
  bool Write(const void* data, std::size_t length) override {
    const char* at = static_cast<const char*>(data);
    while (length > 0) {
      const DWORD part = static_cast<DWORD>(std::min<std::size_t>(length, 1u << 20));
      DWORD written = 0;
      if (!::WriteFile(handle_, at, part, &written, nullptr) || written == 0) return false;
      at += written;
      length -= written;
    }
    return true;
  }

 private:
  HANDLE handle_;
};

[[noreturn]] void EndChild(DWORD code) {
  // No exit handlers, no DLL detaching: a library's state may be broken.
  ::TerminateProcess(::GetCurrentProcess(), code);
  for (;;) ::Sleep(INFINITE);
}

LONG WINAPI EndOnCrash(EXCEPTION_POINTERS* info) {
  EndChild(info->ExceptionRecord->ExceptionCode);
}

[[noreturn]] void RunChild(ChildTask task, HANDLE answer, HANDLE parent) {
  // No error box, no debugger: a crash ends the child with its exception
  // code, an abort or a failed assertion with kAborted.
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  ::SetUnhandledExceptionFilter(&EndOnCrash);
  _set_error_mode(_OUT_TO_STDERR);
  std::signal(SIGABRT, [](int) { EndChild(kAborted); });
  // A child whose parent is gone has nobody to answer.
  std::thread([parent] {
    ::WaitForSingleObject(parent, INFINITE);
    EndChild(1);
  }).detach();

  std::string request;
  const HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(in, buffer, sizeof buffer, &got, nullptr) && got > 0)
    request.append(buffer, got);

  HandleOutput out(answer);
  try {
    task(request, out);
  } catch (...) {
    EndChild(kEscapedException);
  }
  EndChild(0);
}

std::uintptr_t ImageBase() {
  return reinterpret_cast<std::uintptr_t>(::GetModuleHandleW(nullptr));
}

// The size of the program's image in memory, from its headers.
std::uintptr_t ImageSize() {
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(ImageBase());
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(ImageBase() + dos->e_lfanew);
  return nt->OptionalHeader.SizeOfImage;
}

// --- The parent's side -------------------------------------------------------

[[noreturn]] void ThrowNoChild(const char* what, DWORD error = ::GetLastError()) {
  throw KovaError(std::string("No process can be started to read the file (") + what + ": error " +
                  std::to_string(error) + ")");
}

// The job of every child, made once: closed only as the parent ends.
HANDLE ChildrenJob() {
  static const HANDLE job = [] {
    HANDLE made = ::CreateJobObjectW(nullptr, nullptr);
    if (made != nullptr) {
      JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
      limits.BasicLimitInformation.LimitFlags =
          JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
      ::SetInformationJobObject(made, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }
    return made;
  }();
  return job;
}

// Handles become inheritable only while one child is started, so that no
// other child started at the same time by another thread holds them (which
// would keep a pipe open after its child ended).
std::mutex starting;

const char* Described(DWORD code) {
  switch (code) {
    case kAborted:
      return "Aborted";
    case EXCEPTION_ACCESS_VIOLATION:
      return "Access violation";
    case EXCEPTION_ILLEGAL_INSTRUCTION:
      return "Illegal instruction";
    case EXCEPTION_STACK_OVERFLOW:
      return "Stack overflow";
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
      return "Integer division by zero";
    case EXCEPTION_IN_PAGE_ERROR:
      return "In-page error";
    case 0xC0000374:
      return "Heap corruption";
    case 0xC0000409:
      return "Stack buffer overrun";
    default:
      return nullptr;
  }
}

class Win32Child final : public ChildProcess {
 public:
  Win32Child(win32::Handle process, win32::Handle answer, ChildClock::time_point deadline)
      : process_(std::move(process)), answer_(std::move(answer)), deadline_(deadline) {
    watchdog_ = std::thread([this] { Watch(); });
  }

  ~Win32Child() override {
    if (!ended_) ::TerminateProcess(process_.Get(), 1);
    StopWatching();
    ::WaitForSingleObject(process_.Get(), INFINITE);
  }

  bool Read(void* data, std::size_t length) override {
    char* at = static_cast<char*>(data);
    while (length > 0) {
      const DWORD part = static_cast<DWORD>(std::min<std::size_t>(length, 1u << 20));
      DWORD got = 0;
      // Blocks until the child writes or ends; the watchdog ends it at the
      // deadline.
      if (!::ReadFile(answer_.Get(), at, part, &got, nullptr) || got == 0) return false;
      at += got;
      length -= got;
    }
    return true;
  }

  void SetDeadline(ChildClock::time_point deadline) override {
    {
      std::lock_guard lock(mutex_);
      deadline_ = deadline;
    }
    changed_.notify_all();
  }

  ChildEnd Finish() override {
    if (!ended_) {
      char rest[4096];
      DWORD got = 0;
      while (::ReadFile(answer_.Get(), rest, sizeof rest, &got, nullptr) && got > 0) extra_ = true;
      ::WaitForSingleObject(process_.Get(), INFINITE);
      ended_ = true;
      StopWatching();
    }
    ChildEnd end;
    end.said_more = extra_;
    DWORD code = 0;
    ::GetExitCodeProcess(process_.Get(), &code);
    if (killed_) {
      end.kind = ChildEnd::Kind::kTimedOut;
    } else if (code >= 0xC0000000 || code == kAborted) {
      // An exception code: the child crashed.
      end.kind = ChildEnd::Kind::kCrashed;
      end.code = static_cast<int>(code);
      const char* name = Described(code);
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(code));
      end.description = name != nullptr ? name : std::string("exception ") + hex;
    } else {
      end.code = static_cast<int>(code);
      end.description = "exit code " + std::to_string(code);
    }
    return end;
  }

 private:
  // Kills the child at the deadline, which may move meanwhile.
  void Watch() {
    std::unique_lock lock(mutex_);
    while (!stop_) {
      if (changed_.wait_until(lock, deadline_) == std::cv_status::timeout &&
          ChildClock::now() >= deadline_ && !stop_) {
        if (::WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT) {
          killed_ = true;
          ::TerminateProcess(process_.Get(), 1);
        }
        return;
      }
    }
  }

  void StopWatching() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    if (watchdog_.joinable()) watchdog_.join();
  }

  win32::Handle process_;
  win32::Handle answer_;  // the parent's end of the answer's pipe
  std::mutex mutex_;
  std::condition_variable changed_;
  ChildClock::time_point deadline_;
  bool stop_ = false;
  std::atomic<bool> killed_ = false;
  std::thread watchdog_;
  bool ended_ = false;
  bool extra_ = false;
};

// An inheritable copy of `handle`, to be closed once the child has started.
win32::Handle Inheritable(HANDLE handle) {
  HANDLE copy = nullptr;
  if (!::DuplicateHandle(::GetCurrentProcess(), handle, ::GetCurrentProcess(), &copy, 0, TRUE,
                         DUPLICATE_SAME_ACCESS)) {
    ThrowNoChild("DuplicateHandle");
  }
  return win32::Handle(copy);
}

std::wstring Hex(std::uintptr_t value) {
  wchar_t text[20];
  std::swprintf(text, 20, L"%llx", static_cast<unsigned long long>(value));
  return text;
}

}  // namespace

void ServeChildIfAsked() {
  int count = 0;
  wchar_t** arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (arguments == nullptr) return;
  const std::size_t marker = sizeof kChildArgument / sizeof(wchar_t) - 1;
  if (count != 2 || std::wcsncmp(arguments[1], kChildArgument, marker) != 0) {
    ::LocalFree(arguments);
    return;
  }
  unsigned long long task = 0, answer = 0, parent = 0;
  const bool read =
      std::swscanf(arguments[1] + marker, L"%llx,%llx,%llx", &task, &answer, &parent) == 3;
  ::LocalFree(arguments);
  if (!read || task == 0 || task >= ImageSize()) EndChild(kEscapedException);
  _setmode(0, _O_BINARY);
  RunChild(reinterpret_cast<ChildTask>(ImageBase() + task),
           reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(answer)),
           reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(parent)));
}

std::unique_ptr<ChildProcess> StartChild(ChildTask task, const std::string& request,
                                         ChildClock::time_point deadline) {
  // The child finds the task at the same offset in its own image.
  HMODULE holder = nullptr;
  if (!::GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(task), &holder) ||
      holder != ::GetModuleHandleW(nullptr)) {
    throw KovaError("A child process can run only a task of the program itself");
  }
  const std::uintptr_t offset = reinterpret_cast<std::uintptr_t>(task) - ImageBase();

  SECURITY_ATTRIBUTES plain{sizeof plain, nullptr, FALSE};
  HANDLE read_end = nullptr, write_end = nullptr;
  if (!::CreatePipe(&read_end, &write_end, &plain, 1u << 20)) ThrowNoChild("CreatePipe");
  win32::Handle answer_read(read_end), answer_write(write_end);
  if (!::CreatePipe(&read_end, &write_end, &plain, 0)) ThrowNoChild("CreatePipe");
  win32::Handle request_read(read_end), request_write(write_end);
  win32::Handle nothing(::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                      nullptr));
  if (!nothing.Valid()) ThrowNoChild("NUL");

  const std::wstring program = win32::Widen(ProgramPath());
  PROCESS_INFORMATION started{};
  {
    std::lock_guard lock(starting);
    win32::Handle child_in = Inheritable(request_read.Get());
    win32::Handle child_answer = Inheritable(answer_write.Get());
    win32::Handle child_null = Inheritable(nothing.Get());
    win32::Handle parent = Inheritable(::GetCurrentProcess());
    std::wstring command = L"\"" + program + L"\" " + kChildArgument + Hex(offset) + L"," +
                           Hex(reinterpret_cast<std::uintptr_t>(child_answer.Get())) + L"," +
                           Hex(reinterpret_cast<std::uintptr_t>(parent.Get()));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = child_in.Get();
    startup.hStdOutput = child_null.Get();
    startup.hStdError = child_null.Get();
    if (!::CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE,
                          CREATE_NO_WINDOW | CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT, nullptr,
                          nullptr, &startup, &started)) {
      ThrowNoChild("CreateProcess");
    }
  }
  win32::Handle process(started.hProcess);
  win32::Handle thread(started.hThread);
  // Not in the job (a parent in a job that admits no other): the child still
  // watches its parent.
  if (const HANDLE job = ChildrenJob(); job != nullptr)
    ::AssignProcessToJobObject(job, process.Get());
  auto child = std::make_unique<Win32Child>(std::move(process), std::move(answer_read), deadline);
  ::ResumeThread(thread.Get());
  answer_write.Reset();
  request_read.Reset();

  // The request, all at once: the child reads it to its end before it
  // answers. A child that died before reading it all is seen in its answer.
  const char* at = request.data();
  std::size_t left = request.size();
  while (left > 0) {
    DWORD written = 0;
    const DWORD part = static_cast<DWORD>(std::min<std::size_t>(left, 1u << 20));
    if (!::WriteFile(request_write.Get(), at, part, &written, nullptr) || written == 0) break;
    at += written;
    left -= written;
  }
  return child;
}

}  // namespace kova::inputs
