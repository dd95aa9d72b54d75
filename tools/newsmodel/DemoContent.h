#pragma once

#include "tools/newsmodel/NewsServerModel.h"

#include <deque>
#include <string>
#include <vector>

namespace nimbra::test {

// A file the demo groups carry, as the server encoded it.
struct DemoFile {
    std::string group;
    std::string name;
    std::string bytes;
    enum Encoding { Uuencode, UuencodeSplit, Base64, QuotedPrintable, Yenc, YencSplit } encoding = Uuencode;
    // The article (or its largest part) is over the default 200 KB size limit.
    bool overDefaultLimit = false;
    // The bytes each of its articles adds to the file, in posting order.
    std::vector<std::size_t> articleBytes;
};

// The demo news server's groups, made afresh on each construction, the same each time:
//
//   demo.binaries.pictures.uuencode  pictures uuencoded in one article each, one split over
//                                    three articles "(1/3)".."(3/3)", chat in between, and a
//                                    range whose first numbers have expired (423)
//   demo.binaries.pictures.mime      pictures as base64 MIME parts (two in one article), a
//                                    quoted-printable text attachment, a plain text article
//   demo.binaries.pictures.yenc      a picture in one yEnc article, one in two parts
//   demo.binaries.large              a picture in one article over the default size limit,
//                                    and a small one
//   demo.binaries.empty              no articles
//   demo.talk                        plain text only (the default filter "binaries" hides it)
class DemoContent {
public:
    DemoContent();

    // Puts the groups into model; call before the model serves.
    void addTo(NewsServerModel& model) const;

    std::vector<std::string> groups() const;
    // Every file of every group, in group and article order.
    const std::vector<DemoFile>& files() const { return files_; }

private:
    struct Group {
        std::string name;
        std::int32_t first = 0;  // the first number the group reports
        std::int32_t next = 0;   // the number of the next article posted
        std::vector<ModelArticle> articles;
    };

    // A new group; its articles are numbered from firstArticle (0: from first).
    Group& group(const std::string& name, std::int32_t first = 1, std::int32_t firstArticle = 0);
    ModelArticle& post(Group& group, const std::string& subject, std::vector<std::string> body,
                       std::vector<std::string> extraHeaders = {});
    void chat(Group& group, const std::string& subject, int lines);
    void uuPicture(Group& group, const std::string& subject, const std::string& name, const std::string& bytes);
    void uuSplit(Group& group, const std::string& subject, const std::string& name, const std::string& bytes);
    // A file over three articles in the common form: the first body starts with the begin
    // line, the others straight with data lines. order lists the part numbers in the order
    // they are posted; a chat article goes between the first two posted.
    void uuSplitCommon(Group& group, const std::string& subject, const std::string& name, const std::string& bytes,
                       const std::vector<int>& order);
    struct Attachment {
        std::string name, type, bytes;
        DemoFile::Encoding encoding;
    };
    // One article with the file as a MIME part; its subject is subject + " - " + name.
    void mimeFile(Group& group, const std::string& subject, const std::string& name, const std::string& type,
                  const std::string& bytes, DemoFile::Encoding encoding);
    // One article with every file as a MIME part of its own.
    void mimeFiles(Group& group, const std::string& subject, const std::vector<Attachment>& attachments);
    void yencPicture(Group& group, const std::string& subject, const std::string& name, const std::string& bytes,
                     int parts);
    void addFile(const Group& group, const std::string& name, const std::string& bytes, DemoFile::Encoding encoding,
                 std::vector<std::size_t> articleBytes = {});

    std::deque<Group> groups_;  // a deque keeps references to groups valid
    std::vector<DemoFile> files_;
};

} // namespace nimbra::test
