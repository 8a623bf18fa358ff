// The barrier at every entry from outside the module's own C++ code (the
// host, user32, a thread's start, the facade): an exception that reached one
// would unwind through C frames or end the process in std::terminate.
#pragma once
#include <type_traits>
#include <utility>

namespace velkarin::platform {

// fn(), or `fallback` when fn throws: the entry's documented failure result.
template <typename Result, typename Fn>
Result Guarded(Result fallback, Fn&& fn) noexcept {
  // Handing the fallback back must not throw in turn.
  static_assert(std::is_nothrow_move_constructible_v<Result>);
  try {
    return std::forward<Fn>(fn)();
  } catch (...) {
    return fallback;
  }
}

// fn(), with any exception dropped: for entries that report nothing.
template <typename Fn>
void Guarded(Fn&& fn) noexcept {
  try {
    std::forward<Fn>(fn)();
  } catch (...) {
  }
}

}  // namespace velkarin::platform
