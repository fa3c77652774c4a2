// The runner of threads.h: oneTBB, with a task_arena bounding the threads of
// each call, so that lamina composes with a caller's own TBB code and its
// thread count.
//
// LAMINA_PLAIN_THREADS runs the same contract on std::thread instead, in two
// kinds of build:
// - the MATLAB/Octave plug-ins: a MEX file may import only its host's
//   libmx/libmex and the C library, and MATLAB ships a oneTBB of its own, so
//   a plug-in carries its runner in itself (with the C++ runtime, which it
//   links statically);
// - ThreadSanitizer builds: Debian's oneTBB is not instrumented, so the
//   sanitizer cannot see the ordering TBB's own atomics give lamina's data,
//   and would report races that are not there. The plain runner's ordering
//   it sees, so the sanitizer checks lamina's part: what the chunks write,
//   and when.
#include "threads.h"

#if LAMINA_PLAIN_THREADS
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>
#else
#include <oneapi/tbb/blocked_range.h>
#include <oneapi/tbb/info.h>
#include <oneapi/tbb/parallel_for.h>
#include <oneapi/tbb/parallel_pipeline.h>
#include <oneapi/tbb/task_arena.h>

#include <memory>
#endif

namespace lamina {
namespace detail {

#if LAMINA_PLAIN_THREADS

int hardware_threads() {
  const unsigned n = std::thread::hardware_concurrency();
  return n > 0 ? static_cast<int>(n) : 1;
}

namespace {

// Runs worker() on `threads` threads, this one included.
template <class Worker>
void on_threads(int threads, Worker& worker) {
  std::vector<std::thread> others;
  // Workers take pieces from a shared counter, so fewer threads than asked
  // (the system refusing one) only make the call slower, never wrong.
  try {
    others.reserve(static_cast<std::size_t>(threads - 1));
    for (int t = 1; t < threads; ++t) others.emplace_back([&worker] { worker(); });
  } catch (const std::exception&) {
  }
  worker();
  for (std::thread& t : others) t.join();
}

}  // namespace

void run_ordered(int threads, int count, int slots, void* context, void (*compute)(void*, int, int),
                 void (*finish)(void*, int, int)) {
  std::atomic<int> next{0};
  std::mutex m;
  std::condition_variable turn;
  int finished = 0;  // pieces finished, in order (guarded by m)
  auto worker = [&] {
    for (int k = next.fetch_add(1); k < count; k = next.fetch_add(1)) {
      {
        // The slot is free once the piece that used it before has finished.
        std::unique_lock<std::mutex> lock(m);
        turn.wait(lock, [&] { return finished > k - slots; });
      }
      compute(context, k, k % slots);
      std::unique_lock<std::mutex> lock(m);
      turn.wait(lock, [&] { return finished == k; });
      finish(context, k, k % slots);
      ++finished;
      turn.notify_all();
    }
  };
  on_threads(threads, worker);
}

void run_parallel(int threads, int count, void* context, void (*body)(void*, int)) {
  std::atomic<int> next{0};
  auto worker = [&] {
    for (int k = next.fetch_add(1); k < count; k = next.fetch_add(1)) body(context, k);
  };
  on_threads(threads, worker);
}

#else

int hardware_threads() {
  const int n = oneapi::tbb::info::default_concurrency();
  return n > 0 ? n : 1;
}

namespace {

// Runs f() in an arena of `threads` threads. The arena is kept, one per
// calling thread, for the next call with the same count: making an arena and
// bringing oneTBB's workers into it cost from 60 microseconds to about a
// millisecond on a 2-core machine, with its load (0.3 microseconds to enter
// a kept one), and one shell call runs up to five parallel parts (packing,
// clearing, two terms, unpacking). A call made from inside a kept arena's
// work (no lamina call does that today) gets an arena of its own, so the
// kept one is never replaced while in use.
template <class F>
void in_arena(int threads, F&& f) {
  thread_local std::unique_ptr<oneapi::tbb::task_arena> kept;
  thread_local int kept_threads = 0;
  thread_local bool busy = false;
  if (busy) {
    oneapi::tbb::task_arena arena(threads);
    arena.execute(f);
    return;
  }
  if (!kept || kept_threads != threads) {
    kept.reset();
    kept = std::make_unique<oneapi::tbb::task_arena>(threads);
    kept_threads = threads;
  }
  busy = true;
  struct release {
    bool& b;
    ~release() { b = false; }
  } r{busy};
  kept->execute(f);
}

}  // namespace

void run_ordered(int threads, int count, int slots, void* context, void (*compute)(void*, int, int),
                 void (*finish)(void*, int, int)) {
  in_arena(threads, [&] {
    int next = 0;
    // A pipeline: pieces are handed out in order, computed in parallel, and
    // finished in order (the last filter is serial_in_order, so a piece's
    // token is released only after every earlier piece finished; at most
    // `slots` are in flight, so k % slots is free when k enters).
    oneapi::tbb::parallel_pipeline(
        static_cast<std::size_t>(slots),
        oneapi::tbb::make_filter<void, int>(oneapi::tbb::filter_mode::serial_in_order,
                                            [&](oneapi::tbb::flow_control& fc) {
                                              if (next >= count) {
                                                fc.stop();
                                                return 0;
                                              }
                                              return next++;
                                            }) &
            oneapi::tbb::make_filter<int, int>(oneapi::tbb::filter_mode::parallel,
                                               [&](int k) {
                                                 compute(context, k, k % slots);
                                                 return k;
                                               }) &
            oneapi::tbb::make_filter<int, void>(oneapi::tbb::filter_mode::serial_in_order,
                                                [&](int k) { finish(context, k, k % slots); }));
  });
}

void run_parallel(int threads, int count, void* context, void (*body)(void*, int)) {
  in_arena(threads, [&] {
    oneapi::tbb::parallel_for(oneapi::tbb::blocked_range<int>(0, count, 1),
                              [&](const oneapi::tbb::blocked_range<int>& r) {
                                for (int k = r.begin(); k != r.end(); ++k) body(context, k);
                              });
  });
}

#endif

}  // namespace detail
}  // namespace lamina
