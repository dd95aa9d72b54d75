#include "mime/MimeHeaderParser.h"

#include "mime/HeaderParameters.h"
#include "mime/HeaderTokenReader.h"
#include "platform/SafeName.h"

#include <map>

namespace nimbra {
namespace {

bool startsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

std::string withoutAngleBrackets(std::string text)
{
    if (text.size() >= 2 && text.front() == '<' && text.back() == '>')
        return text.substr(1, text.size() - 2);
    return text;
}

// The lower-cased header name; empty when no ":" follows it, so that no field is taken.
std::string headerName(HeaderTokenReader& reader)
{
    std::string name = reader.name();
    return reader.stop() == ':' ? name : std::string();
}

// The parameters after a value the reader has just read.
std::map<std::string, std::string> parameters(const HeaderTokenReader& reader)
{
    return reader.stop() == ';' ? HeaderParameters::parse(reader.position()) : std::map<std::string, std::string>{};
}

std::string take(const std::map<std::string, std::string>& params, const char* name)
{
    const auto found = params.find(name);
    return found == params.end() ? std::string() : found->second;
}

} // namespace

void MimeHeaderParser::messageLine(const char* line, MessageHeaderFields& message)
{
    HeaderTokenReader reader(line);
    const std::string name = headerName(reader);
    if (name == "content-type") {
        message.MsgType = reader.value();
        const auto params = parameters(reader);
        if (startsWith(message.MsgType, "text/"))
            message.MsgCharSet = take(params, "charset");
        const std::string boundary = take(params, "boundary");
        if (startsWith(message.MsgType, "multipart/") && !boundary.empty())
            message.MsgBoundary = SafeName::lowerCase("--" + boundary);
        message.MsgTypeName = take(params, "name");
        message.MsgPartialId = take(params, "id");
        message.MsgPartialNumber = take(params, "number");
        message.MsgPartialTotal = take(params, "total");
    } else if (name == "content-disposition") {
        reader.value();
        message.MsgDispositionFilename = take(parameters(reader), "filename");
    } else if (name == "mime-version") {
        message.MsgMimeVersion = reader.restOfLine();
    } else if (name == "from") {
        message.MsgFrom = reader.restOfLine();
    } else if (name == "to") {
        message.MsgTo = reader.restOfLine();
    } else if (name == "subject") {
        message.MsgSubject = reader.restOfLine();
    } else if (name == "date") {
        message.MsgDate = reader.restOfLine();
    } else if (name == "return-path") {
        message.MsgReturnPath = withoutAngleBrackets(reader.restOfLine());
    } else if (name == "content-transfer-encoding") {
        message.MsgTransferEncoding = reader.name();
    }
}

void MimeHeaderParser::partLine(const char* line, PartHeaderFields& part, std::string& partCharSet,
                                std::vector<std::string>& nestedBoundaries)
{
    HeaderTokenReader reader(line);
    const std::string name = headerName(reader);
    if (name == "content-type") {
        part.PartType = reader.value();
        const auto params = parameters(reader);
        if (params.count("name"))
            part.PartTypeName = take(params, "name");
        if (params.count("charset"))
            partCharSet = take(params, "charset");
        const std::string boundary = take(params, "boundary");
        if (!boundary.empty())
            nestedBoundaries.push_back(SafeName::lowerCase("--" + boundary));
    } else if (name == "content-transfer-encoding") {
        part.PartTransferEncoding = reader.value();
    } else if (name == "content-id") {
        part.PartId = withoutAngleBrackets(reader.restOfLine());
    } else if (name == "content-disposition") {
        part.PartDispositionType = reader.value();
        part.PartDispositionFilename = take(parameters(reader), "filename");
    } else if (name == "content-description" && part.PartDispositionFilename.empty()) {
        reader.value();
        part.PartDispositionFilename = take(parameters(reader), "filename");
    }
}

} // namespace nimbra
