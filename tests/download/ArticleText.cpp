#include "tests/download/ArticleText.h"

#include "tests/support/YencTestEncoder.h"
#include "tools/newsmodel/ArticleEncoders.h"

#include <algorithm>

namespace nimbra::test {
namespace {

ModelArticle withHeaders(int number, const std::string& subject, std::vector<std::string> extra,
                         std::vector<std::string> body)
{
    ModelArticle a;
    a.number = number;
    static int made = 0;  // ids stay unique over groups, or the cache would skip the repeats
    a.messageId = "file" + std::to_string(number) + "." + std::to_string(++made) + "@saving.test";
    a.headers = {"From: poster@saving.test", "Subject: " + subject, "Message-ID: <" + a.messageId + ">"};
    a.headers.insert(a.headers.end(), extra.begin(), extra.end());
    a.headers.push_back("Lines: " + std::to_string(body.size()));
    a.body = std::move(body);
    return a;
}

} // namespace

ModelArticle ArticleText::uuArticle(int number, const std::string& subject, const std::string& name,
                                    const std::string& bytes)
{
    std::vector<std::string> body{"Here it is:", ""};
    for (std::string& line : ArticleEncoders::uuFile(name, bytes))
        body.push_back(std::move(line));
    return withHeaders(number, subject, {}, std::move(body));
}

std::vector<ModelArticle> ArticleText::splitUuArticles(int first, const std::string& subject, const std::string& name,
                                                       const std::string& bytes, int parts)
{
    std::vector<std::string> data = ArticleEncoders::uuLines(bytes);
    std::vector<ModelArticle> articles;
    const std::size_t share = (data.size() + parts - 1) / parts;
    auto counter = [](int n) { return (n < 10 ? "0" : "") + std::to_string(n); };
    for (int part = 1; part <= parts; ++part) {
        std::vector<std::string> body;
        if (part == 1)
            body.push_back("begin 644 " + name);
        else
            body.push_back("section " + std::to_string(part) + " of file " + name);
        const std::size_t from = share * static_cast<std::size_t>(part - 1);
        for (std::size_t i = from; i < std::min(data.size(), from + share); ++i)
            body.push_back(data[i]);
        if (part == parts)
            body.push_back("end");
        const std::string counted = subject + " [" + counter(part) + "/" + counter(parts) + "]";
        articles.push_back(withHeaders(first + part - 1, counted, {}, std::move(body)));
    }
    return articles;
}

std::vector<ModelArticle> ArticleText::commonSplit(int first, const std::string& subject, const std::string& name,
                                                  const std::string& bytes, int parts,
                                                  const std::function<std::string(int, int)>& counter)
{
    std::vector<std::string> data = ArticleEncoders::uuLines(bytes);
    std::vector<ModelArticle> articles;
    for (int part = 1; part <= parts; ++part) {
        std::vector<std::string> body;
        if (part == 1)
            body.push_back("begin 644 " + name);
        // Evenly spread, so that every part carries data lines.
        const std::size_t from = data.size() * static_cast<std::size_t>(part - 1) / static_cast<std::size_t>(parts);
        const std::size_t to = data.size() * static_cast<std::size_t>(part) / static_cast<std::size_t>(parts);
        for (std::size_t i = from; i < to; ++i)
            body.push_back(data[i]);
        if (part == parts)
            body.push_back("end");
        articles.push_back(withHeaders(first + part - 1, subject + " " + counter(part, parts), {}, std::move(body)));
    }
    return articles;
}

ModelArticle ArticleText::mimeArticle(int number, const std::string& subject, const std::string& name,
                                      const std::string& bytes)
{
    std::vector<std::string> body{"This is a multi-part message in MIME format.", "--=_cut_here",
                                  "Content-Type: text/plain; charset=us-ascii", "", "A picture for you.",
                                  "--=_cut_here", "Content-Type: image/jpeg; name=\"" + name + "\"",
                                  "Content-Transfer-Encoding: base64",
                                  "Content-Disposition: attachment; filename=\"" + name + "\"", ""};
    for (std::string& line : ArticleEncoders::base64Lines(bytes))
        body.push_back(std::move(line));
    body.push_back("--=_cut_here--");
    return withHeaders(number, subject,
                       {"MIME-Version: 1.0", "Content-Type: multipart/mixed; boundary=\"=_cut_here\""},
                       std::move(body));
}

ModelArticle ArticleText::yencSplitArticle(int number, const std::string& id, const std::string& name,
                                           const std::string& file, int part, int total)
{
    const YencEncoding bare{128, true, false, 0.0, 7};
    const std::size_t piece = file.size() / static_cast<std::size_t>(total);
    const std::size_t begin = piece * static_cast<std::size_t>(part - 1);
    const std::size_t end = part == total ? file.size() : begin + piece;
    ModelArticle a = NewsServerModel::article(number, id, "yenc split (" + std::to_string(part) + "/" + std::to_string(total) + ")", 0, false);
    a.body = yencPart(name, file, part, total, begin, end, bare);
    a.headers.push_back("Lines: " + std::to_string(a.body.size()));
    return a;
}

std::string ArticleText::wire(const ModelArticle& article)
{
    std::string text;
    for (const std::string& line : article.headers)
        text += line + "\r\n";
    text += "\r\n";
    for (const std::string& line : article.body)
        text += line + "\r\n";
    return text;
}

} // namespace nimbra::test
