// A move-only owner of any C handle, released by the function it names.
#pragma once

#include <memory>

namespace camvault {

// A C handle released by `Free`.
template <auto Free>
struct FreeWith {
    template <typename T>
    void operator()(T* handle) const {
        if (handle)
            Free(handle);
    }
};
template <typename T, auto Free>
using UniqueHandle = std::unique_ptr<T, FreeWith<Free>>;

}  // namespace camvault
