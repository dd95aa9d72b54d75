#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace nimbra {

// The about box, shown modally: caption "About Nimbra File", title "Nimbra File V2.03", the
// build time, and "&Close".
class AboutBox : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent = nullptr);

    QLabel* titleLabel() const { return title_; }
    QLabel* buildLabel() const { return build_; }
    QPushButton* closeButton() const { return close_; }

private:
    QLabel* title_;
    QLabel* build_;
    QPushButton* close_;
};

} // namespace nimbra
