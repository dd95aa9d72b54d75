#include "platform/SocketErrorCode.h"

#include <cerrno>
#include <netdb.h>

namespace nimbra {

int SocketErrorCode::fromErrno(int error)
{
    switch (error) {
    case 0: return 0;
    case EINTR: return SocketErrorCode::Interrupted;
    case EBADF: return SocketErrorCode::BadFile;
    case EACCES: case EPERM: return SocketErrorCode::AccessDenied;
    case EFAULT: return SocketErrorCode::BadAddress;
    case EINVAL: return SocketErrorCode::InvalidArgument;
    case EMFILE: case ENFILE: return SocketErrorCode::TooManyOpenFiles;
    case EWOULDBLOCK: return SocketErrorCode::WouldBlock;
    case EINPROGRESS: return SocketErrorCode::InProgress;
    case EALREADY: return SocketErrorCode::AlreadyInProgress;
    case ENOTSOCK: return SocketErrorCode::NotASocket;
    case EDESTADDRREQ: return SocketErrorCode::DestinationRequired;
    case EMSGSIZE: return SocketErrorCode::MessageTooLong;
    case EPROTOTYPE: return SocketErrorCode::WrongProtocolType;
    case ENOPROTOOPT: return SocketErrorCode::BadProtocolOption;
    case EPROTONOSUPPORT: return SocketErrorCode::ProtocolNotSupported;
    case ESOCKTNOSUPPORT: return SocketErrorCode::SocketTypeNotSupported;
    case EOPNOTSUPP: return SocketErrorCode::OperationNotSupported;
    case EPFNOSUPPORT: return SocketErrorCode::ProtocolFamilyNotSupported;
    case EAFNOSUPPORT: return SocketErrorCode::AddressFamilyNotSupported;
    case EADDRINUSE: return SocketErrorCode::AddressInUse;
    case EADDRNOTAVAIL: return SocketErrorCode::AddressNotAvailable;
    case ENETDOWN: return SocketErrorCode::NetworkDown;
    case ENETUNREACH: return SocketErrorCode::NetworkUnreachable;
    case ENETRESET: return SocketErrorCode::NetworkReset;
    case ECONNABORTED: return SocketErrorCode::ConnectionAborted;
    case ECONNRESET: return SocketErrorCode::ConnectionReset;
    case ENOBUFS: return SocketErrorCode::NoBufferSpace;
    case EISCONN: return SocketErrorCode::AlreadyConnected;
    case ENOTCONN: return SocketErrorCode::NotConnected;
    case EPIPE: case ESHUTDOWN: return SocketErrorCode::Shutdown;
    case ETOOMANYREFS: return SocketErrorCode::TooManyReferences;
    case ETIMEDOUT: return SocketErrorCode::TimedOut;
    case ECONNREFUSED: return SocketErrorCode::ConnectionRefused;
    case ELOOP: return SocketErrorCode::SymbolicLinkLoop;
    case ENAMETOOLONG: return SocketErrorCode::NameTooLong;
    case EHOSTDOWN: return SocketErrorCode::HostDown;
    case EHOSTUNREACH: return SocketErrorCode::NoRouteToHost;
    case ENOTEMPTY: return SocketErrorCode::DirectoryNotEmpty;
    case EUSERS: return SocketErrorCode::TooManyUsers;
    case EDQUOT: return SocketErrorCode::DiskQuotaExceeded;
    case ESTALE: return SocketErrorCode::StaleHandle;
    case EREMOTE: return SocketErrorCode::RemotePath;
    default: return 20000 + error; // outside the table: reported as not a socket error
    }
}

int SocketErrorCode::fromLookup(int error)
{
    switch (error) {
    case 0: return 0;
    case EAI_NONAME:
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
    case EAI_FAMILY:
        return SocketErrorCode::HostNotFound;
    case EAI_AGAIN: return SocketErrorCode::TryAgain;
    case EAI_FAIL: return SocketErrorCode::NoRecovery;
    case EAI_SYSTEM: return fromErrno(errno);
    default: return SocketErrorCode::NoData;
    }
}

} // namespace nimbra
