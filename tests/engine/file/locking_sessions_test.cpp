// Session slots between real processes: who gets which slot, what happens when none is
// free or a single-user process holds them all, and that a process that dies gives back
// everything it held.
#include <gtest/gtest.h>

#include <string>

#include "engine/file/ZDBSessionSlots.h"
#include "support/DiskTestSupport.h"
#include "support/LockingDatabase.h"

namespace zdb {
namespace {

using test::ErrorText;
using test::LockingPeer;
using test::OpenedDatabase;
using test::Raised;

constexpr int32_t NoFreeSlotError = 20094;
constexpr const char* NoFreeSlotText =
    "Cannot connect session. Maximum connections quantity exceeded or database is open in single-user mode";

class SessionSlots : public testing::Test {
 protected:
  void Create(int32_t slotCount) { layout_ = test::CreateLockingDatabase(path_, slotCount, {4, 4}); }
  void Open(LockingPeer& peer, bool multiUser = true) { peer.Open(path_, layout_, multiUser); }

  test::TempFolder folder_;
  std::string path_ = folder_.File("locking.zdb");
  test::LockingLayout layout_;
};

TEST_F(SessionSlots, ProcessesTakeTheLowestFreeSlot) {
  Create(4);
  LockingPeer first, second, third;
  Open(first);
  Open(second);
  Open(third);
  EXPECT_EQ(first.Run("connect"), 0);
  EXPECT_EQ(second.Run("connect"), 1);
  EXPECT_EQ(first.Run("disconnect 0"), 0);
  EXPECT_EQ(third.Run("connect"), 0);
  // A process that ends without disconnecting gives its slot back with its handle.
  first.Kill();
  second.Kill();
  EXPECT_EQ(third.Run("connect"), 1);
}

TEST_F(SessionSlots, TheSessionAfterTheLastFreeSlotIsRefused) {
  Create(500);
  LockingPeer first, second;
  Open(first);
  Open(second);
  EXPECT_EQ(first.Run("connect 250"), 249);
  EXPECT_EQ(second.Run("connect 250"), 499);

  OpenedDatabase late(path_, layout_);
  const test::RaisedError error = Raised([&] { ConnectSession(late.Slots()); });
  EXPECT_EQ(error.code, NoFreeSlotError);
  EXPECT_EQ(error.text, ErrorText(NoFreeSlotText, NoFreeSlotError));
  // The failed attempt holds nothing: the guard is free and a freed slot is found.
  EXPECT_EQ(second.Run("disconnect 377"), 0);
  EXPECT_EQ(ConnectSession(late.Slots()), 377);
}

TEST_F(SessionSlots, SingleUserProcessClaimsEverySlotOnlyWhenNobodyIsConnected) {
  Create(8);
  LockingPeer multi, single;
  Open(multi);
  Open(single, false);
  EXPECT_EQ(multi.Run("connect"), 0);
  // Someone is connected: the claim is refused (that process then works read-only) and
  // leaves no slot taken.
  EXPECT_EQ(single.Run("claim"), 0);
  EXPECT_EQ(multi.Run("connect"), 1);

  EXPECT_EQ(multi.Run("disconnect 0"), 0);
  EXPECT_EQ(multi.Run("disconnect 1"), 0);
  EXPECT_EQ(single.Run("claim"), 1);
  EXPECT_EQ(multi.Run("connect"), NoFreeSlotError);
  EXPECT_EQ(single.Run("release"), 0);
  EXPECT_EQ(multi.Run("connect"), 0);
}

TEST_F(SessionSlots, KilledProcessLeavesNoLockBehind) {
  Create(4);
  LockingPeer victim;
  Open(victim);
  const std::string tableA = std::to_string(layout_.regions[0]);
  const std::string tableB = std::to_string(layout_.regions[1]);
  ASSERT_EQ(victim.Run("connect"), 0);
  ASSERT_EQ(victim.Run("lock 0 6 0 " + tableA + " 0 1"), 1);  // exclusive: holds the guard byte
  ASSERT_EQ(victim.Run("lock 0 4 0 " + tableB + " 0 1"), 1);
  ASSERT_EQ(victim.Run("lockrecord 0 " + tableB + " 12 3 0 1"), 1);
  victim.Kill();

  LockingPeer next;
  Open(next);
  EXPECT_EQ(next.Run("connect"), 0);
  EXPECT_EQ(next.Run("lock 0 6 0 " + tableA + " 0 1"), 1);
  EXPECT_EQ(next.Run("lock 0 6 0 " + tableB + " 0 1"), 1);
  EXPECT_EQ(next.Run("unlock 0 6 " + tableB), 1);
  EXPECT_EQ(next.Run("lockrecord 0 " + tableB + " 12 3 0 1"), 1);
}

// What goes wrong in one process: the guard held elsewhere, a slot not held.
class SessionSlotErrors : public SessionSlots {
 protected:
  void SetUp() override { Create(4); }
};

TEST_F(SessionSlotErrors, GuardThatCannotBeReleasedGivesBackTheSlotTaken) {
  OpenedDatabase holder(path_, layout_), user(path_, layout_);
  ASSERT_TRUE(holder.Slots().LockGuard());
  EXPECT_EQ(Raised([&] { ConnectSession(user.Slots()); }).code, 20093);
  EXPECT_FALSE(holder.Slots().IsAnySlotLocked());

  EXPECT_EQ(Raised([&] { ClaimAllSlots(user.Slots()); }).code, 20240);
  EXPECT_FALSE(holder.Slots().IsAnySlotLocked());
  EXPECT_TRUE(holder.Slots().UnlockGuard());
}

TEST_F(SessionSlotErrors, DisconnectingASlotNotHeldFails) {
  OpenedDatabase user(path_, layout_);
  EXPECT_EQ(ConnectSession(user.Slots()), 0);
  const test::RaisedError error = Raised([&] { DisconnectSession(user.Slots(), 1); });
  EXPECT_EQ(error.code, 20095);
  EXPECT_EQ(error.text, ErrorText("Cannot disconnect session", 20095));
  EXPECT_EQ(Raised([&] { DisconnectSession(user.Slots(), 99); }).code, 20095);
  DisconnectSession(user.Slots(), 0);
  EXPECT_FALSE(user.Slots().IsAnySlotLocked());
}

}  // namespace
}  // namespace zdb
