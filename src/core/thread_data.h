// thread_data.h --
//
//     The one way a module keeps state per thread: a block of Tcl's thread
//     data behind a key this accessor owns. Tcl makes the block, zero-
//     filled, on a thread's first access and frees it when the thread
//     ends, without running destructors, so the state is plain data.

#pragma once

#include <tcl.h>

#include <type_traits>

namespace kelb {

template <typename T>
class ThreadData {
    static_assert(std::is_trivially_default_constructible_v<T> && std::is_trivially_destructible_v<T>,
                  "Tcl zero-fills thread data and frees it without destructors");

public:
    constexpr ThreadData() noexcept = default;
    ThreadData(const ThreadData &) = delete;
    ThreadData &operator=(const ThreadData &) = delete;

    // The calling thread's block, made on its first access.
    T &operator*() noexcept { return *static_cast<T *>(Tcl_GetThreadData(&key_, sizeof(T))); }
    T *operator->() noexcept { return &**this; }

private:
    Tcl_ThreadDataKey key_ = nullptr;  // set by Tcl once, under its own lock
};

}  // namespace kelb
