// oneTBB behind threads.h. A task_arena bounds the threads of each call, so
// that lamina composes with a caller's own TBB code and its thread count.
#include "threads.h"

#include <oneapi/tbb/blocked_range.h>
#include <oneapi/tbb/info.h>
#include <oneapi/tbb/parallel_for.h>
#include <oneapi/tbb/parallel_pipeline.h>
#include <oneapi/tbb/task_arena.h>

namespace lamina {
namespace detail {

int hardware_threads() {
  const int n = oneapi::tbb::info::default_concurrency();
  return n > 0 ? n : 1;
}

void run_ordered(int threads, int count, int slots, void* context, void (*compute)(void*, int, int),
                 void (*finish)(void*, int, int)) {
  oneapi::tbb::task_arena arena(threads);
  arena.execute([&] {
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
  oneapi::tbb::task_arena arena(threads);
  arena.execute([&] {
    oneapi::tbb::parallel_for(oneapi::tbb::blocked_range<int>(0, count, 1),
                              [&](const oneapi::tbb::blocked_range<int>& r) {
                                for (int k = r.begin(); k != r.end(); ++k) body(context, k);
                              });
  });
}

}  // namespace detail
}  // namespace lamina
