#include "session/uploadjob.h"

#include "settings/settings.h"

namespace kaviro {

UploadResult runUploadJob(Uploader &uploader, Settings settings, std::int32_t pageCount,
                          const Uploader::PageFileName &pageFileName)
{
    uploader.upload(settings, pageCount, pageFileName);
    return uploader.lastResult();
}

} // namespace kaviro
