#include "platform/Messages.h"

#include <cstdio>

#include "platform/Status.h"

namespace zv {

namespace {

MessageHandler &currentHandler() {
    static MessageHandler handler;
    return handler;
}

}  // namespace

MessageHandler setMessageHandler(MessageHandler handler) {
    MessageHandler previous = std::move(currentHandler());
    currentHandler() = std::move(handler);
    return previous;
}

void showMessage(const std::string &text, MessageKind kind) {
    // Copy first: a handler may install another one while it runs.
    MessageHandler handler = currentHandler();
    if (handler) {
        handler(text, kind);
        return;
    }
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
}

bool showFailureOf(const std::function<void()> &body, const std::string &prefix, MessageKind kind) {
    std::string reason;
    try {
        body();
        return true;
    } catch (...) {
        reason = currentFailureReason();
    }
    showMessage(prefix + reason, kind);
    return false;
}

}  // namespace zv
