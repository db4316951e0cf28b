#pragma once

#include <cstdint>
#include <string>

namespace kaviro {

// The JPEG bytes of a photo as the pages show it: large (as stored) and as
// a thumbnail. The store implements it; the generator only writes the bytes.
class PhotoSource {
public:
    virtual ~PhotoSource() = default;
    // The stored bytes; asked on the generator's thread only. Throws
    // kaviro::Error when the photo cannot be read.
    virtual std::string largeImage(std::int64_t photoId) const = 0;
    // The thumbnail of those bytes. Safe on any thread: the generator makes
    // thumbnails on the other cores while it writes.
    virtual std::string thumbnailOf(const std::string &large) const = 0;
};

} // namespace kaviro
