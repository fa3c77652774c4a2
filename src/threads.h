// The one place lamina meets its task scheduler (oneTBB): a bounded number
// of threads running numbered pieces of work. Everything that decides what
// is summed in which order lives in the callers (assembly/chunks.h); this
// only runs what it is given.
#ifndef LAMINA_SRC_THREADS_H
#define LAMINA_SRC_THREADS_H

namespace lamina {
namespace detail {

// The threads "all cores" means: those oneTBB would use by default (which
// honours the process's CPU affinity mask).
int hardware_threads();

// Runs compute(context, k, slot) for k = 0 ... count-1 on up to `threads`
// threads, and finish(context, k, slot) for each k after its compute, one at
// a time and in the order of k. slot, in 0 ... slots-1, is the same for a
// k's two calls and never shared by two k in flight at once (a buffer index).
void run_ordered(int threads, int count, int slots, void* context, void (*compute)(void*, int, int),
                 void (*finish)(void*, int, int));

// Runs body(context, k) for k = 0 ... count-1 on up to `threads` threads, in
// any order.
void run_parallel(int threads, int count, void* context, void (*body)(void*, int));

// The same with callables.
template <class Compute, class Finish>
void run_ordered(int threads, int count, int slots, Compute& compute, Finish& finish) {
  struct both {
    Compute* c;
    Finish* f;
  } ctx{&compute, &finish};
  run_ordered(
      threads, count, slots, &ctx,
      [](void* p, int k, int slot) { (*static_cast<both*>(p)->c)(k, slot); },
      [](void* p, int k, int slot) { (*static_cast<both*>(p)->f)(k, slot); });
}

template <class Body>
void run_parallel(int threads, int count, Body& body) {
  run_parallel(threads, count, &body, [](void* p, int k) { (*static_cast<Body*>(p))(k); });
}

}  // namespace detail
}  // namespace lamina

#endif  // LAMINA_SRC_THREADS_H
