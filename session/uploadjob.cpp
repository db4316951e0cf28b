#include "session/uploadjob.h"

#include "settings/settings.h"

namespace kaviro {

UploadResult runUploadJob(Uploader &uploader, Settings settings, std::int32_t pageCount,
                          const Uploader::PageFileName &pageFileName)
{
    return uploader.upload(settings, pageCount, pageFileName) ? UploadResult::Uploaded : UploadResult::NotUploaded;
}

} // namespace kaviro
