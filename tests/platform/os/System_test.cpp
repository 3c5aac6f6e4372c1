// Sleep, tick count, random numbers, memory and critical sections.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <set>
#include <thread>
#include <vector>

#include "platform/os/System.h"

namespace {

TEST(Random, StaysInRangeAndCoversIt) {
  for (int32_t range : {0, -1, INT32_MIN}) EXPECT_EQ(os::Random(range), 0) << range;
  EXPECT_EQ(os::Random(1), 0);
  std::set<int32_t> seen;
  for (int i = 0; i < 2000; ++i) {
    const int32_t value = os::Random(10);
    ASSERT_GE(value, 0);
    ASSERT_LT(value, 10);
    seen.insert(value);
  }
  EXPECT_EQ(seen.size(), 10u);
  const int32_t wide = os::Random(INT32_MAX);
  EXPECT_GE(wide, 0);
  EXPECT_LT(wide, INT32_MAX);
}

TEST(Random, IsSafeFromSeveralThreads) {
  std::vector<std::thread> threads;
  std::atomic<bool> outOfRange{false};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 5000; ++i) {
        const int32_t value = os::Random(100);
        if (value < 0 || value >= 100) outOfRange = true;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_FALSE(outOfRange);
}

// Processes retrying for the same lock must not draw the same delays.
TEST(Random, AForkedChildDrawsItsOwnSequence) {
  os::Random(1000);  // seeds this process
  int channel[2];
  ASSERT_EQ(::pipe(channel), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  std::array<int32_t, 4> draws{};
  for (auto& draw : draws) draw = os::Random(1000000000);
  if (child == 0) {
    const ssize_t written = ::write(channel[1], draws.data(), sizeof draws);
    ::_exit(written == static_cast<ssize_t>(sizeof draws) ? 0 : 1);
  }
  std::array<int32_t, 4> childDraws{};
  ASSERT_EQ(::read(channel[0], childDraws.data(), sizeof childDraws),
            static_cast<ssize_t>(sizeof childDraws));
  int status = 0;
  ::waitpid(child, &status, 0);
  ::close(channel[0]);
  ::close(channel[1]);
  EXPECT_NE(draws, childDraws);
}

TEST(TickCount, CountsMilliseconds) {
  const uint32_t before = os::TickCountMs();
  os::SleepMs(30);
  // Unsigned difference: correct across the 32-bit wrap as well. A sleep lasts at least as
  // long as asked, so this bound holds however loaded the machine is.
  EXPECT_GE(static_cast<uint32_t>(os::TickCountMs() - before), 30u);
}

TEST(AvailablePhysicalMemory, IsAPlausibleAmount) {
  const uint64_t bytes = os::AvailablePhysicalMemory();
  EXPECT_GT(bytes, 0u);
  EXPECT_LT(bytes, uint64_t{1} << 50);
}

TEST(CriticalSection, IsReentrantAndExcludesOtherThreads) {
  os::CriticalSection section;
  section.Enter();
  EXPECT_TRUE(section.TryEnter());  // the owner may enter again
  bool otherGotIn = true;
  std::thread([&] { otherGotIn = section.TryEnter(); }).join();
  EXPECT_FALSE(otherGotIn);
  section.Leave();
  section.Leave();
  std::thread([&] {
    otherGotIn = section.TryEnter();
    if (otherGotIn) section.Leave();
  }).join();
  EXPECT_TRUE(otherGotIn);
}

}  // namespace
