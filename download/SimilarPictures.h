#pragma once

#include <string>
#include <vector>

namespace nimbra {

class ContentStore;

// The groups of similar pictures in a download folder: every picture in it and in its group
// folders (by its name: .jpg, .jpeg, .png, .gif, .bmp, .webp; working files and links left
// out) gets its difference hash from the content store, or, when the store has none for it,
// is read to find its content and decoded small to make one, which is then kept in the store
// (entering the picture when its content is new). Pictures within maxDistance bits are
// grouped (SimilarityIndex), pairs the store holds apart never linked. The store is not
// owned; the caller writes it. One thread.
class SimilarPictures {
public:
    SimilarPictures(ContentStore& store, int maxDistance) : store_(store), maxDistance_(maxDistance) {}

    // Groups of two or more paths, each sorted, the groups in order of their first path. A
    // file that cannot be read or decoded is logged and left out.
    std::vector<std::vector<std::string>> groups(const std::string& folder);

    // How many pictures needed a new hash in the last groups() call.
    std::size_t hashedNow() const { return hashedNow_; }

    static bool isPictureName(const std::string& name);

private:
    ContentStore& store_;
    int maxDistance_;
    std::size_t hashedNow_ = 0;
};

} // namespace nimbra
