#include "net/SocketErrorText.h"

#include "platform/TlsSession.h"
#include "platform/SocketErrorCode.h"

namespace nimbra {

const char* SocketErrorText::describe(int error)
{
    switch (error) {
    case 0: return "No Error";
    case SocketErrorCode::Interrupted: return "Interrupted system call";
    case SocketErrorCode::BadFile: return "Bad file number";
    case SocketErrorCode::AccessDenied: return "Permission denied";
    case SocketErrorCode::BadAddress: return "Bad address";
    case SocketErrorCode::InvalidArgument: return "Invalid argument";
    case SocketErrorCode::TooManyOpenFiles: return "Too many open files";
    case SocketErrorCode::WouldBlock: return "Operation would block";
    case SocketErrorCode::InProgress: return "Operation now in progress";
    case SocketErrorCode::AlreadyInProgress: return "Operation already in progress";
    case SocketErrorCode::NotASocket: return "Socket operation on non-socket";
    case SocketErrorCode::DestinationRequired: return "Destination address required";
    case SocketErrorCode::MessageTooLong: return "Message too long";
    case SocketErrorCode::WrongProtocolType: return "Protocol wrong type for socket";
    case SocketErrorCode::BadProtocolOption: return "Protocol not available";
    case SocketErrorCode::ProtocolNotSupported: return "Protocol not supported";
    case SocketErrorCode::SocketTypeNotSupported: return "Socket type not supported";
    case SocketErrorCode::OperationNotSupported: return "Operation not supported on socket";
    case SocketErrorCode::ProtocolFamilyNotSupported: return "Protocol family not supported";
    case SocketErrorCode::AddressFamilyNotSupported: return "Address family not supported by protocol family";
    case SocketErrorCode::AddressInUse: return "Address already in use";
    case SocketErrorCode::AddressNotAvailable: return "Address not available";
    case SocketErrorCode::NetworkDown: return "Network is down";
    case SocketErrorCode::NetworkUnreachable: return "Network is unreachable";
    case SocketErrorCode::NetworkReset: return "Network dropped connection on reset";
    case SocketErrorCode::ConnectionAborted: return "Connection aborted";
    case SocketErrorCode::ConnectionReset: return "Connection reset by peer";
    case SocketErrorCode::NoBufferSpace: return "No buffer space available";
    case SocketErrorCode::AlreadyConnected: return "Socket is already connected";
    case SocketErrorCode::NotConnected: return "Socket is not connected";
    case SocketErrorCode::Shutdown: return "Can't send after socket shutdown";
    case SocketErrorCode::TooManyReferences: return "Too many references: can't splice";
    case SocketErrorCode::TimedOut: return "Connection timed out";
    case SocketErrorCode::ConnectionRefused: return "Connection refused";
    case SocketErrorCode::SymbolicLinkLoop: return "Too many levels of symbolic links";
    case SocketErrorCode::NameTooLong: return "File name too long";
    case SocketErrorCode::HostDown: return "Host is down";
    case SocketErrorCode::NoRouteToHost: return "No route to host";
    case SocketErrorCode::DirectoryNotEmpty: return "Directory not empty";
    case SocketErrorCode::TooManyProcesses: return "Too many processes";
    case SocketErrorCode::TooManyUsers: return "Too many users";
    case SocketErrorCode::DiskQuotaExceeded: return "Disc quota exceeded";
    case SocketErrorCode::StaleHandle: return "Stale NFS file handle";
    case SocketErrorCode::RemotePath: return "Too many levels of remote in path";
    case SocketErrorCode::SystemNotReady: return "Network sub-system is unusable";
    case SocketErrorCode::VersionNotSupported: return "WinSock DLL cannot support this application";
    case SocketErrorCode::NotInitialised: return "WinSock not initialized";
    case SocketErrorCode::HostNotFound: return "Host not found";
    case SocketErrorCode::TryAgain: return "Non-authoritative host not found";
    case SocketErrorCode::NoRecovery: return "Non-recoverable error";
    case SocketErrorCode::NoData: return "No Data";
    case TlsSession::CertificateNotTrusted:
    case TlsSession::NameMismatch:
    case TlsSession::HandshakeFailed:
    case TlsSession::ConnectionFailed: return TlsSession::describe(error);
    default: return "Not a WinSock error";
    }
}

std::string SocketErrorText::message(int error, const std::string& function)
{
    return "Error " + std::to_string(error) + " in function " + function + "\r\n" + describe(error);
}

} // namespace nimbra
