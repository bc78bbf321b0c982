// The controls' subclassing under Wine, on windows of a class of the test's
// own whose procedure records what reaches it: the order of the chain, what
// a procedure that stops a message does, entries set or removed while a
// message is on its way, windows that cannot be subclassed, a subclass of
// someone else's on top, and the end of the chain with the window.
#include "ui/subclass_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace norvane {
namespace {

constexpr UINT kProbe = WM_APP + 40;    // recorded and answered by every entry
constexpr UINT kStop = WM_APP + 41;     // entry 'S' answers it without passing it on
constexpr UINT kNested = WM_APP + 42;   // entry 'N' sends kProbe to the window first
constexpr UINT kRemoveA = WM_APP + 43;  // entry 'N' takes 'A' out, then passes it on
constexpr UINT kDestroy = WM_APP + 44;  // entry 'N' destroys the window

std::string& trace() {
  static std::string text;
  return text;
}

// The window's own procedure: records "own" as 'o' and answers 100.
LRESULT CALLBACK own_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg >= kProbe && msg <= kDestroy) {
    trace() += 'o';
    return 100;
  }
  return DefWindowProcW(hwnd, msg, wparam, lparam);
}

SUBCLASSPROC entry_proc();

// Every entry records its letter (the reference data) and adds 1 to the
// answer of the rest of the chain.
LRESULT CALLBACK entry(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR ref) {
  const char letter = static_cast<char>(ref);
  if (msg == WM_NCDESTROY) trace() += std::string("x") + letter;
  if (msg < kProbe || msg > kDestroy) return def_subclass_proc(hwnd, msg, wparam, lparam);
  trace() += letter;
  if (msg == kStop && letter == 'S') return 7;
  if (letter == 'N') {
    if (msg == kNested) {
      const LRESULT inner = SendMessageW(hwnd, kProbe, 0, 0);
      trace() += '|';
      return inner + def_subclass_proc(hwnd, msg, wparam, lparam);
    }
    if (msg == kRemoveA) remove_subclass(hwnd, entry_proc(), 'A');
    if (msg == kDestroy) {
      DestroyWindow(hwnd);
      return 0;
    }
  }
  return def_subclass_proc(hwnd, msg, wparam, lparam) + 1;
}

SUBCLASSPROC entry_proc() { return &entry; }

// A subclass of someone else's, by window-procedure replacement.
WNDPROC foreign_next = nullptr;
LRESULT CALLBACK foreign_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg >= kProbe && msg <= kDestroy) trace() += 'F';
  return CallWindowProcW(foreign_next, hwnd, msg, wparam, lparam);
}

class SubclassTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &own_proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"NorvaneSubclassTest";
    RegisterClassW(&wc);
  }

  void SetUp() override {
    trace().clear();
    hwnd = CreateWindowExW(0, L"NorvaneSubclassTest", L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                           nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(hwnd, nullptr);
  }

  void TearDown() override {
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
  }

  bool set(char letter, UINT_PTR id = 0) {
    return set_subclass(hwnd, &entry, id ? id : letter, static_cast<DWORD_PTR>(letter));
  }
  bool remove(char letter) { return remove_subclass(hwnd, &entry, letter); }
  WNDPROC proc() const { return reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC)); }
  // The answer and the trace of one message.
  std::pair<LRESULT, std::string> send(UINT msg) {
    trace().clear();
    const LRESULT result = SendMessageW(hwnd, msg, 0, 0);
    return {result, trace()};
  }

  HWND hwnd = nullptr;
};

TEST_F(SubclassTest, MessagesRunFromTheLatestEntryDownToTheWindow) {
  using Answer = std::pair<LRESULT, std::string>;
  ASSERT_TRUE(set('A'));
  EXPECT_EQ(send(kProbe), Answer(101, "Ao"));
  ASSERT_TRUE(set('B'));
  ASSERT_TRUE(set('S'));
  EXPECT_EQ(subclass_count(hwnd), 3);
  EXPECT_EQ(send(kProbe), Answer(103, "SBAo"));
  // An entry that answers itself ends the message there.
  EXPECT_EQ(send(kStop), Answer(7, "S"));
  // Setting an entry again only gives it new reference data: 'B' now
  // records 'C' and stays where it was in the chain.
  ASSERT_TRUE(set_subclass(hwnd, &entry, 'B', 'C'));
  EXPECT_EQ(subclass_count(hwnd), 3);
  EXPECT_EQ(send(kProbe), Answer(103, "SCAo"));
  // The window's own procedure directly, past every entry.
  trace().clear();
  EXPECT_EQ(call_unsubclassed(hwnd, kProbe, 0, 0), 100);
  EXPECT_EQ(trace(), "o");
  // Outside a message the next procedure is the default one.
  EXPECT_EQ(def_subclass_proc(hwnd, kProbe, 0, 0), 0);
}

TEST_F(SubclassTest, RemovingEntriesAndTheWholeChain) {
  const WNDPROC own = proc();
  ASSERT_TRUE(set('A'));
  ASSERT_TRUE(set('B'));
  EXPECT_NE(proc(), own);
  EXPECT_FALSE(remove('Z'));
  EXPECT_TRUE(remove('B'));
  EXPECT_FALSE(remove('B'));
  EXPECT_EQ(send(kProbe), std::make_pair(LRESULT{101}, std::string("Ao")));
  EXPECT_TRUE(remove('A'));
  // The last one gone: the window has its procedure and user data back.
  EXPECT_EQ(proc(), own);
  EXPECT_EQ(GetWindowLongPtrW(hwnd, GWLP_USERDATA), 0);
  EXPECT_EQ(subclass_count(hwnd), 0);
  EXPECT_EQ(send(kProbe), std::make_pair(LRESULT{100}, std::string("o")));
  EXPECT_EQ(call_unsubclassed(hwnd, kProbe, 0, 0), 100);
  // And can have a new chain.
  ASSERT_TRUE(set('A'));
  EXPECT_EQ(send(kProbe), std::make_pair(LRESULT{101}, std::string("Ao")));
}

TEST_F(SubclassTest, ChangesWhileAMessageIsOnItsWay) {
  ASSERT_TRUE(set('A'));
  ASSERT_TRUE(set('N'));
  // A message sent from inside the chain runs the whole chain, and the
  // outer one then goes on where it was.
  EXPECT_EQ(send(kNested), std::make_pair(LRESULT{102 + 101}, std::string("NNAo|Ao")));
  // 'A' taken out by the entry above it is skipped by the same message.
  EXPECT_EQ(send(kRemoveA), std::make_pair(LRESULT{101}, std::string("No")));
  EXPECT_EQ(subclass_count(hwnd), 1);
  EXPECT_EQ(send(kProbe), std::make_pair(LRESULT{101}, std::string("No")));
}

TEST_F(SubclassTest, TheChainEndsWithTheWindow) {
  ASSERT_TRUE(set('A'));
  ASSERT_TRUE(set('B'));
  trace().clear();
  DestroyWindow(hwnd);
  // Every entry saw WM_NCDESTROY once, the latest first.
  EXPECT_EQ(trace(), "xBxA");
  EXPECT_EQ(subclass_count(hwnd), 0);
  EXPECT_FALSE(remove('A'));
}

TEST_F(SubclassTest, AWindowDestroyedFromInsideItsChain) {
  ASSERT_TRUE(set('A'));
  ASSERT_TRUE(set('N'));
  trace().clear();
  SendMessageW(hwnd, kDestroy, 0, 0);
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(trace(), "NxNxA");
  EXPECT_EQ(subclass_count(hwnd), 0);
}

TEST_F(SubclassTest, WindowsThatCannotBeSubclassed) {
  // User data of someone else's: left alone, and so is the procedure.
  const WNDPROC own = proc();
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0x1234);
  EXPECT_FALSE(set('A'));
  EXPECT_EQ(GetWindowLongPtrW(hwnd, GWLP_USERDATA), 0x1234);
  EXPECT_EQ(proc(), own);
  EXPECT_EQ(subclass_count(hwnd), 0);
  EXPECT_EQ(send(kProbe), std::make_pair(LRESULT{100}, std::string("o")));
  EXPECT_EQ(call_unsubclassed(hwnd, kProbe, 0, 0), 100);
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);

  // A window of another thread (the chain is not shared between threads),
  // and no window at all.
  HWND other = nullptr;
  HANDLE made = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE checked = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread owner([&] {
    other = CreateWindowExW(0, L"NorvaneSubclassTest", L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                            nullptr, GetModuleHandleW(nullptr), nullptr);
    SetEvent(made);
    WaitForSingleObject(checked, 10000);
    DestroyWindow(other);
  });
  WaitForSingleObject(made, 10000);
  ASSERT_TRUE(IsWindow(other));
  const LONG_PTR other_proc = GetWindowLongPtrW(other, GWLP_WNDPROC);
  EXPECT_FALSE(set_subclass(other, &entry, 'A', 'A'));
  EXPECT_EQ(GetWindowLongPtrW(other, GWLP_WNDPROC), other_proc);
  EXPECT_EQ(GetWindowLongPtrW(other, GWLP_USERDATA), 0);
  SetEvent(checked);
  owner.join();
  CloseHandle(made);
  CloseHandle(checked);
  EXPECT_FALSE(set_subclass(nullptr, &entry, 'A', 'A'));
  EXPECT_FALSE(set_subclass(hwnd, nullptr, 'A', 'A'));
}

TEST_F(SubclassTest, ASubclassOfSomeoneElsesOnTop) {
  ASSERT_TRUE(set('A'));
  foreign_next = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&foreign_proc)));
  EXPECT_EQ(send(kProbe), std::make_pair(LRESULT{101}, std::string("FAo")));
  // The chain cannot give the procedure back under the other subclass:
  // empty, it passes messages on until the window is gone.
  EXPECT_TRUE(remove('A'));
  EXPECT_EQ(proc(), &foreign_proc);
  EXPECT_EQ(send(kProbe), std::make_pair(LRESULT{100}, std::string("Fo")));
  // Entries can join it again.
  ASSERT_TRUE(set('B'));
  EXPECT_EQ(send(kProbe), std::make_pair(LRESULT{101}, std::string("FBo")));
  trace().clear();
  DestroyWindow(hwnd);
  EXPECT_EQ(trace(), "xB");
}

}  // namespace
}  // namespace norvane
