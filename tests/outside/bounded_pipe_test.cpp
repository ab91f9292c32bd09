// The ring of slots between the servers' workers and their callers: order, the bound on
// what it holds, waiting for the worker to catch up, and closing.
#include <gtest/gtest.h>

#include "bounded_pipe.h"

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

using outside::BoundedPipe;

namespace {

constexpr auto kLong = std::chrono::seconds(30);  // only a broken pipe waits this long

TEST(BoundedPipe, ItemsComeOutInTheOrderPutThroughManyTurnsOfTheRing) {
  BoundedPipe<int> pipe(3);
  std::vector<int> got;
  std::thread consumer([&] {
    while (int* v = pipe.BeginTake()) {
      got.push_back(*v);
      pipe.EndTake();
      if (got.size() == 1000) break;
    }
  });
  for (int i = 0; i < 1000; ++i) {
    int* slot = pipe.BeginPut();
    ASSERT_NE(slot, nullptr);
    *slot = i;
    pipe.EndPut();
  }
  consumer.join();
  ASSERT_EQ(got.size(), 1000u);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(got[i], i);
}

TEST(BoundedPipe, AProducerWaitsWhileTheDepthIsHeldAndGoesOnWhenOneIsReleased) {
  BoundedPipe<int> pipe(2);
  for (int i = 0; i < 2; ++i) {
    *pipe.BeginPut() = i;
    pipe.EndPut();
  }
  EXPECT_EQ(pipe.Held(), 2u);
  std::atomic<bool> put{false};
  auto third = std::async(std::launch::async, [&] {
    int* slot = pipe.BeginPut();
    put = true;
    *slot = 2;
    pipe.EndPut();
  });
  // Taking alone frees nothing: the slot is the consumer's until released.
  int* first = pipe.BeginTake();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(*first, 0);
  EXPECT_EQ(third.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  EXPECT_FALSE(put.load());
  pipe.EndTake();
  ASSERT_EQ(third.wait_for(kLong), std::future_status::ready);
  EXPECT_EQ(pipe.Held(), 2u);
  EXPECT_EQ(*pipe.BeginTake(), 1);
  pipe.EndTake();
  EXPECT_EQ(*pipe.BeginTake(), 2);
  pipe.EndTake();
  EXPECT_EQ(pipe.Held(), 0u);
}

TEST(BoundedPipe, DrainWaitsUntilNoMoreThanTheGivenNumberIsHeld) {
  BoundedPipe<int> pipe(4);
  for (int i = 0; i < 4; ++i) {
    *pipe.BeginPut() = i;
    pipe.EndPut();
  }
  EXPECT_TRUE(pipe.Drain(4));  // already so
  auto toTwo = std::async(std::launch::async, [&] { return pipe.Drain(2); });
  auto toNone = std::async(std::launch::async, [&] { return pipe.Drain(); });
  pipe.BeginTake();
  pipe.EndTake();
  EXPECT_EQ(toTwo.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  pipe.BeginTake();
  pipe.EndTake();
  ASSERT_EQ(toTwo.wait_for(kLong), std::future_status::ready);
  EXPECT_TRUE(toTwo.get());
  EXPECT_EQ(toNone.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  for (int i = 0; i < 2; ++i) {
    pipe.BeginTake();
    pipe.EndTake();
  }
  ASSERT_EQ(toNone.wait_for(kLong), std::future_status::ready);
  EXPECT_TRUE(toNone.get());
}

TEST(BoundedPipe, CloseWakesEveryWaiterForGood) {
  BoundedPipe<int> full(1);
  *full.BeginPut() = 7;
  full.EndPut();
  auto producer = std::async(std::launch::async, [&] { return full.BeginPut(); });
  auto drain = std::async(std::launch::async, [&] { return full.Drain(); });
  BoundedPipe<int> empty(1);
  auto consumer = std::async(std::launch::async, [&] { return empty.BeginTake(); });
  EXPECT_EQ(producer.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  full.Close();
  empty.Close();
  ASSERT_EQ(producer.wait_for(kLong), std::future_status::ready);
  ASSERT_EQ(drain.wait_for(kLong), std::future_status::ready);
  ASSERT_EQ(consumer.wait_for(kLong), std::future_status::ready);
  EXPECT_EQ(producer.get(), nullptr);
  EXPECT_FALSE(drain.get());
  EXPECT_EQ(consumer.get(), nullptr);
  // Held items are not handed out after a close either.
  EXPECT_EQ(full.BeginTake(), nullptr);
  EXPECT_TRUE(full.Closed());
}

}  // namespace
