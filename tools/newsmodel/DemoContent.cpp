#include "tools/newsmodel/DemoContent.h"

#include "tools/newsmodel/ArticleEncoders.h"
#include "tools/newsmodel/DemoPicture.h"
#include "tools/newsmodel/YencEncoder.h"

namespace nimbra::test {
namespace {

// 200 KB at 23 lines to the KB: the program's default maximum article size.
constexpr std::size_t defaultLimitLines = 200 * 23;

const char* const boundary = "=_nimbra_demo_part";

std::string notesText()
{
    // Latin-1 accents, a long line, "=" signs and a line with a blank at its end: what
    // quoted-printable is for.
    std::string text;
    text += "Notes on the demo pictures\r\n";
    text += "\r\n";
    text += "Caf\xE9 au lait, cr\xE8me br\xFBl\xE9""e and a na\xEFve r\xE9sum\xE9 \xA9 2026.\r\n";
    text += "Exposure = 1/250 s, aperture = f/8, ISO = 100.\r\n";
    text += "This line is long on purpose, so that it has to be folded with soft line breaks when it"
            " is written out as quoted-printable, and joined again when it is read.\r\n";
    text += "A line that ends in a blank \r\n";
    text += ".A line that starts with a dot\r\n";
    return text;
}

} // namespace

DemoContent::DemoContent()
{
    // Articles 1 and 2 have expired: the range starts before the first article.
    Group& uu = group("demo.binaries.pictures.uuencode", 1, 3);
    chat(uu, "Welcome to the uuencode pictures", 12);
    uuPicture(uu, "Sunset over the hills - sunset.jpg (1/1)", "sunset.jpg", DemoPicture::jpeg(640, 480, 1));
    uuPicture(uu, "A small one - small.jpg (1/1)", "small.jpg", DemoPicture::jpeg(200, 150, 2));
    chat(uu, "Re: which lens was that?", 6);
    uuSplit(uu, "Harbour at dawn - harbour.jpg", "harbour.jpg", DemoPicture::jpeg(1024, 768, 3));
    uuSplitCommon(uu, "Pier at low tide - pier.jpg", "pier.jpg", DemoPicture::jpeg(700, 520, 10), {1, 2, 3});
    uuSplitCommon(uu, "Boats in the bay - boats.jpg", "boats.jpg", DemoPicture::jpeg(820, 540, 11), {3, 1, 2});
    uuPicture(uu, "Tall valley - valley.jpg (1/1)", "valley.jpg", DemoPicture::jpeg(300, 500, 4));

    Group& mime = group("demo.binaries.pictures.mime");
    mimeFile(mime, "Meadow in May", "meadow.jpg", "image/jpeg", DemoPicture::jpeg(800, 600, 5), DemoFile::Base64);
    chat(mime, "Posting rules for this group", 20);
    mimeFile(mime, "Panorama of the bay", "panorama.jpg", "image/jpeg", DemoPicture::jpeg(1200, 300, 6),
             DemoFile::Base64);
    mimeFile(mime, "Notes on the pictures", "notes.txt", "text/plain; charset=iso-8859-1", notesText(),
             DemoFile::QuotedPrintable);
    mimeFiles(mime, "Two views of the cliffs",
              {{"cliffs-east.jpg", "image/jpeg", DemoPicture::jpeg(640, 360, 12), DemoFile::Base64},
               {"cliffs-west.jpg", "image/jpeg", DemoPicture::jpeg(480, 360, 13), DemoFile::Base64}});

    Group& yenc = group("demo.binaries.pictures.yenc");
    yencPicture(yenc, "Forest road", "forest.jpg", DemoPicture::jpeg(640, 400, 7), 1);
    yencPicture(yenc, "Lighthouse", "lighthouse.jpg", DemoPicture::jpeg(900, 700, 8), 2);

    Group& large = group("demo.binaries.large");
    uuPicture(large, "Grainy night sky, full size - night.jpg (1/1)", "night.jpg",
              DemoPicture::jpeg(900, 675, 9, true));
    mimeFile(large, "Thumbnail of the night sky", "night-thumb.jpg", "image/jpeg", DemoPicture::jpeg(160, 120, 9),
             DemoFile::Base64);

    group("demo.binaries.empty");

    Group& talk = group("demo.talk");
    chat(talk, "Hello from the demo server", 8);
    chat(talk, "Re: Hello from the demo server", 5);

    for (DemoFile& file : files_)
        file.overDefaultLimit = file.name == "night.jpg";
}

DemoContent::Group& DemoContent::group(const std::string& name, std::int32_t first, std::int32_t firstArticle)
{
    groups_.push_back({name, first, firstArticle == 0 ? first : firstArticle, {}});
    return groups_.back();
}

void DemoContent::addTo(NewsServerModel& model) const
{
    for (const Group& g : groups_) {
        model.addGroup(g.name, g.articles);
        if (!g.articles.empty())
            model.setRange(g.name, g.first, g.articles.back().number);
    }
}

std::vector<std::string> DemoContent::groups() const
{
    std::vector<std::string> names;
    for (const Group& g : groups_)
        names.push_back(g.name);
    return names;
}

ModelArticle& DemoContent::post(Group& group, const std::string& subject, std::vector<std::string> body,
                                std::vector<std::string> extraHeaders)
{
    const std::int32_t number = group.next++;
    ModelArticle a;
    a.number = number;
    a.messageId = std::to_string(number) + "." + group.name + "@demo.nimbra";
    a.headers = {"From: Demo Poster <poster@demo.nimbra>", "Newsgroups: " + group.name, "Subject: " + subject,
                 "Date: Tue, 01 Dec 2026 12:00:00 +0000", "Message-ID: <" + a.messageId + ">"};
    a.headers.insert(a.headers.end(), extraHeaders.begin(), extraHeaders.end());
    a.headers.push_back("Lines: " + std::to_string(body.size()));
    a.body = std::move(body);
    group.articles.push_back(std::move(a));
    return group.articles.back();
}

void DemoContent::chat(Group& group, const std::string& subject, int lines)
{
    std::vector<std::string> body;
    for (int i = 0; i < lines; ++i)
        body.push_back(i % 5 == 4 ? "." : "Line " + std::to_string(i + 1) + " of a plain text article in " + group.name);
    post(group, subject, std::move(body));
}

void DemoContent::addFile(const Group& group, const std::string& name, const std::string& bytes,
                          DemoFile::Encoding encoding, std::vector<std::size_t> articleBytes)
{
    if (articleBytes.empty())
        articleBytes.push_back(bytes.size());
    files_.push_back({group.name, name, bytes, encoding, false, std::move(articleBytes)});
}

void DemoContent::uuPicture(Group& group, const std::string& subject, const std::string& name,
                            const std::string& bytes)
{
    std::vector<std::string> body{"Here is " + name + ", enjoy.", ""};
    for (std::string& line : ArticleEncoders::uuFile(name, bytes))
        body.push_back(std::move(line));
    post(group, subject, std::move(body));
    addFile(group, name, bytes, DemoFile::Uuencode);
}

void DemoContent::uuSplit(Group& group, const std::string& subject, const std::string& name,
                          const std::string& bytes)
{
    const std::vector<std::string> data = ArticleEncoders::uuLines(bytes);
    const std::size_t share = (data.size() + 2) / 3;
    for (std::size_t part = 0; part < 3; ++part) {
        // This poster starts a continuation with a line of prose.
        std::vector<std::string> body{part == 0 ? "begin 644 " + name
                                                : "section " + std::to_string(part + 1) + " of file " + name};
        for (std::size_t i = part * share; i < std::min(data.size(), (part + 1) * share); ++i)
            body.push_back(data[i]);
        if (part == 2)
            body.emplace_back("end");
        post(group, subject + " (" + std::to_string(part + 1) + "/3)", std::move(body));
    }
    // Counted once, whole.
    addFile(group, name, bytes, DemoFile::UuencodeSplit);
}

void DemoContent::uuSplitCommon(Group& group, const std::string& subject, const std::string& name,
                                const std::string& bytes, const std::vector<int>& order)
{
    const std::vector<std::string> data = ArticleEncoders::uuLines(bytes);
    for (std::size_t posted = 0; posted < order.size(); ++posted) {
        const auto part = static_cast<std::size_t>(order[posted] - 1);
        std::vector<std::string> body;
        if (part == 0)
            body.push_back("begin 644 " + name);
        for (std::size_t i = data.size() * part / 3; i < data.size() * (part + 1) / 3; ++i)
            body.push_back(data[i]);
        if (part == 2)
            body.emplace_back("end");
        post(group, subject + " (" + std::to_string(part + 1) + "/3)", std::move(body));
        if (posted == 0)
            chat(group, "Re: " + subject, 4);
    }
    addFile(group, name, bytes, DemoFile::UuencodeSplit);
}

void DemoContent::mimeFile(Group& group, const std::string& subject, const std::string& name,
                           const std::string& type, const std::string& bytes, DemoFile::Encoding encoding)
{
    mimeFiles(group, subject + " - " + name, {{name, type, bytes, encoding}});
}

void DemoContent::mimeFiles(Group& group, const std::string& subject, const std::vector<Attachment>& attachments)
{
    std::vector<std::string> body{"This is a multi-part message in MIME format.",
                                  std::string("--") + boundary,
                                  "Content-Type: text/plain; charset=us-ascii",
                                  "Content-Transfer-Encoding: 7bit",
                                  "",
                                  "Attached: " + std::to_string(attachments.size()) + " file(s)",
                                  ""};
    for (const Attachment& file : attachments) {
        const bool base64 = file.encoding == DemoFile::Base64;
        body.push_back(std::string("--") + boundary);
        body.push_back("Content-Type: " + file.type + "; name=\"" + file.name + "\"");
        body.push_back(std::string("Content-Transfer-Encoding: ") + (base64 ? "base64" : "quoted-printable"));
        body.push_back("Content-Disposition: attachment; filename=\"" + file.name + "\"");
        body.emplace_back();
        for (std::string& line : base64 ? ArticleEncoders::base64Lines(file.bytes)
                                        : ArticleEncoders::quotedPrintableLines(file.bytes))
            body.push_back(std::move(line));
        // The line break before a boundary belongs to the boundary: the file's own last line
        // break needs one more.
        body.emplace_back("");
    }
    body.push_back(std::string("--") + boundary + "--");
    post(group, subject, std::move(body),
         {"MIME-Version: 1.0", std::string("Content-Type: multipart/mixed; boundary=\"") + boundary + "\""});
    for (const Attachment& file : attachments)
        addFile(group, file.name, file.bytes, file.encoding);
}

void DemoContent::yencPicture(Group& group, const std::string& subject, const std::string& name,
                              const std::string& bytes, int parts)
{
    if (parts == 1) {
        post(group, subject + " - \"" + name + "\" yEnc (1/1)", yencSingle(name, bytes));
        addFile(group, name, bytes, DemoFile::Yenc);
        return;
    }
    const std::size_t share = (bytes.size() + parts - 1) / static_cast<std::size_t>(parts);
    std::vector<std::size_t> added;
    for (int part = 0; part < parts; ++part) {
        const std::size_t begin = share * static_cast<std::size_t>(part);
        const std::size_t end = std::min(bytes.size(), begin + share);
        added.push_back(end - begin);
        post(group, subject + " - \"" + name + "\" yEnc (" + std::to_string(part + 1) + "/" + std::to_string(parts) + ")",
             yencPart(name, bytes, part + 1, parts, begin, end));
    }
    addFile(group, name, bytes, DemoFile::YencSplit, std::move(added));
}

} // namespace nimbra::test
