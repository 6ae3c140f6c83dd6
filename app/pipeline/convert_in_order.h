// The last step of a conversion run: entries converted on one or more
// threads, their results handed over one by one in series order, so that
// the images of a series appear, and its messages are told, in its order.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace kova {

// Converts the entries 0 .. count - 1 on `jobs` threads and hands each
// result, in series order, to `deliver(i, result)` on the calling thread.
// Each thread converts with its own converter, `make_converter()`, which is
// called as `converter(i)` and gives the Result of entry i. When `deliver`
// returns false no further entry is started and results not yet delivered
// are dropped. At most a few entries per thread run ahead of the one being
// delivered. With one job (or one entry) everything runs on the calling
// thread, one entry after the other.
template <typename Result, typename MakeConverter, typename Deliver>
void ConvertInOrder(std::size_t count, unsigned jobs, MakeConverter make_converter,
                    Deliver deliver) {
  if (jobs <= 1 || count <= 1) {
    auto converter = make_converter();
    for (std::size_t i = 0; i < count; ++i) {
      Result result = converter(i);
      if (!deliver(i, result)) return;
    }
    return;
  }

  const std::size_t ahead = 2 * static_cast<std::size_t>(jobs);
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::optional<Result>> results(count);
  std::size_t next_to_start = 0;
  std::size_t next_to_deliver = 0;
  bool stop = false;

  auto work = [&] {
    auto converter = make_converter();
    for (;;) {
      std::size_t index = 0;
      {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] {
          return stop || next_to_start >= count || next_to_start < next_to_deliver + ahead;
        });
        if (stop || next_to_start >= count) return;
        index = next_to_start++;
      }
      Result result = converter(index);
      {
        std::lock_guard lock(mutex);
        results[index] = std::move(result);
      }
      changed.notify_all();
    }
  };

  std::vector<std::jthread> threads;
  const std::size_t thread_count = std::min<std::size_t>(jobs, count);
  for (std::size_t t = 0; t < thread_count; ++t) threads.emplace_back(work);

  for (std::size_t i = 0; i < count; ++i) {
    Result result;
    {
      std::unique_lock lock(mutex);
      changed.wait(lock, [&] { return results[i].has_value(); });
      result = std::move(*results[i]);
      results[i].reset();
    }
    const bool go_on = deliver(i, result);
    {
      std::lock_guard lock(mutex);
      next_to_deliver = i + 1;
      stop = !go_on;
    }
    changed.notify_all();
    if (!go_on) break;
  }
  threads.clear();  // joins; entries still running finish, their results are dropped
}

}  // namespace kova
