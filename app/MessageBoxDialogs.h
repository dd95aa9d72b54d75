#pragma once

#include "app/Dialogs.h"

class QWidget;

namespace nimbra {

// The real dialogs: QMessageBox and QFileDialog, owned by the given window (which must
// outlive this object; it may be null).
class MessageBoxDialogs : public Dialogs {
public:
    explicit MessageBoxDialogs(QWidget* owner = nullptr) : owner_(owner) {}

    void setOwner(QWidget* owner) { owner_ = owner; }

    bool ask(const std::string& text) override;
    void inform(const std::string& text) override;
    bool chooseFolder(const std::string& title, const std::string& rootName, std::string& path) override;

private:
    QWidget* owner_;
};

} // namespace nimbra
