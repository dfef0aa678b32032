// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdlib>
#include <memory>

namespace scrivlet {

// Frees a C handle with the library's own function: one deleter for every
// `sqlite3`, `xcb_*_reply_t`, `GObject` and the like.
template<auto Free>
struct FreeWith
{
    template<typename T>
    void operator()(T *handle) const
    {
        if (handle)
            Free(handle);
    }
};

// For what a C library hands out from malloc (XCB's replies).
inline void freeMalloced(void *pointer)
{
    std::free(pointer);
}

template<typename T, auto Free>
using UniqueHandle = std::unique_ptr<T, FreeWith<Free>>;

// A malloc'ed reply, as XCB returns them.
template<typename T>
using MallocPtr = UniqueHandle<T, freeMalloced>;

} // namespace scrivlet
