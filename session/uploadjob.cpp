#include "session/uploadjob.h"

#include "settings/settings.h"

namespace kaviro {

UploadResult runUploadJob(Uploader &uploader, Settings settings, const UploadFiles &files)
{
    uploader.upload(settings, files);
    return uploader.lastResult();
}

} // namespace kaviro
