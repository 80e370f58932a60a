// Failures as values: every call to a control, the automation server or the support
// library answers with its value or with a failure (number and description).
#pragma once

#include <cassert>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "base/hresults.h"

namespace ombrevale {

struct Failure {
    std::int32_t number = 0;  // an HRESULT where COM gave one
    std::wstring description;

    friend bool operator==(const Failure&, const Failure&) = default;
};

// The failure of a step that gave no object where one was needed ("what" names it).
inline Failure NoObjectFailure(const std::wstring& what) {
    return Failure{kNoObject, L"Не создан объект: " + what + L"."};
}

// A value or the failure that prevented it.
template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(Failure failure) : state_(std::in_place_index<1>, std::move(failure)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    const Failure& failure() const {
        assert(!ok() && "Result::failure() of a value");
        return std::get<1>(state_);
    }

    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

private:
    std::variant<T, Failure> state_;
};

// Success without a value, or a failure.
class [[nodiscard]] Status {
public:
    Status() = default;
    Status(Failure failure) : failure_(std::move(failure)) {}

    bool ok() const { return !failure_.has_value(); }
    explicit operator bool() const { return ok(); }
    // Only a failed status has one. A release build throws instead of asserting, and the
    // event's boundary reports that as an internal failure.
    const Failure& failure() const {
        assert(failure_.has_value() && "Status::failure() of a success");
        return failure_.value();
    }

    template <class T>
    static Status of(const Result<T>& r) {
        return r.ok() ? Status() : Status(r.failure());
    }

private:
    std::optional<Failure> failure_;
};

inline Status Ok() { return {}; }

// Unguarded procedures: the first failing step ends the procedure and passes up. Each
// macro is one statement, and the prefix keeps it apart from other libraries' macros.
#define OMB_RETURN_IF_FAILED(expr)                                                      \
    do {                                                                                \
        if (auto omb_status_ = (expr); !omb_status_.ok()) return omb_status_.failure(); \
    } while (0)

// Assigns an existing `target` from a Result-returning expression, or returns its failure.
#define OMB_ASSIGN_OR_RETURN(target, expr)                   \
    do {                                                     \
        auto omb_result_ = (expr);                           \
        if (!omb_result_.ok()) return omb_result_.failure(); \
        target = std::move(omb_result_).value();             \
    } while (0)

// Guarded procedures: a failing step is skipped and the procedure goes on. One record
// of the most recent failure is kept from the start of the guarded stretch; only the
// steps that test it look at it, and nothing clears it between steps.
class Guard {
public:
    // Runs the outcome of one step: true when it succeeded, else the failure is kept.
    bool step(const Status& s) {
        if (!s.ok()) failure_ = s.failure();
        return s.ok();
    }

    template <class T>
    std::optional<T> step(Result<T> r) {
        if (!r.ok()) {
            failure_ = r.failure();
            return std::nullopt;
        }
        return std::move(r).value();
    }

    bool failed() const { return failure_.has_value(); }
    // Only after a failed step; see Status::failure().
    const Failure& failure() const {
        assert(failure_.has_value() && "Guard::failure() before any failed step");
        return failure_.value();
    }
    void clear() { failure_.reset(); }

private:
    std::optional<Failure> failure_;
};

}  // namespace ombrevale
