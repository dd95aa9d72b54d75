#pragma once

#include "tools/newsmodel/NewsServerModel.h"

#include <functional>
#include <string>
#include <vector>

namespace nimbra::test {

// Articles carrying files, as posters make them: uuencoded in a plain body (whole, or split
// over several articles with "[nn/mm]" subjects), or as a base64 MIME part.
class ArticleText {
public:
    // An article whose body is "begin 644 name", the data lines and "end".
    static ModelArticle uuArticle(int number, const std::string& subject, const std::string& name,
                                  const std::string& bytes);
    // One file uuencoded over parts articles numbered from first; subjects end in "[nn/mm]".
    static std::vector<ModelArticle> splitUuArticles(int first, const std::string& subject, const std::string& name,
                                                     const std::string& bytes, int parts);
    // One file uuencoded over parts articles in the common form: the first body holds the
    // begin line, every later body starts straight with data lines. counter(part, parts)
    // gives the subject's part counter, put after subject.
    static std::vector<ModelArticle> commonSplit(int first, const std::string& subject, const std::string& name,
                                                 const std::string& bytes, int parts,
                                                 const std::function<std::string(int, int)>& counter);
    // A multipart/mixed article: a text part, then the file as base64 under name.
    static ModelArticle mimeArticle(int number, const std::string& subject, const std::string& name,
                                    const std::string& bytes);

    // Part part of total of file (split in equal pieces) yEnc-encoded as name, with bare line
    // edges as lenient posters leave them, a "Lines:" header and the subject "yenc split (p/t)".
    static ModelArticle yencSplitArticle(int number, const std::string& id, const std::string& name,
                                         const std::string& file, int part, int total);

    // The article as fetched: header lines, a blank line, the body, CR LF line ends.
    static std::string wire(const ModelArticle& article);
};

} // namespace nimbra::test
