// Worker threads reaching the window only through the hand-off.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "window_fixture.h"

namespace orvek::test {
namespace {

using app::TInstallPage;

// Pumps this (UI) thread's messages until `done` or the time is up.
bool PumpUntil(const std::atomic<bool>& done, DWORD timeout_ms) {
  const DWORD start = ::GetTickCount();
  while (!done) {
    if (::GetTickCount() - start > timeout_ms) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    PumpMessages();
  }
  return true;
}

TEST_F(MainWindowTest, TenThousandProgressValuesArriveInOrderAndTheWindowStaysResponsive) {
  constexpr int kCount = 10000;
  std::vector<int> seen;
  seen.reserve(kCount);
  std::atomic<bool> done{false};
  std::atomic<int> refused{0};
  auto handoff = W().Handoff();
  std::thread worker([&] {
    for (int i = 0; i < kCount; ++i) {
      // Each value is applied before the next is handed off.
      if (!handoff->Run([&, i] {
            W().ShowProgress(i % 101);
            seen.push_back(i);
          })) {
        ++refused;
      }
    }
    done = true;
  });
  // While the worker floods the queue the window still answers.
  bool answered_meanwhile = false;
  const DWORD start = ::GetTickCount();
  while (!done && ::GetTickCount() - start < 120000) {
    PumpMessages();
    DWORD_PTR result = 0;
    if (::SendMessageTimeoutW(W().Handle(), WM_NULL, 0, 0, SMTO_NORMAL, 1000, &result)) {
      answered_meanwhile = true;
    }
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  worker.join();
  ASSERT_TRUE(done);
  EXPECT_TRUE(answered_meanwhile);
  EXPECT_EQ(refused, 0);
  ASSERT_EQ(seen.size(), static_cast<size_t>(kCount));
  for (int i = 0; i < kCount; ++i) ASSERT_EQ(seen[i], i);
  EXPECT_EQ(W().lblProgressValue->Text(), std::to_wstring((kCount - 1) % 101) + L"%");
}

TEST_F(MainWindowTest, SyncShowPagesHasRunWhenItReturns) {
  std::atomic<bool> done{false};
  std::atomic<bool> page_was_in_front{false};
  std::thread worker([&] {
    W().SyncShowPages(app::tpInstalling, L"正在安装...", false);
    // Posted, then overtaken by nothing: it has run once the next
    // synchronous hand-off returns.
    W().PostShowProgress(55);
    W().SyncSetProgressText(L"正在解压");
    // The UI thread is blocked in nothing: reading back is safe once the
    // hand-off returned, because the operation has completed.
    page_was_in_front = ::GetWindow(W().pnlBottom->Handle(), GW_CHILD) == W().pnlInstalling->Handle();
    done = true;
  });
  EXPECT_TRUE(PumpUntil(done, 20000));
  worker.join();
  EXPECT_TRUE(page_was_in_front);
  EXPECT_EQ(W().lblProgress->Text(), L"正在解压");
  EXPECT_EQ(W().lblProgressValue->Text(), L"55%");
}

TEST_F(MainWindowTest, PostedValuesNeedNoUiThreadAndArriveInOrderWithOneWakeUp) {
  constexpr int kCount = 3000;
  std::vector<int> seen;
  auto handoff = W().Handoff();
  // The UI thread pumps nothing meanwhile: a worker that waited would hang.
  std::thread worker([&] {
    for (int i = 0; i < kCount; ++i) {
      ASSERT_TRUE(handoff->Post([&, i] {
        W().ShowProgress(i % 101);
        seen.push_back(i);
      }));
    }
  });
  worker.join();
  int messages = 0;
  MSG msg;
  while (::PeekMessageW(&msg, W().Handle(), app::UiHandoff::Message(), app::UiHandoff::Message(),
                        PM_REMOVE)) {
    ++messages;
    ::DispatchMessageW(&msg);
  }
  EXPECT_EQ(messages, 1);
  ASSERT_EQ(seen.size(), static_cast<size_t>(kCount));
  for (int i = 0; i < kCount; ++i) ASSERT_EQ(seen[i], i);
  EXPECT_EQ(W().lblProgressValue->Text(), std::to_wstring((kCount - 1) % 101) + L"%");
}

TEST_F(MainWindowTest, HandOffsAfterTheWindowIsGoneReturnAtOnce) {
  auto handoff = W().Handoff();
  ::DestroyWindow(W().Handle());
  std::atomic<bool> ran{false};
  bool result = true;
  bool posted = true;
  std::thread worker([&] {
    result = handoff->Run([&] { ran = true; });
    posted = handoff->Post([&] { ran = true; });
  });
  worker.join();  // no pumping: it must not wait for the UI thread
  EXPECT_FALSE(result);
  EXPECT_FALSE(posted);
  EXPECT_FALSE(ran);
}

TEST_F(MainWindowTest, AWorkerWaitingWhenTheWindowGoesIsReleased) {
  auto handoff = W().Handoff();
  std::atomic<bool> ran{false};
  bool result = true;
  std::thread worker([&] { result = handoff->Run([&] { ran = true; }); });
  // Wait until the hand-off is queued; it is never pumped.
  MSG msg;
  while (!::PeekMessageW(&msg, W().Handle(), app::UiHandoff::Message(), app::UiHandoff::Message(),
                         PM_NOREMOVE)) {
    std::this_thread::yield();
  }
  ::DestroyWindow(W().Handle());
  worker.join();
  EXPECT_FALSE(result);
  EXPECT_FALSE(ran);
  PumpMessages();
  EXPECT_FALSE(ran) << "a message left in the queue must not run it later";
}

TEST_F(MainWindowTest, TheUiThreadItselfRunsAtOnce) {
  bool ran = false;
  EXPECT_TRUE(W().Handoff()->Run([&] { ran = true; }));
  EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace orvek::test
