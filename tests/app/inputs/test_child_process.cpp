// Children that answer, crash, hang or leave early: what the parent reads,
// how it learns the end, and that a child is killed at its deadline.
#include <gtest/gtest.h>
#ifdef _WIN32
#include <io.h>  // _dup, _dup2, _write
#else
#include <unistd.h>
#endif

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "app/inputs/child_process.h"
#include "support/temp_dir.h"

namespace kova::inputs {
namespace {

using namespace std::chrono_literals;

// How a crash and an abort end a child: by a signal, or with the exception
// code of Windows.
#ifdef _WIN32
constexpr int kIllegalInstruction = static_cast<int>(0xC000001Du);
constexpr int kAbort = 0x40000015;
int Duplicate(int fd) {
  return ::_dup(fd);
}
int Descriptor(std::FILE* file) {
  return ::_fileno(file);
}
void DuplicateOnto(int from, int to) {
  ::_dup2(from, to);
}
void WriteRaw(int fd, const char* text, unsigned length) {
  ::_write(fd, text, length);
}
#else
constexpr int kIllegalInstruction = SIGILL;
constexpr int kAbort = SIGABRT;
int Duplicate(int fd) {
  return ::dup(fd);
}
int Descriptor(std::FILE* file) {
  return ::fileno(file);
}
void DuplicateOnto(int from, int to) {
  ::dup2(from, to);
}
void WriteRaw(int fd, const char* text, unsigned length) {
  (void)!::write(fd, text, length);
}
#endif
constexpr int kStandardError = 2;

[[noreturn]] void HangForever() {
  for (;;) std::this_thread::sleep_for(1h);
}

// The request is the answer's size in bytes, as text.
std::string Answer(const std::string& request) {
  std::string answer(std::stoul(request), 'v');
  for (std::size_t i = 0; i < answer.size(); i += 4099) answer[i] = static_cast<char>(i % 251);
  return answer;
}
void Answers(const std::string& request, ChildOutput& out) {
  const std::string answer = Answer(request);
  out.Write(answer.data(), answer.size());
}
// An illegal instruction: not caught by sanitizers, as SIGSEGV is.
void AnswersThenCrashes(const std::string& request, ChildOutput& out) {
  Answers(request, out);
  __builtin_trap();
}
void AnswersThenHangs(const std::string& request, ChildOutput& out) {
  Answers(request, out);
  HangForever();
}
void Crashes(const std::string&, ChildOutput&) {
  __builtin_trap();
}
void Aborts(const std::string&, ChildOutput&) {
  std::abort();
}
void Hangs(const std::string&, ChildOutput&) {
  HangForever();
}
void ExitsWithThree(const std::string&, ChildOutput&) {
  std::_Exit(3);
}
void Throws(const std::string&, ChildOutput&) {
  throw std::runtime_error("lost");
}
// A library that prints: none of it may reach the parent's standard error.
void Prints(const std::string& request, ChildOutput& out) {
  std::fputs("HDF5-DIAG: Error detected\n", stderr);
  std::fflush(stderr);
  WriteRaw(kStandardError, "raw\n", 4);
  Answers(request, out);
}

struct ChildCase {
  const char* name;
  ChildTask task;
  std::size_t answer_bytes;  // sent, and read back
  bool answer_read;          // all of it arrives
  ChildEnd::Kind end;
  int code;                 // exit code, signal or exception code
  const char* description;  // of a crash
};
void PrintTo(const ChildCase& c, std::ostream* os) {
  *os << c.name;
}

class Children : public ::testing::TestWithParam<ChildCase> {};

TEST_P(Children, EndAsTheyDid) {
  const ChildCase& c = GetParam();
  // The parent's standard error, in a file for the time of the test.
  kova::testing::TempDir dir;
  std::fflush(stderr);
  const int saved_stderr = Duplicate(kStandardError);
  std::FILE* err = std::fopen(dir.file("err").c_str(), "w+");
  ASSERT_NE(err, nullptr);
  DuplicateOnto(Descriptor(err), kStandardError);

  const auto start = ChildClock::now();
  auto child = StartChild(c.task, std::to_string(c.answer_bytes), start + 1s);
  std::string answer(c.answer_bytes, '\0');
  const bool read = child->Read(answer.data(), answer.size());
  const ChildEnd end = child->Finish();
  const auto took = ChildClock::now() - start;

  DuplicateOnto(saved_stderr, kStandardError);
  std::fseek(err, 0, SEEK_END);
  EXPECT_EQ(std::ftell(err), 0) << "the child wrote to standard error";
  std::fclose(err);

  EXPECT_EQ(read, c.answer_read);
  if (c.answer_read) {
    EXPECT_TRUE(answer == Answer(std::to_string(c.answer_bytes)));
  }
  EXPECT_EQ(end.kind, c.end);
  EXPECT_EQ(end.code, c.code);
  if (c.end == ChildEnd::Kind::kCrashed) {
    EXPECT_EQ(end.description, c.description);
  }
  // Killed at the deadline, not long after it; the others end at once.
  EXPECT_LT(took, c.end == ChildEnd::Kind::kTimedOut ? 3s : 900ms);
  if (c.end == ChildEnd::Kind::kTimedOut) {
    EXPECT_GE(took, 1s);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Tasks, Children,
    ::testing::Values(
        ChildCase{"SmallAnswer", &Answers, 5, true, ChildEnd::Kind::kExited, 0, ""},
        // Far more than a pipe holds: the parent reads while the child writes.
        ChildCase{"LargeAnswer", &Answers, 24u << 20, true, ChildEnd::Kind::kExited, 0, ""},
        ChildCase{"NoAnswer", &Answers, 0, true, ChildEnd::Kind::kExited, 0, ""},
        ChildCase{"Crash", &Crashes, 8, false, ChildEnd::Kind::kCrashed, kIllegalInstruction,
                  "Illegal instruction"},
        ChildCase{"Abort", &Aborts, 8, false, ChildEnd::Kind::kCrashed, kAbort, "Aborted"},
        ChildCase{"CrashAfterTheAnswer", &AnswersThenCrashes, 100, true, ChildEnd::Kind::kCrashed,
                  kIllegalInstruction, "Illegal instruction"},
        ChildCase{"Hang", &Hangs, 8, false, ChildEnd::Kind::kTimedOut, 0, ""},
        ChildCase{"HangAfterTheAnswer", &AnswersThenHangs, 100, true, ChildEnd::Kind::kTimedOut, 0,
                  ""},
        ChildCase{"ShortAnswerThenExit", &ExitsWithThree, 8, false, ChildEnd::Kind::kExited, 3, ""},
        ChildCase{"EscapingException", &Throws, 8, false, ChildEnd::Kind::kExited, 124, ""},
        ChildCase{"LibraryPrints", &Prints, 64, true, ChildEnd::Kind::kExited, 0, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Children, LeftRunningAreKilledWhenDropped) {
  const auto start = ChildClock::now();
  { auto child = StartChild(&Hangs, "0", start + 60s); }
  EXPECT_LT(ChildClock::now() - start, 2s);
}

TEST(Children, MovedDeadlineHolds) {
  auto child = StartChild(&Hangs, "0", ChildClock::now() + 60s);
  child->SetDeadline(ChildClock::now() + 100ms);
  char byte = 0;
  EXPECT_FALSE(child->Read(&byte, 1));
  EXPECT_EQ(child->Finish().kind, ChildEnd::Kind::kTimedOut);
}

}  // namespace
}  // namespace kova::inputs
