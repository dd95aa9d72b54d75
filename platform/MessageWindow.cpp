#include "platform/MessageWindow.h"

#include <QCoreApplication>
#include <QEvent>

namespace nimbra {
namespace {

const QEvent::Type PostedMessageType = static_cast<QEvent::Type>(QEvent::registerEventType());

class PostedMessage : public QEvent {
public:
    PostedMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
        : QEvent(PostedMessageType), message(message), wParam(wParam), lParam(lParam) {}
    unsigned message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
};

} // namespace

MessageWindow::MessageWindow(Procedure procedure) : procedure_(std::move(procedure)) {}

MessageWindow::~MessageWindow() = default;

void MessageWindow::post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    ++pending_;
    QCoreApplication::postEvent(this, new PostedMessage(message, wParam, lParam));
}

bool MessageWindow::event(QEvent* event)
{
    if (event->type() != PostedMessageType)
        return QObject::event(event);
    --pending_;
    auto* posted = static_cast<PostedMessage*>(event);
    if (procedure_)
        procedure_(posted->message, posted->wParam, posted->lParam);
    return true;
}

} // namespace nimbra
