#pragma once

#include "publish/uploader.h"


namespace kaviro {

struct Settings;

// The road to the server, written once for both programs: the pages sent
// with a copy of the settings as they stand when it starts, so that values
// the options dialog hands back meanwhile belong to the next upload. Its
// steps report themselves while it runs, through the uploader's status and
// error handlers; a failed QUIT at its end is raised, as the uploader
// raises it.
UploadResult runUploadJob(Uploader &uploader, Settings settings, const UploadFiles &files);

} // namespace kaviro
