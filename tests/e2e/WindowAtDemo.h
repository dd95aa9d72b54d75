#pragma once

#include "tests/e2e/DemoServer.h"
#include "tests/support/TestEnvironment.h"

#include "app/Dialogs.h"
#include "app/GroupListModel.h"
#include "app/MainWindow.h"
#include "app/NewsGroupsPage.h"

#include <QCheckBox>
#include <QItemSelectionModel>
#include <QListView>
#include <QPushButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace nimbra::test {

// Answers the window's questions in order (No when none is left) and keeps what it was asked
// and told.
class AnsweringDialogs : public Dialogs {
public:
    bool ask(const std::string& text) override
    {
        questions.push_back(text);
        const bool answer = !answers.empty() && answers.front();
        if (!answers.empty())
            answers.pop_front();
        return answer;
    }
    void inform(const std::string& text) override { messages.push_back(text); }
    bool chooseFolder(const std::string&, const std::string&, std::string&) override { return false; }

    std::deque<bool> answers;
    std::vector<std::string> questions;
    std::vector<std::string> messages;
};

struct WindowAtDemo {
    DemoServer server;
    AnsweringDialogs dialogs;
    std::unique_ptr<MainWindow> window;
    std::string folder = TestEnvironment::makeFolder("window-downloads");

    // Given a certificate, the demo server serves TLS and "SSL/TLS" is ticked.
    explicit WindowAtDemo(const ServerCertificate* tls = nullptr)
    {
        server.start(tls);
        window = std::make_unique<MainWindow>(&dialogs);
        if (tls)
            window->newsGroupsPage()->tlsCheck()->setChecked(true);
        window->setFieldText(Field::Host, "127.0.0.1");
        window->setFieldText(Field::Port, server.portText());
        window->setFieldText(Field::Folder, folder);
        window->show();
    }

    void getGroups() { window->newsGroupsPage()->getGroupsButton()->click(); }
    std::vector<std::string> listBox() const { return window->newsGroupsPage()->model()->entries(); }

    // The groups shown and selected in the list box, as without "Get groups".
    void showSelected(const std::vector<std::string>& groups)
    {
        window->newsGroupsPage()->model()->fill(groups, {});
        window->newsGroupsPage()->listBox()->selectAll();
    }

    void select(const std::string& group)
    {
        QListView* box = window->newsGroupsPage()->listBox();
        const std::vector<std::string> entries = listBox();
        const auto row = std::find(entries.begin(), entries.end(), group) - entries.begin();
        ASSERT_LT(row, static_cast<long>(entries.size())) << group;
        box->selectionModel()->select(box->model()->index(static_cast<int>(row), 0), QItemSelectionModel::Select);
    }
};

} // namespace nimbra::test
