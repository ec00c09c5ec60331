#pragma once
// A lazy coroutine that returns one value: the protocol's steps are written
// as such coroutines over an exchange interface, once, and run either at once
// (the blocking front ends, whose exchanges never suspend) or from an event
// loop (the collector, whose exchanges suspend until their socket is ready).
//
// A Task starts when it is awaited or Start()ed; a finished one hands control
// straight back to whoever awaited it. Destroying a suspended Task destroys
// the whole chain below it, so an event loop can drop a device mid-exchange.
//
// Await only as a statement or a variable's initialiser, never inside a
// condition or a co_return: GCC 12 destroys the awaited temporary twice there.
#include <coroutine>
#include <cstdlib>
#include <exception>
#include <optional>
#include <utility>

namespace kestrel {

namespace task_detail {

// Resumes the awaiting coroutine when a task ends; a task nobody awaits (the
// outermost one) just stays finished.
struct FinalAwaiter {
  bool await_ready() const noexcept { return false; }
  template <class Promise>
  std::coroutine_handle<> await_suspend(std::coroutine_handle<Promise> self) const noexcept {
    const std::coroutine_handle<> next = self.promise().continuation;
    return next ? next : std::noop_coroutine();
  }
  void await_resume() const noexcept {}
};

struct PromiseBase {
  std::coroutine_handle<> continuation;
  std::exception_ptr error;
  std::suspend_always initial_suspend() const noexcept { return {}; }
  FinalAwaiter final_suspend() const noexcept { return {}; }
  void unhandled_exception() noexcept { error = std::current_exception(); }
  void Rethrow() const {
    if (error) std::rethrow_exception(error);
  }
};

template <class T>
struct Promise : PromiseBase {
  std::optional<T> value;
  void return_value(T v) { value.emplace(std::move(v)); }
  T Take() {
    Rethrow();
    return std::move(*value);
  }
};

template <>
struct Promise<void> : PromiseBase {
  void return_void() const noexcept {}
  void Take() const { Rethrow(); }
};

}  // namespace task_detail

template <class T = void>
class [[nodiscard]] Task {
 public:
  struct promise_type : task_detail::Promise<T> {
    Task get_return_object() { return Task(Handle::from_promise(*this)); }
  };
  using Handle = std::coroutine_handle<promise_type>;

  Task(Task&& other) noexcept : handle_(std::exchange(other.handle_, {})) {}
  Task& operator=(Task&& other) noexcept {
    if (this != &other) {
      Reset();
      handle_ = std::exchange(other.handle_, {});
    }
    return *this;
  }
  Task(const Task&) = delete;
  Task& operator=(const Task&) = delete;
  ~Task() { Reset(); }

  // Awaiting runs the task and gives its value.
  bool await_ready() const noexcept { return false; }
  std::coroutine_handle<> await_suspend(std::coroutine_handle<> caller) noexcept {
    handle_.promise().continuation = caller;
    return handle_;
  }
  T await_resume() { return handle_.promise().Take(); }

  // For the driver of the outermost task.
  void Start() { handle_.resume(); }
  bool done() const { return handle_.done(); }
  T Result() { return handle_.promise().Take(); }

 private:
  explicit Task(Handle handle) : handle_(handle) {}
  void Reset() {
    if (handle_) handle_.destroy();
    handle_ = {};
  }
  Handle handle_;
};

// Runs a task whose awaits all complete at once (the blocking exchanges) and
// gives its value. One that suspends would be a fault of its exchange
// interface: it ends the process instead of returning something unfinished.
template <class T>
T RunToEnd(Task<T> task) {
  task.Start();
  if (!task.done()) std::abort();
  return task.Result();
}

}  // namespace kestrel
