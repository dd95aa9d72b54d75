#pragma once

namespace nimbra {

// The program reports socket failures by the classic Windows socket error numbers (10061 for
// a refused connection, 11001 for an unknown host, ...), so that every error value and text
// stays the same whatever the system underneath. These map this system's codes onto them.
class SocketErrorCode {
public:
    // Every socket error number the program uses, named once; numbers from First up are
    // socket errors, smaller error values are server reply codes.
    static constexpr int First = 10000;
    static constexpr int Interrupted = 10004;
    static constexpr int BadFile = 10009;
    static constexpr int AccessDenied = 10013;
    static constexpr int BadAddress = 10014;
    static constexpr int InvalidArgument = 10022;
    static constexpr int TooManyOpenFiles = 10024;
    static constexpr int WouldBlock = 10035;
    static constexpr int InProgress = 10036;
    static constexpr int AlreadyInProgress = 10037;
    static constexpr int NotASocket = 10038;
    static constexpr int DestinationRequired = 10039;
    static constexpr int MessageTooLong = 10040;
    static constexpr int WrongProtocolType = 10041;
    static constexpr int BadProtocolOption = 10042;
    static constexpr int ProtocolNotSupported = 10043;
    static constexpr int SocketTypeNotSupported = 10044;
    static constexpr int OperationNotSupported = 10045;
    static constexpr int ProtocolFamilyNotSupported = 10046;
    static constexpr int AddressFamilyNotSupported = 10047;
    static constexpr int AddressInUse = 10048;
    static constexpr int AddressNotAvailable = 10049;
    static constexpr int NetworkDown = 10050;
    static constexpr int NetworkUnreachable = 10051;
    static constexpr int NetworkReset = 10052;
    static constexpr int ConnectionAborted = 10053;
    static constexpr int ConnectionReset = 10054;
    static constexpr int NoBufferSpace = 10055;
    static constexpr int AlreadyConnected = 10056;
    static constexpr int NotConnected = 10057;
    static constexpr int Shutdown = 10058;
    static constexpr int TooManyReferences = 10059;
    static constexpr int TimedOut = 10060;
    static constexpr int ConnectionRefused = 10061;
    static constexpr int SymbolicLinkLoop = 10062;
    static constexpr int NameTooLong = 10063;
    static constexpr int HostDown = 10064;
    static constexpr int NoRouteToHost = 10065;
    static constexpr int DirectoryNotEmpty = 10066;
    static constexpr int TooManyProcesses = 10067;
    static constexpr int TooManyUsers = 10068;
    static constexpr int DiskQuotaExceeded = 10069;
    static constexpr int StaleHandle = 10070;
    static constexpr int RemotePath = 10071;
    static constexpr int SystemNotReady = 10091;
    static constexpr int VersionNotSupported = 10092;
    static constexpr int NotInitialised = 10093;
    static constexpr int HostNotFound = 11001;
    static constexpr int TryAgain = 11002;
    static constexpr int NoRecovery = 11003;
    static constexpr int NoData = 11004;

    // An errno value (EWOULDBLOCK, ECONNREFUSED, ...) as its socket error number.
    static int fromErrno(int error);
    // A getaddrinfo() result (EAI_NONAME, ...) as its socket error number.
    static int fromLookup(int error);
};

} // namespace nimbra
