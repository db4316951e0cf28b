#pragma once

#include <cstdint>
#include <string>

namespace kaviro {

// The JPEG bytes of a photo as the pages show it: large (as stored) and as
// a thumbnail. The store implements it; the generator only writes the bytes.
struct PhotoFiles {
    std::string large;
    std::string thumbnail;
};

class PhotoSource {
public:
    virtual ~PhotoSource() = default;
    // Throws kaviro::Error when the photo cannot be read.
    virtual PhotoFiles photoFiles(std::int64_t photoId) const = 0;
};

} // namespace kaviro
