#pragma once

#include <functional>
#include <string>

namespace zv {

// How a message box stands on the screen: a plain one (no owner, empty title, OK), or one that is
// also top-most and application-modal (the settings and export windows use these).
enum class MessageKind { Plain, TopMost };

// Receives every message the module shows to the operator. The UI installs one that shows a
// message box; tests install a recorder of texts. Without one, messages go to stderr.
using MessageHandler = std::function<void(const std::string &text, MessageKind kind)>;

// Replaces the handler and returns the previous one. An empty handler restores stderr.
MessageHandler setMessageHandler(MessageHandler handler);

// Shows text (UTF-8) through the installed handler; returns when the operator has closed it.
void showMessage(const std::string &text, MessageKind kind = MessageKind::Plain);

// Runs body; what it throws is shown as prefix + its reason (currentFailureReason of
// platform/Status.h) in a message of the given kind. True when body finished. For the handlers of
// the windows and the plug-in's entry points, which show the failures of the work they start.
bool showFailureOf(const std::function<void()> &body, const std::string &prefix = {},
                   MessageKind kind = MessageKind::Plain);

// Installs a handler for the lifetime of the object and restores the previous one afterwards.
class ScopedMessageHandler {
public:
    explicit ScopedMessageHandler(MessageHandler handler)
        : previous_(setMessageHandler(std::move(handler))) {}
    ~ScopedMessageHandler() { setMessageHandler(std::move(previous_)); }
    ScopedMessageHandler(const ScopedMessageHandler &) = delete;
    ScopedMessageHandler &operator=(const ScopedMessageHandler &) = delete;

private:
    MessageHandler previous_;
};

}  // namespace zv
