#pragma once

#include <string>

namespace nimbra {

// The values the decoder keeps from an article's message header. Tokens marked lower-cased
// are stored that way; the others keep their case.
struct MessageHeaderFields {
    std::string MsgFrom;             // rest of the header line, as received
    std::string MsgTo;
    std::string MsgSubject;
    std::string MsgDate;
    std::string MsgMimeVersion;
    std::string MsgReturnPath;       // one pair of enclosing angle brackets removed
    std::string MsgTransferEncoding; // lower-cased
    std::string MsgCharSet;
    std::string MsgType;             // lower-cased content-type token
    std::string MsgBoundary;         // "--" + boundary, lower-cased; empty: single-part body
    std::string MsgTypeName;             // content-type "name" parameter
    std::string MsgDispositionFilename;  // content-disposition "filename" parameter
    // message/partial: "id", "number" and "total" parameters, as written.
    std::string MsgPartialId;
    std::string MsgPartialNumber;
    std::string MsgPartialTotal;
};

// The values of the current part's header; emptied at each part start.
struct PartHeaderFields {
    std::string PartType;                // lower-cased content-type token
    std::string PartTransferEncoding;    // lower-cased
    std::string PartTypeName;            // content-type "name" parameter
    std::string PartDispositionType;     // lower-cased
    std::string PartId;                  // angle brackets removed
    std::string PartDispositionFilename; // content-disposition "filename" parameter
};

} // namespace nimbra
