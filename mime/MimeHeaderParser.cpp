#include "mime/MimeHeaderParser.h"

#include "mime/HeaderTokenReader.h"
#include "platform/SafeName.h"

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

// The "; name=value" pairs after a header value, while a ";" ends the last token. The
// filename reader takes the rest of an unquoted value and reports no delimiter, so with it
// the scan ends after the first parameter that carries "=".
template <typename ReadValue, typename Store>
void scanParameters(HeaderTokenReader& reader, ReadValue readValue, Store store)
{
    while (reader.stop() == ';') {
        const std::string parameter = reader.name();
        if (reader.stop() == '=')
            store(parameter, readValue(reader));
    }
}

// The lower-cased header name; empty when no ":" follows it, so that no field is taken.
std::string headerName(HeaderTokenReader& reader)
{
    std::string name = reader.name();
    return reader.stop() == ':' ? name : std::string();
}

std::string readParameter(HeaderTokenReader& reader)
{
    return reader.parameter();
}

std::string readFilename(HeaderTokenReader& reader)
{
    return reader.filename();
}

void scanForFilename(HeaderTokenReader& reader, std::string& filename)
{
    scanParameters(reader, readFilename, [&](const std::string& parameter, std::string value) {
        if (parameter == "filename")
            filename = std::move(value);
    });
}

} // namespace

void MimeHeaderParser::messageLine(const char* line, MessageHeaderFields& message)
{
    HeaderTokenReader reader(line);
    const std::string name = headerName(reader);
    if (name == "content-type") {
        message.MsgType = reader.value();
        // Only the first parameter is looked at here.
        if (startsWith(message.MsgType, "text/")) {
            if (reader.name() == "charset")
                message.MsgCharSet = reader.filename();
        } else if (startsWith(message.MsgType, "multipart/")) {
            if (reader.name() == "boundary")
                message.MsgBoundary = SafeName::lowerCase("--" + reader.filename());
        }
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
        scanParameters(reader, readParameter, [&](const std::string& parameter, std::string value) {
            if (parameter == "name")
                part.PartTypeName = std::move(value);
            else if (parameter == "charset")
                partCharSet = std::move(value);
            else if (parameter == "boundary")
                nestedBoundaries.push_back(SafeName::lowerCase("--" + value));
        });
    } else if (name == "content-transfer-encoding") {
        part.PartTransferEncoding = reader.value();
    } else if (name == "content-id") {
        part.PartId = withoutAngleBrackets(reader.restOfLine());
    } else if (name == "content-disposition") {
        part.PartDispositionType = reader.value();
        scanForFilename(reader, part.PartDispositionFilename);
    } else if (name == "content-description" && part.PartDispositionFilename.empty()) {
        reader.value();
        scanForFilename(reader, part.PartDispositionFilename);
    }
}

} // namespace nimbra
