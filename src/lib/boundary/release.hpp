// When a reference the boundary holds may be given back, and by whom.
//
// Only a thread that holds the interpreter lock may touch an object. At exit the interpreter
// ends a daemon thread that asks for the lock back (pthread_exit); the forced unwind that ends it
// runs our destructors without the lock while the finalising thread frees objects, so they must
// leave every object alone. And giving back a last reference runs the object's finaliser
// (__del__, weakref callbacks), which may give up the lock and so be where the thread is ended:
// a forced unwind out of a destructor, which is noexcept, aborts the process. So a destructor
// gives back at once only what frees nothing that could run Python code; the rest waits for
// the end of the call, when the boundary guard gives it back by an ordinary call.
#pragma once

#include <Python.h>

#include <array>
#include <cstddef>

namespace caustica::boundary {

// Whether this thread holds the interpreter lock: the only test that stays true when
// subinterpreters have existed (PyGILState_Check then always says yes).
bool holds_interpreter_lock() noexcept;

// For destructors: releases the reference now if that cannot run Python code, else hands it to
// the call's DeferredReleases; without the lock it is left as it is.
void release_reference(PyObject* object) noexcept;

// For ordinary code that holds the lock: releases the reference now. The finaliser it may run
// can end the thread, which then unwinds from here.
void release_now(PyObject* object);

// The last references given up during one call, released when its work is done. One lives in
// each boundary guard; a guard entered while another runs (a finaliser or __float__ calling
// the module) has its own.
class DeferredReleases {
 public:
  DeferredReleases() noexcept;
  // What is still held was left by an unwind without the lock: it is not touched.
  ~DeferredReleases();
  DeferredReleases(const DeferredReleases&) = delete;
  DeferredReleases& operator=(const DeferredReleases&) = delete;

  // Releases everything deferred so far, finalisers included.
  void release_all();
  // False when there is no room; the caller then releases the reference itself.
  bool defer(PyObject* object) noexcept;

 private:
  // A call defers a few references (an iterator, a dropped exception); the items of a sequence
  // are released one by one as they are read.
  static constexpr std::size_t kCapacity = 32;
  std::array<PyObject*, kCapacity> pending_{};
  std::size_t count_ = 0;
  DeferredReleases* outer_;
};

}  // namespace caustica::boundary
