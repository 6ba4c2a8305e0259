// One result type for every module: a value, or an error a person can act on
// ("cannot write /x/ini.txt: Permission denied"). An error is a Message: its
// English text (for the log, and the page's fallback) and, where the page has
// a translation, the message key and its parameters.
#pragma once

#include <cassert>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace camvault {

using MessageParams = std::vector<std::pair<std::string, std::string>>;

struct Message {
    std::string text;  // English
    std::string key;   // what the page translates; empty: the text alone
    MessageParams params;

    bool operator==(const Message&) const = default;
};

using Error = Message;

// Builds the failure of any Result: `return fail("cannot read " + path);`.
inline Error fail(std::string text) {
    return Error{std::move(text), {}, {}};
}
inline Error fail(std::string key, MessageParams params, std::string text) {
    return Error{std::move(text), std::move(key), std::move(params)};
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

    // The English text; empty for a success, so that callers may log it unconditionally.
    const std::string& error() const { return failure().text; }
    // The whole message; an empty one for a success.
    const Error& failure() const {
        static const Error none;
        return ok() ? none : std::get<1>(state_);
    }

  private:
    std::variant<T, Error> state_;
};

// A success without a value, or an error.
template <>
class [[nodiscard]] Result<void> {
  public:
    Result() = default;
    Result(Error error) : error_(std::move(error)), failed_(true) {}

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    const std::string& error() const { return error_.text; }
    const Error& failure() const { return error_; }

  private:
    Error error_;
    bool failed_ = false;
};

using Status = Result<void>;

}  // namespace camvault
