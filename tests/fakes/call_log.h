// What every fake shares: one log of calls in the order they happened, and a plan of
// which calls of which operation fail. Header-only; builds with g++ and mingw-w64.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "base/result.h"

namespace ombrevale::fakes {

// Entries read "object.Operation(arg, arg)".
class CallLog {
public:
    void Add(std::wstring entry) { entries_.push_back(std::move(entry)); }
    const std::vector<std::wstring>& Entries() const { return entries_; }
    void Clear() { entries_.clear(); }

    // The entries that start with any of the prefixes, in order.
    std::vector<std::wstring> Only(std::initializer_list<std::wstring_view> prefixes) const {
        std::vector<std::wstring> out;
        for (const auto& e : entries_)
            for (auto p : prefixes)
                if (std::wstring_view(e).substr(0, p.size()) == p) {
                    out.push_back(e);
                    break;
                }
        return out;
    }
    std::size_t Count(std::wstring_view prefix) const { return Only({prefix}).size(); }

private:
    std::vector<std::wstring> entries_;
};

inline constexpr std::int32_t kFakeFailureNumber = static_cast<std::int32_t>(0x80004005u);  // E_FAIL

// Which calls fail: every call of an operation, or only its n-th call (from 1).
class Faults {
public:
    void Fail(const std::wstring& op, std::optional<Failure> failure = std::nullopt) { always_[op] = failure; }
    void FailCall(const std::wstring& op, int call, std::optional<Failure> failure = std::nullopt) {
        once_[{op, call}] = failure;
    }
    void Heal(const std::wstring& op) { always_.erase(op); }

    // Counts the call; the failure it is planned to give, if any. `who` names the
    // object in the default failure's description, so a test can tell which one failed.
    std::optional<Failure> Check(const std::wstring& who, const std::wstring& op) {
        const int call = ++calls_[op];
        const std::optional<Failure>* planned = nullptr;
        if (auto it = once_.find({op, call}); it != once_.end())
            planned = &it->second;
        else if (auto all = always_.find(op); all != always_.end())
            planned = &all->second;
        if (planned == nullptr) return std::nullopt;
        if (*planned) return **planned;
        return Failure{kFakeFailureNumber, who + L"." + op + L" failed"};
    }

    int Calls(const std::wstring& op) const {
        auto it = calls_.find(op);
        return it == calls_.end() ? 0 : it->second;
    }

private:
    std::map<std::wstring, int> calls_;
    std::map<std::wstring, std::optional<Failure>> always_;
    std::map<std::pair<std::wstring, int>, std::optional<Failure>> once_;
};

// Base of the fakes: logs each call under the object's name and consults its faults,
// or a plan shared by several objects of one kind (file dialogs, settings stores).
class Recorder {
public:
    Recorder(std::wstring name, CallLog* log, Faults* sharedFaults = nullptr)
        : name_(std::move(name)), log_(log), plan_(sharedFaults != nullptr ? sharedFaults : &faults) {}
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    const std::wstring& name() const { return name_; }
    Faults faults;

protected:
    std::optional<Failure> Enter(const std::wstring& op, const std::wstring& args = L"") {
        if (log_ != nullptr) log_->Add(name_ + L"." + op + L"(" + args + L")");
        return plan_->Check(name_, op);
    }
    CallLog* log() const { return log_; }

private:
    std::wstring name_;
    CallLog* log_;
    Faults* plan_;
};

// Arguments as the log shows them.
template <class T>
std::wstring Arg(const T& value) {
    if constexpr (std::is_same_v<T, bool>)
        return value ? L"true" : L"false";
    else if constexpr (std::is_arithmetic_v<T>)
        return std::to_wstring(value);
    else if constexpr (std::is_same_v<T, Failure>)
        return L"[" + std::to_wstring(value.number) + L" " + value.description + L"]";
    else
        return std::wstring(value);
}

template <class... A>
std::wstring Args(const A&... values) {
    std::wstring out;
    bool first = true;
    ((out += first ? L"" : L", ", out += Arg(values), first = false), ...);
    return out;
}

}  // namespace ombrevale::fakes
