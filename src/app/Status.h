#pragma once
// How an engine call reports that it failed: a Status (done, or the reason it was not) or a Result<T> (the
// value, or the reason there is none). Callers test them as bools and pass the reason on word for word; no
// exceptions cross, and there is no second place to look for what went wrong.

#include <optional>
#include <string>
#include <utility>

namespace lumora {

// The reason of a failure on its way into a Status or a Result: `return failure("cannot read " + path);`.
struct Failure {
    std::string reason;
};
inline Failure failure(std::string reason) {
    return Failure{std::move(reason)};
}

class [[nodiscard]] Status {
public:
    Status() = default; // done
    Status(Failure f) : failed_(true), reason_(std::move(f.reason)) {}

    explicit operator bool() const { return !failed_; }
    bool ok() const { return !failed_; }
    // Why it failed; empty when it did not.
    const std::string& reason() const { return reason_; }

private:
    bool failed_ = false;
    std::string reason_;
};

template <typename T> class [[nodiscard]] Result {
public:
    Result(T value) : value_(std::move(value)) {}
    Result(Failure f) : reason_(std::move(f.reason)) {}
    // A failure passed on from a call this one made (`status` must have failed).
    Result(const Status& status) : reason_(status.reason()) {}

    explicit operator bool() const { return value_.has_value(); }
    bool ok() const { return value_.has_value(); }
    const std::string& reason() const { return reason_; }
    Status status() const { return ok() ? Status() : Status(failure(reason_)); }

    // The value; only when ok().
    T& operator*() { return *value_; }
    const T& operator*() const { return *value_; }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }
    // The value moved out, or `fallback` when there is none.
    T take(T fallback = T()) { return value_ ? std::move(*value_) : std::move(fallback); }

private:
    std::optional<T> value_;
    std::string reason_;
};

} // namespace lumora
