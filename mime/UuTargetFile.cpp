#include "mime/UuTargetFile.h"

#include "platform/SafeName.h"
#include "platform/UniqueFileName.h"

#include <filesystem>
#include <stdexcept>

namespace nimbra {
namespace {

void makeFolders(const UuSessionState& session)
{
    std::filesystem::create_directory(session.DownloadFolder());
    std::filesystem::create_directory(session.TargetFolder());
}

} // namespace

std::unique_ptr<FileStream> UuTargetFile::create(const UuSessionState& session, const std::string& lineName,
                                                 std::string& fileName)
{
    const std::string folder = session.TargetFolder();
    if (folder.empty())
        throw std::runtime_error("No folder to save into");
    fileName = SafeName::attachment(lineName);
    if (!fileName.empty())
        fileName = UniqueFileName::free(folder, fileName);
    try {
        makeFolders(session);
        if (fileName.empty())
            throw std::runtime_error("no usable file name");
        return std::make_unique<FileStream>(folder + fileName, FileStream::Mode::CreateNew);
    } catch (const std::exception&) {
        fileName = UniqueFileName::randomJpg(folder);
        return std::make_unique<FileStream>(folder + fileName, FileStream::Mode::CreateNew);
    }
}

std::unique_ptr<FileStream> UuTargetFile::reopen(const UuSessionState& session, const std::string& fileName)
{
    const std::string safe = SafeName::attachment(fileName);
    if (safe.empty() || session.TargetFolder().empty())
        return nullptr;
    try {
        auto file = std::make_unique<FileStream>(session.TargetFolder() + safe, FileStream::Mode::OpenReadWrite);
        file->seek(file->size());
        return file;
    } catch (const std::exception&) {
        return nullptr;
    }
}

} // namespace nimbra
