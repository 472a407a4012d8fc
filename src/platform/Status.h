#pragma once

#include <optional>
#include <string>
#include <utility>

namespace zv {

// The outcome of work whose failure is expected and handled where it happens (a frame that cannot
// be read or decoded): ok, or failed with the reason in the module's words (Russian, no prefix).
// The operator's message is put together only where it is shown, from the reason. Errors that
// stop an operation are zv::Error instead.
class [[nodiscard]] Status {
public:
    // Ok.
    Status() = default;
    static Status Ok() { return {}; }
    static Status Failed(std::string reason) {
        Status s;
        s.reason_ = std::move(reason);
        return s;
    }

    bool ok() const { return !reason_; }
    // Why it failed; empty when ok.
    const std::string &reason() const {
        static const std::string none;
        return reason_ ? *reason_ : none;
    }

private:
    std::optional<std::string> reason_;
};

// The reason of the exception being handled, in the module's words: its message for a
// std::exception, "Недостаточно памяти" for std::bad_alloc, "Неизвестная ошибка" for anything
// else. Call only inside a catch block.
std::string currentFailureReason();

// Runs body and gives its outcome: Failed(currentFailureReason()) when it throws.
template <class Body>
Status statusOf(Body &&body) noexcept {
    try {
        body();
        return Status::Ok();
    } catch (...) {
        try {
            return Status::Failed(currentFailureReason());
        } catch (...) {
            return Status::Failed({});  // no memory even for the reason
        }
    }
}

}  // namespace zv
