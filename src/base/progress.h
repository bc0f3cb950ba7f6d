#pragma once

#include "base/i18n.h"
#include "base/result.h"

#include <functional>
#include <string_view>
#include <type_traits>
#include <utility>

namespace tarvok {

/// How every long operation reports: the fraction done (0..1) and, when it has one, a short
/// text of what it is doing go in; true (go on) or false (stop) comes out. An operation that
/// is told to stop ends at its next safe point and fails with ErrorCode::Cancelled.
/// A default-constructed Progress reports nowhere and always goes on.
class Progress {
public:
    using Callback = std::function<bool(double pRate, std::string_view pMessage)>;

    Progress() = default;
    Progress(Callback pCallback)
        : callback_(std::move(pCallback))
    {
    }
    /// Any callable of the one shape bool(double, std::string_view).
    template <class F>
    requires std::is_invocable_r_v<bool, F&, double, std::string_view> &&(
        !std::is_same_v<std::decay_t<F>, Progress>)&&(!std::is_same_v<std::decay_t<F>, Callback>)
        Progress(F pCallable)
        : callback_(std::move(pCallable))
    {
    }

    /// Reports pRate (0..1); returns false when the operation is to stop.
    bool operator()(double pRate, std::string_view pMessage = {}) const
    {
        return !callback_ || callback_(pRate, pMessage);
    }

    /// True when somebody listens.
    explicit operator bool() const { return static_cast<bool>(callback_); }

    /// The same listener for a stage that covers pFrom..pTo of the whole: the stage reports
    /// 0..1 and the listener sees the matching part of the whole range.
    Progress Stage(double pFrom, double pTo) const
    {
        if (!callback_) {
            return {};
        }
        return Progress(
            Callback([cb = callback_, pFrom, pTo](double pRate, std::string_view pMessage) {
                return cb(pFrom + (pTo - pFrom) * pRate, pMessage);
            }));
    }

private:
    Callback callback_;
};

/// The failure of an operation that its Progress told to stop.
inline Error CancelledError() { return Fail(Tr("キャンセルしました"), ErrorCode::Cancelled); }

/// True when pStatus failed because the operation was told to stop.
template <class T> bool IsCancelled(const Result<T>& pStatus)
{
    return !pStatus.has_value() && pStatus.error().Code == ErrorCode::Cancelled;
}

} // namespace tarvok
