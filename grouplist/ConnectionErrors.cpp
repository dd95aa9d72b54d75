#include "grouplist/ConnectionErrors.h"
#include "platform/SocketErrorCode.h"

#include <map>

namespace nimbra {
namespace {

const std::map<int, const char*>& descriptions()
{
    static const std::map<int, const char*> table{
        {SocketErrorCode::Interrupted, "Interrupted system call."},
        {SocketErrorCode::BadFile, "Bad file number."},
        {SocketErrorCode::AccessDenied, "Access denied."},
        {SocketErrorCode::BadAddress, "Bad address."},
        {SocketErrorCode::InvalidArgument, "Invalid argument."},
        {SocketErrorCode::TooManyOpenFiles, "Too many open files."},
        {SocketErrorCode::WouldBlock, "Operation would block. "},
        {SocketErrorCode::InProgress, "Operation now in progress."},
        {SocketErrorCode::AlreadyInProgress, "Operation already in progress."},
        {SocketErrorCode::NotASocket, "Socket operation on non-socket."},
        {SocketErrorCode::DestinationRequired, "Destination address required."},
        {SocketErrorCode::MessageTooLong, "Message too long."},
        {SocketErrorCode::WrongProtocolType, "Protocol wrong type for socket."},
        {SocketErrorCode::BadProtocolOption, "Bad protocol option."},
        {SocketErrorCode::ProtocolNotSupported, "Protocol not supported."},
        {SocketErrorCode::SocketTypeNotSupported, "Socket type not supported."},
        {SocketErrorCode::OperationNotSupported, "Operation not supported on socket."},
        {SocketErrorCode::ProtocolFamilyNotSupported, "Protocol family not supported."},
        {SocketErrorCode::AddressFamilyNotSupported, "Address family not supported by protocol family."},
        {SocketErrorCode::AddressInUse, "Address already in use."},
        {SocketErrorCode::AddressNotAvailable, "Cannot assign requested address."},
        {SocketErrorCode::NetworkDown, "Network is down."},
        {SocketErrorCode::NetworkUnreachable, "Network is unreachable."},
        {SocketErrorCode::NetworkReset, "Net dropped connection or reset."},
        {SocketErrorCode::ConnectionAborted, "Software caused connection abort."},
        {SocketErrorCode::ConnectionReset, "Connection reset by peer."},
        {SocketErrorCode::NoBufferSpace, "No buffer space available."},
        {SocketErrorCode::AlreadyConnected, "Socket is already connected."},
        {SocketErrorCode::NotConnected, "Socket is not connected."},
        {SocketErrorCode::Shutdown, "Cannot send or receive after socket is closed."},
        {SocketErrorCode::TooManyReferences, "Too many references, cannot splice."},
        {SocketErrorCode::TimedOut, "Connection timed out."},
        {SocketErrorCode::ConnectionRefused, "Connection refused."},
        {SocketErrorCode::SymbolicLinkLoop, "Too many levels of symbolic links."},
        {SocketErrorCode::NameTooLong, "File name too long."},
        {SocketErrorCode::HostDown, "Host is down."},
        {SocketErrorCode::NoRouteToHost, "No route to host."},
        {SocketErrorCode::DirectoryNotEmpty, "Directory not empty"},
        {SocketErrorCode::HostNotFound, "Host not found."},
    };
    return table;
}

std::string socketMessage(int code)
{
    return "Socket Error # " + std::to_string(code) + "\r\n" + SocketError::description(code);
}

} // namespace

SocketError::SocketError(int code) : SocketError(code, socketMessage(code)) {}

std::string SocketError::description(int code)
{
    const auto found = descriptions().find(code);
    return found == descriptions().end() ? std::string() : std::string(found->second);
}

} // namespace nimbra
