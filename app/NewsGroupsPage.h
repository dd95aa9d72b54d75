#pragma once

#include <QWidget>

class QCheckBox;
class QLineEdit;
class QListView;
class QPushButton;

namespace nimbra {

class GroupListModel;

// The "News groups" page: server, port, user name, password, the filter text and the sorted,
// multi-select newsgroup list box with "Get groups". The page owns its controls and the list
// box's model; it holds no settings of its own (the fields are the only copy).
class NewsGroupsPage : public QWidget {
    Q_OBJECT
public:
    explicit NewsGroupsPage(QWidget* parent = nullptr);

    QLineEdit* hostEdit() const { return host_; }         // Edit8
    QLineEdit* portEdit() const { return port_; }         // Edit9
    // Ticking it turns a port still at "119" into "563", unticking turns "563" back.
    QCheckBox* tlsCheck() const { return tls_; }
    QLineEdit* userNameEdit() const { return userName_; } // Edit13
    QLineEdit* passwordEdit() const { return password_; } // Edit12
    // "Remember password", beside the password (RememberedPassword gives it its meaning).
    QCheckBox* rememberCheck() const { return remember_; }
    QLineEdit* filterEdit() const { return filter_; }     // Edit10
    QListView* listBox() const { return listBox_; }       // ListBox1
    GroupListModel* model() const { return model_; }
    QPushButton* getGroupsButton() const { return getGroups_; }

    // The rows selected in the list box, ascending.
    std::vector<int> selectedRows() const;
    bool isSelected(int row) const;

private:
    QLineEdit* host_;
    QLineEdit* port_;
    QCheckBox* tls_;
    QLineEdit* userName_;
    QLineEdit* password_;
    QCheckBox* remember_;
    QLineEdit* filter_;
    QListView* listBox_;
    GroupListModel* model_;
    QPushButton* getGroups_;
};

} // namespace nimbra
