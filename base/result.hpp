// One result type for every module: a value, or an error message a person can
// act on ("cannot write /x/ini.txt: Permission denied").
#pragma once

#include <cassert>
#include <string>
#include <utility>
#include <variant>

namespace camvault {

struct Error {
    std::string message;
};

// Builds the failure of any Result: `return fail("cannot read " + path);`.
inline Error fail(std::string message) {
    return Error{std::move(message)};
}

template <typename T>
class [[nodiscard]] Result {
  public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & {
        assert(ok());
        return std::get<0>(state_);
    }
    const T& value() const& {
        assert(ok());
        return std::get<0>(state_);
    }
    T&& value() && {
        assert(ok());
        return std::get<0>(std::move(state_));
    }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    // Empty for a success, so that callers may log or show it unconditionally.
    const std::string& error() const {
        static const std::string none;
        return ok() ? none : std::get<1>(state_).message;
    }

  private:
    std::variant<T, Error> state_;
};

// A success without a value, or an error.
template <>
class [[nodiscard]] Result<void> {
  public:
    Result() = default;
    Result(Error error) : error_(std::move(error.message)), failed_(true) {}

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    const std::string& error() const { return error_; }

  private:
    std::string error_;
    bool failed_ = false;
};

using Status = Result<void>;

}  // namespace camvault
