#pragma once

#include <QObject>
#include <cstdint>
#include <functional>

namespace nimbra {

// First message number free for a program's own use; the components number theirs from here
// (1025 is UserMessage + 1).
constexpr unsigned UserMessage = 1024;

// A hidden message window: messages posted to it are delivered later, one by one and in the
// order posted, from the Qt event loop of the thread that created it. Its window procedure is
// the handler given at construction. Messages still queued when the window is destroyed are
// dropped, so a posted message never reaches a dead owner.
class MessageWindow : public QObject {
public:
    using Procedure = std::function<void(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)>;

    explicit MessageWindow(Procedure procedure);
    ~MessageWindow() override;

    // Queues a message; safe to call from inside the procedure itself.
    void post(unsigned message, std::uintptr_t wParam = 0, std::intptr_t lParam = 0);

    // Number of posted messages not yet delivered.
    int pending() const { return pending_; }

protected:
    bool event(QEvent* event) override;

private:
    Procedure procedure_;
    int pending_ = 0;
};

} // namespace nimbra
