#include "platform/Messages.h"

#include <cstdio>

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

}  // namespace zv
