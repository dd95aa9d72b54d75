#include "app/GroupListFetch.h"

#include "grouplist/TlsConnectionError.h"
#include "platform/CertificateTrustRule.h"

#include "app/GroupCacheFile.h"
#include "app/GroupFetchView.h"
#include "platform/TextListFile.h"

#include <QCoreApplication>

#include <climits>
#include <exception>
#include <stdexcept>

namespace nimbra {

GroupListFetch::GroupListFetch(GroupFetchView& view, std::vector<std::string>& fullList)
    : view_(view), fullList_(fullList)
{
    ListClient1.MaxLineAction = maException;
    ListClient1.ReadTimeout = 0;
    ListClient1.OnStatus = [](WorkComponent&, ConnStatus, const std::string&) { QCoreApplication::processEvents(); };
    ListClient1.OnWork = [](WorkComponent&, WorkMode, std::int64_t) { QCoreApplication::processEvents(); };
    ListClient1.OnNewsgroupList = [this](const std::string& name, std::int32_t low, std::int32_t high,
                                      const std::string& type, bool& canContinue) {
        ListClient1NewsgroupList(name, low, high, type, canContinue);
    };
}

int GroupListFetch::portNumber(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    const std::size_t last = text.find_last_not_of(" \t");
    std::string digits = first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
    const bool negative = !digits.empty() && digits[0] == '-';
    if (!digits.empty() && (digits[0] == '-' || digits[0] == '+'))
        digits.erase(0, 1);
    const bool number = !digits.empty() && digits.size() <= 10
        && digits.find_first_not_of("0123456789") == std::string::npos;
    const long long value = number ? (negative ? -1 : 1) * std::stoll(digits) : 0;
    if (!number || value > INT_MAX || value < INT_MIN)
        throw std::invalid_argument("'" + text + "' is not a valid integer value");
    // A port the socket cannot carry would quietly reach some other port.
    if (value < 1 || value > 65535)
        throw std::invalid_argument("'" + text + "' is not a valid port number");
    return static_cast<int>(value);
}

void GroupListFetch::getGroups()
{
    if (running_)
        return;
    try {
        run();
    } catch (const std::exception& error) {
        view_.showError(error.what());
    } catch (...) {
        view_.showError("Unknown error.");
    }
}

void GroupListFetch::run()
{
    fullList_.clear();
    groupCounter_ = 0;
    if (ListClient1.IsConnected())
        ListClient1.QuitServer();
    const std::string path = GroupCacheFile::path(view_.hostText());
    if (!path.empty() && TextListFile::exists(path) && !view_.askYesNo(RefreshQuestion))
        loadCache(path);
    else
        fetch(path);
}

void GroupListFetch::loadCache(const std::string& path)
{
    view_.setWaitCaption("Please, wait");
    try {
        if (!TextListFile::load(path, fullList_))
            throw std::runtime_error("Cannot open file \"" + path + "\".");
        view_.refillGroupList();
    } catch (...) {
        view_.hideWaitWindow();
        throw;
    }
    view_.hideWaitWindow();
}

void GroupListFetch::fetch(const std::string& path)
{
    // Read before anything is disabled, so a bad port field leaves the window as it was.
    const int port = portNumber(view_.portText());
    ListClient1.Host = view_.hostText();
    ListClient1.Port = port;
    ListClient1.Username = view_.userNameText();
    ListClient1.Password = view_.passwordText();
    ListClient1.UseTls = view_.tlsEnabled();
    ListClient1.TlsAcceptedFingerprint = ListClient1.UseTls ? view_.acceptedCertificate(ListClient1.Host) : "";

    running_ = true;
    stopped_ = false;
    view_.setStopVisible(true);
    view_.showWaitWindow();
    view_.setMainWindowEnabled(false);
    // A failed connect has no message of its own: the listing then fails with "Not Connected".
    // A TLS failure is reported instead, for its reason is something the user can act on.
    std::exception_ptr tlsFailure = connectOverTls();
    std::exception_ptr failure;
    try {
        ListClient1.ListGroups();
        if (!path.empty())
            TextListFile::save(path, fullList_); // a cache that cannot be written is no error
        QCoreApplication::processEvents(); // a long list takes a while to save and to sort
        view_.refillGroupList();
    } catch (...) {
        failure = std::current_exception();
    }
    endFetch();
    if (failure && !stopped_)
        std::rethrow_exception(tlsFailure ? tlsFailure : failure);
}

std::exception_ptr GroupListFetch::connectOverTls()
{
    try {
        try {
            ListClient1.ConnectServer(-1);
        } catch (const TlsConnectionError& refused) {
            if (!CertificateTrustRule::mayAsk(refused.code(), ListClient1.TlsPeerFingerprint(),
                                              ListClient1.TlsAcceptedFingerprint)
                || !view_.trustCertificate(ListClient1.Host, ListClient1.TlsPeerFingerprint(),
                                           ListClient1.TlsPeerSubject(), refused.what()))
                throw;
            ListClient1.TlsAcceptedFingerprint = ListClient1.TlsPeerFingerprint();
            ListClient1.ConnectServer(-1);
        }
    } catch (const TlsConnectionError&) {
        return std::current_exception();
    } catch (...) {
    }
    return nullptr;
}

void GroupListFetch::endFetch()
{
    try {
        ListClient1.QuitServer();
    } catch (...) {
        // the listing's own outcome is what the user hears about
    }
    view_.hideWaitWindow();
    view_.setWaitCaption("");
    view_.setMainWindowEnabled(true);
    running_ = false;
}

void GroupListFetch::stop()
{
    stopped_ = running_;
    try {
        ListClient1.QuitServer();
    } catch (...) {
        // stopping is never an error
    }
    view_.setStopVisible(false);
    view_.hideWaitWindow();
    view_.setMainWindowEnabled(true);
}

void GroupListFetch::ListClient1NewsgroupList(const std::string& ANewsgroup, std::int32_t, std::int32_t,
    const std::string&, bool&)
{
    fullList_.push_back(ANewsgroup);
    ++groupCounter_;
    view_.setWaitCaption("Getting News Groups " + std::to_string(groupCounter_));
}

} // namespace nimbra
