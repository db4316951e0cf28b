#pragma once

#include <string>

namespace kaviro {

// What kaviro-publish --help prints; settingsFile is the file it reads when
// no --settings is given.
std::string publishUsage(const std::string &settingsFile);
// What kaviro-publish --version prints: product version, file version and
// build time, as on the Info page of the desktop program.
std::string publishVersion();

} // namespace kaviro
